#pragma once
// Posting the IMPORT table into PUNCH.
#include "messages/clsMessage.h"

#include <memory>

namespace hx {

// When message holds no channel, one is created into it.
bool blnPostImportTableToPunchTable(std::shared_ptr<clsMessage> &message);

} // namespace hx
