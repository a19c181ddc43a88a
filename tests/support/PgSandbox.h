#pragma once
// The PostgreSQL server of the tests: CTest's fixture (tests/pg/pg_server.sh,
// a fixture of every test) starts one for the whole run and writes its port
// to build/pg-server/port. Programs share the server, so each names its
// databases through database().
#include <QFile>
#include <unistd.h>

namespace hx::test {

class PgSandbox {
public:
    PgSandbox() {
        QFile shared(QStringLiteral(HX_BINARY_DIR "/pg-server/port"));
        if (shared.open(QIODevice::ReadOnly)) m_port = shared.readAll().trimmed().toInt();
        if (m_port <= 0) {
            m_error = QStringLiteral("no port in pg-server/port; run the tests through CTest (pg.server.start)");
            return;
        }
        QFile socket(QStringLiteral(HX_BINARY_DIR "/pg-server/socket"));
        if (socket.open(QIODevice::ReadOnly)) m_socketDir = QString::fromLocal8Bit(socket.readAll().trimmed());
    }

    // A role of the server that logs in with a password only.
    static constexpr const char *kPasswordUser = "hxpw";
    static constexpr const char *kPassword = "hx-Pw-0451";

    int port() const { return m_port; }
    // The directory of the server's Unix socket (trust for every role).
    const QString &socketDir() const { return m_socketDir; }
    // A database name of this program's own on the shared server.
    static QString database(const QString &base) { return QStringLiteral("%1_p%2").arg(base).arg(getpid()); }
    const QString &error() const { return m_error; }
    QString url(const QString &database) const {
        return QStringLiteral("postgresql://hxtest@127.0.0.1:%1/%2").arg(m_port).arg(database);
    }

private:
    int m_port = 0;
    QString m_socketDir;
    QString m_error;
};

} // namespace hx::test
