#pragma once
// Recalculation of the PUNCH rows marked with RecalcHrs: the day a pair counts
// on, its working times (revised and rounded), hours, lunch, the department's
// overtime rule and pay rate, the error code and the schedule codes.
#include <QStringList>
#include <QVariant>
#include <array>
#include <cstdint>
#include <memory>

namespace hx {

// Recalculates every marked, worked PUNCH row (employee, in date, in time
// order) and clears the mark of each row that was done. A row whose
// recalculation fails is reported, keeps what was computed before the failing
// step (ERRORCODE 1 at least) and stays marked for the next run; the run goes
// on with the next row. Day starts, badges, department qualifications,
// schedules, jobs, tasks and the custom tables are read once per run.
void RecalculateHours();

// Recalculates the one PUNCH row with this ID as the run does, marked or not.
// True when it was done and its mark cleared; false when a step failed (the
// failure is reported and the row left as above) or there is no such row.
bool RecalculateThisPunch(int32_t punchId);

// The PUNCH columns a recalculation reads, in the order a row handed to
// RecalculationRun::compute holds them.
constexpr int kRecalculationColumns = 27;
using RecalculationRow = std::array<QVariant, kRecalculationColumns>;
const QStringList &recalculationColumnNames();
// The columns a recalculation saves, in the order of the values compute()
// gives (RecalcHrs last).
const QStringList &recalculationSaveColumns();

class RunLookups;

// Recalculations of rows held in memory, with the lookups of one run: the
// posting computes the hours of the rows it writes, so that each is written
// once.
class RecalculationRun {
public:
    RecalculationRun();
    ~RecalculationRun();
    // True, with the values to save (the mark cleared), when every step of
    // the row was done. False when one failed: nothing is reported, the row
    // is to be written marked, and RecalculateHours meets it again.
    bool compute(const RecalculationRow &row, QVariantList &save);

private:
    std::unique_ptr<RunLookups> m_lookups;
};

} // namespace hx
