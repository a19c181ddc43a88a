#pragma once
// The component's public class: four paths, shared by every instance of the
// process, and the modal poll log window (shown by the window host).
#include <QString>

namespace hx {

class clsQX8PollLog {
public:
    QString DatabaseFilePath() const;
    void setDatabaseFilePath(const QString &value);
    QString ApplicationPath() const;
    void setApplicationPath(const QString &value);
    QString PollLogPath() const;
    void setPollLogPath(const QString &value);
    QString ErrorLogPath() const;
    void setErrorLogPath(const QString &value);
};

} // namespace hx
