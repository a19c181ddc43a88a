#pragma once
// The stages of posting IMPORT into PUNCH, run in order by
// blnPostImportTableToPunchTable (PostingDriver.h).
#include "component/Database.h"
#include "messages/clsMessage.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <optional>

namespace hx {

// Whether task entries are posted at all (rule intTaskAs 1 or 2). Set by the
// posting driver before any stage runs; read by the row writers.
extern bool blnTaskTracking;

// Gives the single swipes of hand readers and Vazaz-O-Du employees their
// direction and primary department. False when an error stopped the walk.
bool blnBioMetricImportCalculations(std::shared_ptr<clsMessage> &message);
// Direction ("I" or "O") of an employee's first swipe at date + time, and the
// moment of the punch before it, from the employee's pairs in PUNCH. On a
// failure (reported) both keep the values they had.
void GetEmployeeStartingPunchType(int32_t employeeId, double punchDate, double punchTime, QString &direction,
                                  double &previousPunch);

// Makes sure every scheduled employee has the empty pairs of its schedule for
// the days after the last poll up to lastDay; records lastDay as the last poll.
// Neither goes past today, and at most the 366 days up to lastDay get pairs
// (the days left out are reported).
void InsertSchedules(double lastDay);
// One empty scheduled pair, unless an identical one exists. shiftTime decides
// the pair's adjusted date (nullopt: the day itself).
void InsertAbsent(int32_t employeeId, int16_t inPunchType, int16_t outPunchType, double day, int32_t schedule,
                  std::optional<double> shiftTime);

// Deletes from IMPORT the punches repeating one of the same employee and
// direction within two minutes; returns how many were removed.
int32_t RemovingDuplicatePunches();

// The rows in IMPORT: the progress total of a walk that reads them as it goes.
int32_t lngImportRowCount(Database &db);

// Pairs every IMPORT punch with PUNCH, then recalculates hours and closes the poll.
void ImportToThePunchTable(std::shared_ptr<clsMessage> &message);

// The row writers: each writes the punch of the IMPORT row the recordset is on
// and marks the PUNCH row for recalculation. Failures are reported, not raised.
void NewInPunchRecord(const Recordset &import);
void UpdateInPunchRecord(int32_t punchId, const Recordset &import);
void NewOutPunchRecord(const Recordset &import);
void UpdateOutPunchRecord(int32_t punchId, const Recordset &import);

// Settles the employees', clock qualifications', schedules' and departments'
// pending marks, unless a clock still has its status flag set.
void CleanupPolling();

} // namespace hx
