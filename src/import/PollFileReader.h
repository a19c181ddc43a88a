#pragma once
// Reading one poll log file into IMPORT (and its access events into AccessPunch).
#include "messages/clsMessage.h"

#include <QString>
#include <memory>

namespace hx {

// When objMessage holds no channel, one is created into it. True when the
// file was read and its entries transferred (or it held no record).
bool blnImportPollFile(const QString &strFileName, std::shared_ptr<clsMessage> &objMessage,
                       bool blnImportSeen);

} // namespace hx
