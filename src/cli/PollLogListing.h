#pragma once
// The poll log list as the command-line host builds it, shared by list,
// print and import --all.
#include "import/PollLogList.h"

namespace hx::cli {

enum class Built { NoDatabase, Partly, Whole };

// Builds the list as the window does, moving no file (files the window would
// prune are left out); a name that cannot be read is named on standard error.
Built buildList(PollLogList &list);

} // namespace hx::cli
