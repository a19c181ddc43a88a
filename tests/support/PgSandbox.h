#pragma once
// A throwaway PostgreSQL server for the tests. Under CTest one server serves
// the whole run (tests/pg/pg_server.sh, a fixture of every test, writes its
// port to build/pg-server/port); a test program run on its own starts its own
// through tests/pg/pg_sandbox.sh, removed when the program ends (the script
// cleans up by itself when its input closes, also after a crash). Programs
// share the server, so each names its databases through database().
#include <QFile>
#include <QProcess>
#include <arpa/inet.h>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hx::test {

class PgSandbox : public ::testing::Environment {
public:
    PgSandbox() {
        // Dates and times must not move with the zone the machine runs in.
        setenv("TZ", "America/New_York", 1);
        tzset();
    }

    void SetUp() override {
        if (m_port > 0 || m_proc) return;
        // The fixture's server, if it still answers: a run that was killed or a
        // reboot leaves its port file behind.
        QFile shared(QStringLiteral(HX_BINARY_DIR "/pg-server/port"));
        if (shared.open(QIODevice::ReadOnly)) m_port = shared.readAll().trimmed().toInt();
        if (m_port > 0 && !accepts(m_port)) m_port = 0;
        if (m_port > 0) {
            QFile socket(QStringLiteral(HX_BINARY_DIR "/pg-server/socket"));
            if (socket.open(QIODevice::ReadOnly))
                m_socketDir = QString::fromLocal8Bit(socket.readAll().trimmed());
            return;
        }
        m_proc = new QProcess();
        m_proc->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc->start(QStringLiteral("bash"), {QStringLiteral(HX_SOURCE_DIR "/tests/pg/pg_sandbox.sh")});
        if (!m_proc->waitForStarted(30000)) {
            m_error = QStringLiteral("cannot run bash: ") + m_proc->errorString();
            return;
        }
        QByteArray line;
        while (!line.endsWith('\n')) {
            if (!m_proc->canReadLine() && !m_proc->waitForReadyRead(180000)) break;
            line += m_proc->readLine();
        }
        line = line.trimmed();
        if (line.startsWith("READY ")) {
            const QList<QByteArray> words = line.mid(6).split(' ');
            m_port = words.value(0).toInt();
            m_socketDir = QString::fromLocal8Bit(words.value(1));
            return;
        }
        m_error = line.isEmpty() ? QStringLiteral("the server script ended without a word")
                                 : QString::fromUtf8(line);
    }

    void TearDown() override {
        if (!m_proc) return;
        m_proc->closeWriteChannel();
        if (!m_proc->waitForFinished(60000)) ADD_FAILURE() << "the PostgreSQL test server did not stop";
        delete m_proc;
        m_proc = nullptr;
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
    static bool accepts(int port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return false;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }

    QProcess *m_proc = nullptr;
    int m_port = 0;
    QString m_socketDir;
    QString m_error;
};

} // namespace hx::test
