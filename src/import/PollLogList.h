#pragma once
// The list of poll log files in the poll log folder: one row per file with its
// poll time, clock and punch estimate. Building it prunes the folder of files
// past the rules' age limit and of files of clocks the site does not know.
// Shared by the window and the command-line host.
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace hx {

struct PollLogRow {
    QString pollDate;  // "mm/dd/yy hh:mm:ss am", lower case
    QString clockName; // CLOCK.CLOCK NAME
    int32_t approximatePunches = 0;
    QString fileName; // without folder
    int32_t clockNumber = 0;
};

// A file the list removed from the folder, and why.
struct DeletedPollLog {
    QString fileName;
    QString reason;
};

class PollLogList {
public:
    // Field names of a row, as the list shows and exports them.
    static const QStringList &fieldNames();

    // Scans the poll log folder into the list (gConn and gTCRules must be
    // loaded). Every deleted file is written to the log as a note and handed
    // to onDeleted. An error is reported and leaves the rows read so far;
    // the result is then false.
    bool build(const std::function<void(const DeletedPollLog &)> &onDeleted = {});
    void clear() { m_rows.clear(); }

    // The filter "[Approximate Punches]>0" when true.
    void setHideEmpty(bool hide) { m_hideEmpty = hide; }
    bool hideEmpty() const { return m_hideEmpty; }

    // Every row, newest first, then by file name.
    const std::vector<PollLogRow> &allRows() const { return m_rows; }
    // The rows that pass the filter, in the same order.
    std::vector<PollLogRow> rows() const;

private:
    std::vector<PollLogRow> m_rows;
    bool m_hideEmpty = false;
};

// The poll time a file name stands for (day-count form): 1 January 2150 for
// "PUNCH.}" names, else the hexadecimal six-second count from the start of the
// year of the name's year code. Raises HxError for a name it cannot read.
double dtmPollTimeOfName(const QString &fileName);
// The punch estimate of a file: (length - 840) / 58, counted line by line
// when that gives 1 to 9.
int32_t lngApproxPunches(const QString &path);
// The poll log folder, "/" and the name.
QString strPollLogFilePath(const QString &fileName);

// Sort keys of the list's columns. A date as the list shows it, read back with
// the two-digit-year window, as "yyyymmddhhnnss"; a number as ten digits.
// Empty when the text cannot be read.
QString strDateSortKey(const QString &text);
QString strNumberSortKey(const QString &text);

} // namespace hx
