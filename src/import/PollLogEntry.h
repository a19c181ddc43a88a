#pragma once
// Decoding one 58-character poll record into a row of rsPollLog: date and
// year, register check, employee and its part in access control, department,
// job and task, flags and access fields.
#include <QHash>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <cstdint>
#include <optional>

namespace hx {

class Database;

// What the records of one file look up, read once per file: the departments
// (a small table read whole), the employees by badge and the clock's
// access-only setting (both asked at first need and remembered, since nothing
// changes them while a file is read).
class PollFileLookups {
public:
    struct Department {
        QString name;
        QVariant dataFieldEnter; // as stored: read per record
        // Null takes no entries; a value that is no boolean raises.
        bool takesEntries() const;
    };
    struct Employee {
        bool found = false;
        int32_t id = 0;
        QString accessControl; // upper case
    };

    bool isOpen() const { return m_open; }
    // While set, the employees read for one file serve the files after it:
    // reading the files changes no employee. Cleared, they are forgotten and
    // read again when next asked for.
    void keepEmployees(bool keep);
    // Reads the departments; raises HxError when the table cannot be read.
    void open(Database &db);
    void close();

    // nullptr for a department number not in DEPT. Raises when closed.
    const Department *department(int deptId) const;
    // The first employee whose "CLOCK ID" or "NEWBADGE" is the badge.
    Employee employee(int32_t badge);
    // Whether the clock records access events only; a clock without a row is
    // not. A failed lookup raises the same error for every record that asks.
    bool clockAccessOnly(int16_t clock);

private:
    bool m_open = false;
    Database *m_db = nullptr;
    QHash<int, Department> m_departments;
    QHash<int32_t, Employee> m_employees;
    bool m_employeesRead = false;
    bool m_keepEmployees = false;
    QHash<int16_t, bool> m_accessOnly;
    struct Failure {
        QString description;
        long number = 0;
    };
    QHash<int16_t, Failure> m_accessOnlyFailure;
};

// The lookups of the file being read.
extern PollFileLookups gPollFileLookups;

// Adds the record's row to rsPollLog, or nothing when the register already
// lists the record and blnImportSeen is false. Errors are reported here and
// the record is given up.
// A record dated more than a day after the current date cannot be a punch
// (a damaged date field): it is reported with its file and line and left out.
void ProcessPollLogEntry(QStringView strLine, int16_t intClock, bool blnImportSeen, const QString &fileName = {},
                         qint64 lineNumber = 0);

} // namespace hx
