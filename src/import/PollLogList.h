#pragma once
// The list of poll log files in the poll log folder: one row per file with its
// poll time, clock and punch estimate. Files past the rules' age limit and
// files of clocks the site does not know are left out; the window (and the
// prune command) moves them into the folder's "Pruned" subfolder, where they
// stay for 30 days, so a poll log is never lost before someone could import it.
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
    double pollTime = 0; // the poll time itself, day-count form
};

// What building the list does with the files it leaves out for age or clock.
enum class PruneMode {
    Keep,   // nothing: reading the list never changes the folder
    Move,   // into Pruned/, and files kept there past 30 days are deleted
    DryRun, // tell what Move would do, change nothing
};

// A file the list left out or moved, and why.
struct PollLogNotice {
    enum Kind {
        Pruned,    // moved into Pruned/ (or would be, in a dry run)
        Purged,    // deleted from Pruned/ after 30 days (or would be)
        BadName,   // the name cannot be read as a poll time; not listed
        MoveFailed // could not be moved; left where it is, not listed
    };
    Kind kind = Pruned;
    QString fileName;
    QString reason;
};
using DeletedPollLog = PollLogNotice;

class PollLogList {
public:
    // Field names of a row, as the list shows and exports them.
    static const QStringList &fieldNames();

    static constexpr int kPrunedKeepDays = 30;
    // The subfolder of the poll log folder that holds pruned files.
    static QString prunedFolder();

    // Scans the poll log folder into the list (gConn and gTCRules must be
    // loaded). Every file moved, purged or left out for its name is written
    // to the log as a note and handed to onNotice. A folder that cannot be
    // read gives false with folderError() set; any other error is reported
    // and leaves the rows read so far, and the result is false.
    bool build(PruneMode prune = PruneMode::Keep, const std::function<void(const PollLogNotice &)> &onNotice = {});
    void clear() {
        m_rows.clear();
        m_folderError.clear();
    }
    // Why the poll log folder could not be read by the last build; empty when it was.
    const QString &folderError() const { return m_folderError; }

    // The filter "[Approximate Punches]>0" when true.
    void setHideEmpty(bool hide) { m_hideEmpty = hide; }
    bool hideEmpty() const { return m_hideEmpty; }

    // Every row, newest first, then by file name.
    const std::vector<PollLogRow> &allRows() const { return m_rows; }
    // The rows that pass the filter, in the same order.
    std::vector<PollLogRow> rows() const;

private:
    void purgePruned(PruneMode prune, const std::function<void(const PollLogNotice &)> &onNotice);

    std::vector<PollLogRow> m_rows;
    QString m_folderError;
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
