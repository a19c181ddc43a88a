#pragma once
// The decoded records of one poll log file, held between reading the file and
// transferring its entries into the database. Rows are walked in the order
// they were added (file order).
#include "component/Error.h"

#include <QDataStream>
#include <QFile>
#include <QString>
#include <QTemporaryFile>
#include <cstdint>
#include <memory>
#include <vector>

namespace hx {

struct PollLogEntry {
    int32_t Clock = 0;
    int32_t Badge = 0;
    int32_t Employee = 0; // 0 when the badge belongs to no employee
    double PunchDate = 0; // date part only
    double PunchTime = 0; // time part only
    QString InOut;
    int32_t DeptNum = 0;
    QString DeptName; // "UNKNOWN" for a department not in DEPT
    bool DataFieldEnter = false;
    double Job = 0;
    double Task = 0;
    int32_t PunchType = 0; // 0 to 3
    int32_t Overide = 0;   // 0, 1, -2 or -1
    int32_t Excused = 0;   // -1 excused, 0 not
    int32_t Edited = 0;    // -1 edited at the clock, 0 not
    bool AccessControl = false;
    bool TimeAndAttend = false;
    QString AccessSequence;
    QString AccessType;
    QString AccessFailString;
};

// Raised when the rows cannot be kept (the overflow file cannot be written
// or read back): a failure of the import, not of one record.
class PollLogStoreError : public HxError {
public:
    using HxError::HxError;
};

// The first rows are held in memory; further rows go to a temporary file, so
// that a file of any size is read in bounded memory.
class PollLogRecordset {
public:
    static constexpr qsizetype kDefaultRowsInMemory = 32768;

    explicit PollLogRecordset(qsizetype rowsInMemory = kDefaultRowsInMemory);
    ~PollLogRecordset();
    PollLogRecordset(const PollLogRecordset &) = delete;
    PollLogRecordset &operator=(const PollLogRecordset &) = delete;

    bool isOpen() const { return m_open; }
    // Open and empty.
    void open();
    // Releases the rows.
    void close();
    // Raises "the object is closed" when the recordset is not open.
    void addNew(PollLogEntry entry);
    qsizetype recordCount() const { return m_count; }
    void setRowsInMemory(qsizetype rows) { m_rowsInMemory = rows; }

    // Walks the rows in the order they were added.
    class Cursor {
    public:
        // False after the last row. Raises PollLogStoreError.
        bool next(PollLogEntry &entry);

    private:
        friend class PollLogRecordset;
        const PollLogRecordset *m_rs = nullptr;
        qsizetype m_index = 0;
        std::unique_ptr<QFile> m_file;
        std::unique_ptr<QDataStream> m_in;
    };
    // Raises PollLogStoreError when the overflow file cannot be read.
    Cursor walk() const;

private:
    bool m_open = false;
    qsizetype m_rowsInMemory;
    qsizetype m_count = 0;
    std::vector<PollLogEntry> m_rows;
    std::unique_ptr<QTemporaryFile> m_overflow;
    std::unique_ptr<QDataStream> m_out;
};

// False when closed or empty.
bool blnHasRecords(const PollLogRecordset &rs);

// The poll log recordset of the import under way.
extern PollLogRecordset rsPollLog;

// Replaces rsPollLog by a new, open, empty recordset and opens the
// previous-punch register. A register that cannot be opened is reported; the
// recordset is open all the same.
void CreatePollLogRecordset();

} // namespace hx
