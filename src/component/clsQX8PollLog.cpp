#include "component/clsQX8PollLog.h"

#include "component/modGlobal.h"

namespace hx {

QString clsQX8PollLog::DatabaseFilePath() const {
    return strGetDatabaseFilePath();
}
void clsQX8PollLog::setDatabaseFilePath(const QString &value) {
    subSetDatabaseFilePath(value);
}
QString clsQX8PollLog::ApplicationPath() const {
    return strGetApplicationPath();
}
void clsQX8PollLog::setApplicationPath(const QString &value) {
    subSetApplicationPath(value);
}
QString clsQX8PollLog::PollLogPath() const {
    return strGetPollLogPath();
}
void clsQX8PollLog::setPollLogPath(const QString &value) {
    subSetPollLogPath(value);
}
QString clsQX8PollLog::ErrorLogPath() const {
    return strGetErrorLogPath();
}
void clsQX8PollLog::setErrorLogPath(const QString &value) {
    subSetErrorLogPath(value);
}

} // namespace hx
