#include "cli/Commands.h"

namespace hx::cli {

// Filled in with the import pipeline.
int cmdImport(const QStringList &) {
    printError(QStringLiteral("import is not available in this build."));
    return 1;
}

} // namespace hx::cli
