#pragma once
// One import at a time per database. Two imports share the IMPORT table: the
// "DELETE FROM IMPORT" of one would silently drop the punches the other has
// read but not yet posted, so an import holds this lock from before it first
// empties IMPORT until after it empties it for the last time.
//
// A second import waits up to the given time for the lock and then gives up
// with a message that names the holder; it never starts work beside the first.
// SQLite: a lock file "<database file>.import.lock" beside the database, left
// by a crashed process and then taken over when its process is gone.
// PostgreSQL: a session-level advisory lock with a fixed key, released by the
// server when the session ends.
#include "component/Database.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

namespace hx {

class ImportLock {
public:
    virtual ~ImportLock() = default;
    ImportLock(const ImportLock &) = delete;
    ImportLock &operator=(const ImportLock &) = delete;

    // Takes the lock for the database behind db, waiting up to `wait` for a
    // running import to finish. Returns nullptr and the reason in *why when
    // the lock cannot be had. onWait, when given, is called once with the
    // holder's description before the waiting starts.
    static std::unique_ptr<ImportLock> acquire(Database &db, std::chrono::milliseconds wait, QString *why,
                                               const std::function<void(const QString &holder)> &onWait = {});

    // The lock file used for an SQLite database file.
    static QString lockFilePath(const QString &databaseFile);
    // The advisory lock key used on PostgreSQL.
    static constexpr qint64 kAdvisoryKey = 0x4858504f4c4c494dLL; // "HXPOLLIM"

protected:
    ImportLock() = default;
};

} // namespace hx
