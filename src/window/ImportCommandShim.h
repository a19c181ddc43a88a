#pragma once
// Stand-in for the core's Import command until it lands (same interface).
#include "messages/clsMessage.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace hx {
struct ImportFile {
    QString name;
    QString path;
};
struct ImportOptions {
    bool importSeen = true;
};
enum class ImportOutcome { NotConfirmed, FileLoadError, PostingFailed, Imported, RolledBack };
struct ImportResult {
    ImportOutcome outcome = ImportOutcome::NotConfirmed;
    int errorsReported = 0;
    int lastFile = -1;
};
ImportResult runImportCommand(const std::vector<ImportFile> &files, std::shared_ptr<clsMessage> &channel,
                              const ImportOptions &options, const std::function<void(int)> &beforeFile = {},
                              const std::function<void(int)> &fileFailed = {});
} // namespace hx
