#include "cli/Commands.h"

namespace hx::cli {

// Filled in with the import pipeline.
int cmdDemo(const QStringList &) {
    printError(QStringLiteral("demo is not available in this build."));
    return 1;
}

} // namespace hx::cli
