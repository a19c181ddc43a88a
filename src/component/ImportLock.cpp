#include "component/ImportLock.h"

#include "component/Values.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>

namespace hx {
namespace {
using namespace std::chrono_literals;

// How often a waiting import looks at the lock again.
constexpr auto kPollInterval = 200ms;

QString seconds(std::chrono::milliseconds ms) {
    return QString::number(static_cast<double>(ms.count()) / 1000.0, 'f', ms.count() % 1000 ? 1 : 0);
}

class FileImportLock final : public ImportLock {
public:
    explicit FileImportLock(std::unique_ptr<QLockFile> file) : m_file(std::move(file)) {}
    ~FileImportLock() override { m_file->unlock(); }

private:
    std::unique_ptr<QLockFile> m_file;
};

QString fileHolder(const QLockFile &f) {
    qint64 pid = 0;
    QString host, app;
    if (!f.getLockInfo(&pid, &host, &app)) return QStringLiteral("another import");
    QString s = QStringLiteral("process %1").arg(pid);
    if (!app.isEmpty()) s += QStringLiteral(" (%1)").arg(app);
    if (!host.isEmpty()) s += QStringLiteral(" on %1").arg(host);
    return s;
}

std::unique_ptr<ImportLock> acquireFile(const QString &databaseFile, std::chrono::milliseconds wait,
                                        QString *why, const std::function<void(const QString &)> &onWait) {
    const QString path = ImportLock::lockFilePath(databaseFile);
    auto file = std::make_unique<QLockFile>(path);
    // An import may run for a long time: a lock is stale only when the
    // process that took it is gone, never because of its age.
    file->setStaleLockTime(0);
    QDeadlineTimer deadline(wait);
    bool told = false;
    for (;;) {
        if (file->tryLock(0)) return std::make_unique<FileImportLock>(std::move(file));
        if (file->error() != QLockFile::LockFailedError) {
            if (why)
                *why = QStringLiteral("the import lock %1 cannot be created (%2).")
                           .arg(path, file->error() == QLockFile::PermissionError
                                          ? QStringLiteral("permission denied")
                                          : QStringLiteral("unknown error"));
            return nullptr;
        }
        const QString holder = fileHolder(*file);
        if (deadline.hasExpired()) {
            if (why)
                *why =
                    QStringLiteral("another import is running on this database: %1 holds %2. Gave up after "
                                   "waiting %3 s; run the import again when it has finished.")
                        .arg(holder, path, seconds(wait));
            return nullptr;
        }
        if (!told && onWait) {
            onWait(holder);
            told = true;
        }
        QThread::msleep(
            static_cast<unsigned long>(std::min<qint64>(kPollInterval.count(), deadline.remainingTime())));
    }
}

class AdvisoryImportLock final : public ImportLock {
public:
    explicit AdvisoryImportLock(Database &db) : m_db(db) {}
    ~AdvisoryImportLock() override {
        try {
            if (m_db.isOpen())
                m_db.firstValue(QStringLiteral("SELECT pg_advisory_unlock(?)"), {kAdvisoryKey});
        } catch (...) {
            // The server drops the lock with the session anyway.
        }
    }

private:
    Database &m_db;
};

QString advisoryHolder(Database &db) {
    try {
        const quint64 key = static_cast<quint64>(ImportLock::kAdvisoryKey);
        Recordset rs = db.openRecordset(
            QStringLiteral(
                "SELECT a.pid, a.client_addr, a.application_name FROM pg_locks l "
                "JOIN pg_stat_activity a ON a.pid = l.pid "
                "WHERE l.locktype = 'advisory' AND l.granted AND l.classid::bigint = ? "
                "AND l.objid::bigint = ? AND l.objsubid = 1 "
                "AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())"),
            {qint64(key >> 32), qint64(key & 0xffffffffULL)});
        if (!rs.eof()) {
            QString s = QStringLiteral("server process %1").arg(valueText(rs.value(0)));
            const QString addr = valueText(rs.value(1));
            if (!addr.isEmpty()) s += QStringLiteral(" for a client at %1").arg(addr);
            const QString app = valueText(rs.value(2));
            if (!app.isEmpty()) s += QStringLiteral(" (%1)").arg(app);
            return s;
        }
    } catch (const HxError &) {
        // Without the right to read the activity view the holder stays unnamed.
    }
    return QStringLiteral("another session");
}

std::unique_ptr<ImportLock> acquireAdvisory(Database &db, std::chrono::milliseconds wait, QString *why,
                                            const std::function<void(const QString &)> &onWait) {
    QDeadlineTimer deadline(wait);
    bool told = false;
    for (;;) {
        auto got =
            db.firstValue(QStringLiteral("SELECT pg_try_advisory_lock(?)"), {ImportLock::kAdvisoryKey});
        if (got && toBoolean(*got)) return std::make_unique<AdvisoryImportLock>(db);
        if (deadline.hasExpired()) {
            if (why)
                *why =
                    QStringLiteral("another import is running on this database: %1 holds the import lock. "
                                   "Gave up after waiting %2 s; run the import again when it has finished.")
                        .arg(advisoryHolder(db), seconds(wait));
            return nullptr;
        }
        if (!told && onWait) {
            onWait(advisoryHolder(db));
            told = true;
        }
        QThread::msleep(
            static_cast<unsigned long>(std::min<qint64>(kPollInterval.count(), deadline.remainingTime())));
    }
}
} // namespace

QString ImportLock::lockFilePath(const QString &databaseFile) {
    return QFileInfo(databaseFile).absoluteFilePath() + QStringLiteral(".import.lock");
}

std::unique_ptr<ImportLock> ImportLock::acquire(Database &db, std::chrono::milliseconds wait, QString *why,
                                                const std::function<void(const QString &)> &onWait) {
    try {
        if (db.engine() == Engine::PostgreSQL) return acquireAdvisory(db, wait, why, onWait);
        return acquireFile(db.handle().databaseName(), wait, why, onWait);
    } catch (const HxError &e) {
        if (why) *why = QStringLiteral("the import lock cannot be taken: ") + e.description();
        return nullptr;
    }
}

} // namespace hx
