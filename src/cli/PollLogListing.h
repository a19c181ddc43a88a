#pragma once
// The poll log list as the command-line host builds it, shared by list,
// print and import --all.
#include "import/PollLogList.h"

namespace hx::cli {

enum class Built { NoDatabase, Partly, Whole };

// Builds the list as the window does (pruning included), naming every deleted
// file on standard error.
Built buildList(PollLogList &list);

} // namespace hx::cli
