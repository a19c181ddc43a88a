#pragma once
// The register of every poll record the import has met in the last year,
// kept in the table "PrevPunch" of the database, so that every host on one
// database shares it and it commits and rolls back with the punches. A record
// is known by its sequence, its punch moment (to the second) and its two check
// characters.
//
// An import loads the keys once into memory, answers every check there and
// writes the new keys before its commit. A register file "PrevPunch.xml" left
// in the application folder by an earlier version is read into the table once
// and renamed. Its layout (UTF-8):
//   <PrevPunch version="1">
//     <Punch Sequence="0001" PunchDate="2007-04-26T08:00:00" Checksum="AB"/>
//   </PrevPunch>
// A text holding a character XML cannot carry (a control character) is
// written as SequenceHex / ChecksumHex instead: four hex digits per character.
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

class QFile;

namespace hx {

class Database;

class PrevPunchRegister {
public:
    static constexpr int kSequenceSize = 4;
    static constexpr int kChecksumSize = 2;

    struct Row {
        QString sequence;
        qint64 moment = 0; // seconds since day 0 (30 December 1899)
        QString checksum;
    };

    bool isOpen() const { return m_open; }
    qsizetype rowCount() const { return qsizetype(m_rows.size()); }
    Row row(qsizetype i) const;
    // Rows listed since the last load or save, not yet in the table.
    qsizetype newRowCount() const { return qsizetype(m_rows.size()) - m_saved; }

    // Removes from the table every row listed one year or more before `now`,
    // then opens the register on the rows left, read loadPageRows at a time.
    static inline qsizetype loadPageRows = 50000;
    void load(Database &db, const QDateTime &now);
    // Open and empty; save() then writes every row.
    void openEmpty();
    void close();

    // True when the record is already listed; otherwise lists it and returns
    // false. A closed register answers false and lists nothing.
    bool check(double date, double time, QStringView sequence, QStringView checksum);
    bool contains(double date, double time, QStringView sequence, QStringView checksum) const;
    // The same with the listed moment given.
    bool checkMoment(qint64 moment, QStringView sequence, QStringView checksum);

    // Adds the new rows to the table, in batches; a row another host added
    // meanwhile is taken as it stands. Nothing happens when closed.
    void save(Database &db);

    // Reads a register file. Raises PrevPunchRegister::Damaged when the file
    // is not a register, HxError when it cannot be opened. The register is
    // left closed.
    struct Damaged {
        QString reason;
    };
    void readFile(const QString &path);

    // Seconds since day 0 of date part of `date` plus time part of `time`.
    static qint64 listedMoment(double date, double time);

private:
    struct Key {
        qint64 moment = 0;
        char16_t sequence[kSequenceSize] = {};
        char16_t checksum[kChecksumSize] = {};
        uint8_t sequenceLength = 0;
        uint8_t checksumLength = 0;
        bool operator==(const Key &o) const;
    };
    static Key makeKey(qint64 moment, QStringView sequence, QStringView checksum);
    static uint64_t hashOf(const Key &key);
    // Index of the row with that key, -1 when none.
    qsizetype find(const Key &key) const;
    void append(const Key &key);
    void rebuildIndex(size_t capacity);
    // The register in the form the earlier version wrote for rows of plain
    // ASCII text: false when the file or the rows are not in it (the general
    // XML path then reads it).
    bool readPlainFile(QFile &f);

    bool m_open = false;
    std::vector<Key> m_rows;
    // Rows before this index are in the table.
    qsizetype m_saved = 0;
    // Open addressing: row index + 1, 0 for a free slot; never more than half full.
    std::vector<uint32_t> m_slots;
};

// The register of the import under way.
extern PrevPunchRegister rsPrevPunch;

// "PrevPunch.xml" in the effective application folder: the register file of
// an earlier version, read into the table once.
QString strPrevPunchPath();

// Reads the register file of the application folder, if there is one, into
// the table in a transaction of its own (rows a year old or more and rows
// the table has are left out), then renames it
// "PrevPunch-migrated-YYYYMMDD-HHMMSS.xml". A file that is not a register is
// renamed "-damaged-" and the table is left alone. Raises HxError after
// settling the file when there was something to say; logs a note when the
// file was moved in. Runs outside any transaction only: the rename must
// follow a commit.
void MigratePrevPunchFile(Database &db);

// Opens rsPrevPunch at the start of an import.
void OpenPrevPunch();
// The check of one record (see PrevPunchRegister::check).
bool varIsPrevPunch(const double &dtmDate, const double &dtmTime, const QString &strSequence,
                    const QString &strChecksum);
// Writes the new rows and closes rsPrevPunch; it is closed even when the
// write fails. While an import holds the register it does nothing: the import
// saves it.
void SavePrevPunch();

// Holds rsPrevPunch for one import, inside its transaction: loaded once by
// its first file, answering every later file as a reloaded register would,
// and saved once by save(), just before the commit. A scope that ends
// without save() drops the new rows with the transaction.
class PrevPunchImportScope {
public:
    explicit PrevPunchImportScope(Database &db);
    ~PrevPunchImportScope();
    PrevPunchImportScope(const PrevPunchImportScope &) = delete;
    PrevPunchImportScope &operator=(const PrevPunchImportScope &) = delete;
    void save();

private:
    Database &m_db;
};

} // namespace hx
