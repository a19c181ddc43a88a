#pragma once
// What one import did, counted where the work is done: the figures a host
// shows after the run. The reader, the entry processing and the posting
// stages add to the counts of the import running now.
#include <QString>
#include <cstdint>
#include <map>

namespace hx {

struct ImportSummary {
    int64_t files = 0;              // poll log files read whole
    int64_t recordsRead = 0;        // records read, those skipped as seen included
    int64_t recordsSkippedSeen = 0; // records left out because the register lists them
    int64_t badLines = 0;           // lines of the wrong size
    int64_t punchesNew = 0;         // IMPORT rows left to post after the duplicate removal
    int64_t duplicatesRemoved = 0;
    int64_t pairsOpened = 0;    // PUNCH rows the pairing created (scheduled pairs not included)
    int64_t pairsClosed = 0;    // PUNCH rows that received their out punch
    int64_t scheduledPairs = 0; // pairs made for scheduled days without punches
    int64_t rowsRecalculated = 0;
    int64_t employees = 0; // employees with punches in the import
    double earliestPunch = 0; // the earliest punch date posted (day-count form), 0 when none
    int64_t errors = 0; // errors reported between the confirmation and the end
    std::map<QString, int64_t> errorsByKind; // "bad_line", "bad_date", "failed_record", "posting", ...
    double seconds = 0; // from the confirmation to the end
};

// The counts of the import running now; runImportCommand clears them when it
// starts and hands them back in its result.
ImportSummary &importCounts();

} // namespace hx
