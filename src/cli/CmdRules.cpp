#include "cli/Commands.h"
#include "rules/clsTCrules.h"

#include <QTextStream>

namespace hx::cli {

int cmdRules(const QStringList &args) {
    if (!args.isEmpty()) {
        printError(QStringLiteral("usage: hxpolllog [global options] rules"));
        return 2;
    }
    if (!openSession()) return 1;
    QTextStream out(stdout);
    for (const QString &line : gTCRules->describe())
        out << line << '\n';
    out.flush();
    closeSession();
    return 0;
}

} // namespace hx::cli
