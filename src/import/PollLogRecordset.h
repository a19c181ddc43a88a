#pragma once
// The decoded records of one poll log file, held between reading the file and
// transferring its entries into the database. Rows are walked in the order
// they were added (file order).
#include <QString>
#include <cstdint>
#include <deque>

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

class PollLogRecordset {
public:
    bool isOpen() const { return m_open; }
    // Open and empty.
    void open();
    // Releases the rows.
    void close();
    // Raises "the object is closed" when the recordset is not open.
    void addNew(PollLogEntry entry);
    qsizetype recordCount() const { return qsizetype(m_rows.size()); }
    const PollLogEntry &row(qsizetype i) const { return m_rows[size_t(i)]; }
    std::deque<PollLogEntry>::const_iterator begin() const { return m_rows.begin(); }
    std::deque<PollLogEntry>::const_iterator end() const { return m_rows.end(); }

private:
    bool m_open = false;
    // Growing a deque never moves the rows already added.
    std::deque<PollLogEntry> m_rows;
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
