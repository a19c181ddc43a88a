#pragma once
// The exceptions report: what an administrator looks at after an import.
// Pairs left without an out punch, pairs with an error code, schedule
// violations, pairs longer than a threshold, access events of badges no
// employee carries, and refused access events, for the days
// [since, until] (PUNCH by IN DATE, AccessPunch by Date).
//
// Nothing records which rows an import changed (posting clears RecalcHrs,
// the command empties IMPORT), so the default range is the week up to today:
// since = today - 7 days, until = today.
#include "component/Database.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace hx {

struct PairException {
    qint64 punchId = 0;
    int employeeId = 0;
    QString employeeName; // empty when no EMPLOYEE row has the id
    double date = 0;      // IN DATE
    std::optional<double> inTime, outTime;
    int errorCode = 0;
    int inCode = 0, outCode = 0;
    bool inExcused = false, outExcused = false;
    std::optional<double> hours; // DEPT HOURS
    std::optional<double> span;  // hours from the in punch to the out punch
    int clock = 0;               // 0: not known
    QString clockName;
    QString department;
};

struct AccessException {
    qint64 accessId = 0;
    double date = 0;
    std::optional<double> time;
    int clock = 0;
    QString clockName;
    qint64 badge = 0;
    int employeeId = 0; // 0: no employee carries the badge
    QString employeeName;
    int type = 0; // 1 in, 2 out, 0 other
    bool valid = false;
    int failure = -1;
};

struct ExceptionsReport {
    double since = 0, until = 0;
    double longerThanHours = 16;
    std::vector<PairException> openPairs;
    std::map<int, std::vector<PairException>> errorCodes; // by ERRORCODE, 0 left out
    std::vector<PairException> scheduleViolations;
    std::vector<PairException> longPairs;
    std::vector<AccessException> unknownBadges;
    std::vector<AccessException> refusedAccess;

    // Rows to look at, each PUNCH or AccessPunch row once however many
    // sections list it.
    int distinctCount() const;
    // The titles of the sections that hold rows, in report order, lower case.
    QStringList nonEmptySections() const;
};

constexpr double kDefaultLongerThanHours = 16;

// The default range: from the earliest punch of the last saved import (the
// history of imports) to today; the week up to today when there is none.
std::pair<double, double> defaultExceptionsRange(Database *db = nullptr);

// Reads the report from the database; values bound, statements reused.
ExceptionsReport collectExceptions(Database &db, double since, double until,
                                   double longerThanHours = kDefaultLongerThanHours);

// "out punch missing" for 2; "code 9" for a code the suite does not define.
QString errorCodeName(int code);
// The same as a JSON key: "out_punch_missing", "code_9".
QString errorCodeKey(int code);
// "early", "late", "not scheduled", "missing"; "code n" for others.
QString scheduleCodeName(int code);

// One object: since, until, longer_than_hours and one array per section
// (error_codes an object of arrays by code key).
QJsonObject exceptionsJson(const ExceptionsReport &report);

// The report laid out for text and print: sections in order, each with its
// heading (the count in it), the rows as the cells of kExceptionColumns.
struct ExceptionsSection {
    QString heading;
    int count = 0;
    bool sub = false; // a code under "Error codes"
    std::vector<QStringList> rows;
};
inline const QStringList kExceptionColumns = {QStringLiteral("Date"), QStringLiteral("Employee"),
                                              QStringLiteral("Times"), QStringLiteral("Detail"),
                                              QStringLiteral("Clock")};
std::vector<ExceptionsSection> exceptionsSections(const ExceptionsReport &report);
// "Exceptions 2007-04-19 to 2007-04-26"
QString exceptionsTitle(const ExceptionsReport &report);

} // namespace hx
