#pragma once
// The register of every poll record the import has met in the last year,
// kept in "PrevPunch.xml" in the application folder. A record is known by its
// sequence, its punch moment (to the second) and its two check characters.
//
// File layout (UTF-8):
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
class QXmlStreamWriter;

namespace hx {

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
    const QString &path() const { return m_path; }
    qsizetype rowCount() const { return qsizetype(m_rows.size()); }
    Row row(qsizetype i) const;

    // Opens the register from `path` (empty when there is no such file) and
    // drops every row listed one year or more before `now`. A file that
    // cannot be read as a register is moved aside and the register starts
    // empty; a file that cannot be opened at all is left alone and the
    // register stays closed. Both raise HxError after settling the state.
    void open(const QString &path, const QDateTime &now);
    // Open and empty, to be saved at `path`.
    void openEmpty(const QString &path);
    void close();

    // True when the record is already listed; otherwise lists it and returns
    // false. A closed register answers false and lists nothing.
    bool check(double date, double time, QStringView sequence, QStringView checksum);
    bool contains(double date, double time, QStringView sequence, QStringView checksum) const;

    // Writes every row to the file: a new file beside it, flushed and synced,
    // then renamed over the old one, so a failed save (a full disk) leaves the
    // former register byte for byte. Raises HxError when the file cannot be
    // written. Nothing happens when closed.
    void save() const;
    // The two halves of a save: every row into `file` (synced; the commit
    // token, when given, marks the database commit it belongs to), then that
    // file renamed over the register.
    void writeFile(const QString &file, const QString &commitToken) const;
    void replaceWith(const QString &written) const;

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
    void readFile(const QString &path);
    // The register in the form this program writes for rows of plain ASCII
    // text: false when the file or the rows are not in it (the general XML
    // path then reads or writes it).
    bool readPlainFile(QFile &f);
    bool writePlainFile(QFile &f, const QString &commitToken, bool *shortWrite) const;
    void writeGeneralFile(QXmlStreamWriter &w, const QString &commitToken) const;

    bool m_open = false;
    QString m_path;
    std::vector<Key> m_rows;
    // Open addressing: row index + 1, 0 for a free slot; never more than half full.
    std::vector<uint32_t> m_slots;
};

// The register of the import under way.
extern PrevPunchRegister rsPrevPunch;

// "PrevPunch.xml" in the effective application folder.
QString strPrevPunchPath();
// Opens rsPrevPunch at the start of an import.
void OpenPrevPunch();
// The check of one record (see PrevPunchRegister::check).
bool varIsPrevPunch(const double &dtmDate, const double &dtmTime, const QString &strSequence,
                    const QString &strChecksum);
// Saves and closes rsPrevPunch; it is closed even when the save fails.
// While an import holds the register it does nothing: the import saves it.
void SavePrevPunch();

class Database;

// Finishes or drops the save of an import that was cut short: a pending
// register file whose commit token the database holds is the register of a
// saved import; any other is dropped.
void RecoverPrevPunch(Database &db);

// Holds rsPrevPunch for one import: opened once by its first file, answering
// every later file as a reopened register would, and saved once, with the
// database. prepare() runs inside the import's transaction just before its
// commit: it writes the new register beside the old one, synced, under a
// token that it records in the same transaction. finish() runs after the
// commit and renames it over the old one. A scope that ends without finish()
// drops the new register, so the file never lists a record whose punch was
// rolled back.
class PrevPunchImportScope {
public:
    explicit PrevPunchImportScope(Database &db);
    ~PrevPunchImportScope();
    PrevPunchImportScope(const PrevPunchImportScope &) = delete;
    PrevPunchImportScope &operator=(const PrevPunchImportScope &) = delete;
    void prepare();
    void finish();

private:
    Database &m_db;
    QString m_token;
    QString m_pending;
};

} // namespace hx
