#include "import/PollLogList.h"

#include "component/Clock.h"
#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "import/PollLogFormat.h"
#include "messages/LogFiles.h"
#include "rules/clsTCrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <map>

namespace hx {
namespace {
const QString kModule = QStringLiteral("frmPollLog");

// The first n characters of a name as a hexadecimal number. Four or eight
// digits with the top bit set read as negative in a signed conversion, and
// get 16^n added back, so every readable code comes out as its unsigned value.
qint64 timeCodeOf(const QString &name, int n) {
    if (n < 1) throw HxError(QStringLiteral("Type mismatch"), ErrNo::TypeMismatch);
    if (n > 8) throw HxError(QStringLiteral("Overflow"), ErrNo::Overflow);
    bool ok = false;
    const qint64 code = name.left(n).toLongLong(&ok, 16);
    if (!ok || name.left(n).startsWith(QLatin1Char('-')) || name.left(n).startsWith(QLatin1Char('+')))
        throw HxError(QStringLiteral("Type mismatch"), ErrNo::TypeMismatch);
    return code;
}

int yearCodeOf(const QString &name) {
    const QString code = name.mid(name.size() - 6, 2);
    bool ok = false;
    const int year = code.trimmed().toInt(&ok);
    if (!ok) throw HxError(QStringLiteral("Type mismatch"), ErrNo::TypeMismatch);
    return year;
}

bool dateKeyBefore(const PollLogRow &a, const PollLogRow &b) {
    const QString ka = strDateSortKey(a.pollDate), kb = strDateSortKey(b.pollDate);
    if (ka != kb) return ka > kb; // newest first
    return a.fileName < b.fileName;
}
} // namespace

const QStringList &PollLogList::fieldNames() {
    static const QStringList names = {QStringLiteral("Poll Date"), QStringLiteral("Clock Name"),
                                      QStringLiteral("Approximate Punches"), QStringLiteral("File Name"),
                                      QStringLiteral("Clock Number")};
    return names;
}

double dtmPollTimeOfName(const QString &fileName) {
    if (fileName.left(7) == QLatin1String("PUNCH.}")) return dateSerial(2150, 1, 1);
    const qint64 code = timeCodeOf(fileName, int(fileName.size()) - 6);
    const int yearCode = yearCodeOf(fileName);
    const int thisYear = Clock::now().date().year();
    const int baseYear = yearCode == thisYear % 100 ? thisYear : thisYear - 1;
    return dateSerial(baseYear, 1, 1) + double(code) * 6.0 / kSecondsPerDay;
}

int32_t lngApproxPunches(const QString &path) {
    const qint64 length = QFileInfo(path).size();
    int64_t estimate = length >= 840 ? (length - 840) / 58 : 0;
    if (estimate < 1 || estimate > 9) return int32_t(std::min<int64_t>(estimate, INT32_MAX));

    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw HxError(QStringLiteral("File not found: ") + path, ErrNo::FileNotFound);
    PollLineReader reader(f, 256);
    PollLine line;
    int32_t count = 0;
    while (reader.readLine(line)) {
        qsizetype i = 0;
        while (i < line.bytes.size() && line.bytes[i] == ' ')
            ++i;
        if (i >= line.bytes.size() || line.bytes[i] != ';') ++count;
    }
    return count;
}

QString strPollLogFilePath(const QString &fileName) {
    return strJoinPath(strGetPollLogPath(), fileName);
}

QString strDateSortKey(const QString &text) {
    const auto serial = parseDateTime(text);
    return serial ? formatSortKey(*serial) : QString();
}

QString strNumberSortKey(const QString &text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) >= 1e15) return QString();
    const qint64 n = qint64(roundHalfEven(v));
    return (n < 0 ? QStringLiteral("-") : QString()) +
           QStringLiteral("%1").arg(n < 0 ? -n : n, 10, 10, QLatin1Char('0'));
}

QString PollLogList::prunedFolder() {
    return strJoinPath(strGetPollLogPath(), QStringLiteral("Pruned"));
}

namespace {
// A free name in the Pruned folder: the file's own, else with ".1", ".2"...
// (a pruned file of the same name is never overwritten).
QString freeName(const QDir &dir, const QString &name) {
    QString candidate = name;
    for (int i = 1; dir.exists(candidate); ++i)
        candidate = name + QLatin1Char('.') + QString::number(i);
    return candidate;
}
} // namespace

void PollLogList::purgePruned(PruneMode prune, const std::function<void(const PollLogNotice &)> &onNotice) {
    const QDir dir(prunedFolder());
    if (!dir.exists()) return;
    // A moved file carries the moment of its move as its modification time.
    const QDateTime limit = Clock::now().addDays(-kPrunedKeepDays);
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &fi : files) {
        if (fi.lastModified() > limit) continue;
        const QString why = QStringLiteral("pruned more than %1 days ago").arg(kPrunedKeepDays);
        if (prune == PruneMode::Move) {
            if (!QFile::remove(fi.absoluteFilePath())) {
                subLogNote(kModule, QStringLiteral("The pruned poll log %1 cannot be deleted").arg(fi.fileName()));
                continue;
            }
            subLogNote(kModule, QStringLiteral("Deleted pruned poll log ") + fi.fileName() + QStringLiteral(": ") + why);
        }
        if (onNotice) onNotice({PollLogNotice::Purged, fi.fileName(), why});
    }
}

bool PollLogList::build(PruneMode prune, const std::function<void(const PollLogNotice &)> &onNotice) {
    m_rows.clear();
    m_folderError.clear();
    double pollTime = 0;
    QString name;
    bool ok = true;
    try {
        const QString folder = strGetPollLogPath();
        const QFileInfo folderInfo(folder.isEmpty() ? QStringLiteral("/") : folder);
        if (!folderInfo.isDir() || !folderInfo.isReadable() || !folderInfo.isExecutable()) {
            m_folderError = QStringLiteral("the poll log folder %1 %2")
                                .arg(folderInfo.filePath(), folderInfo.exists()
                                                                ? QStringLiteral("cannot be read")
                                                                : QStringLiteral("does not exist"));
            subLogNote(kModule, m_folderError);
            return false;
        }

        std::map<int32_t, QString> clocks; // the first row of each number
        Recordset rs = conn().openRecordset(QStringLiteral("SELECT * FROM \"CLOCK\""));
        for (; !rs.eof(); rs.moveNext()) {
            const int32_t number = lngNullToZero(rs.value(u"CLOCK NUMBER"));
            clocks.emplace(number, strNullToText(rs.value(u"CLOCK NAME")));
        }
        subCloseRecordset(rs);

        const int days = rules().intLogFileDays;
        const QDir dir(folderInfo.filePath());
        const QStringList names =
            dir.entryList({QStringLiteral("*.}??")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        auto leaveOut = [&](const QString &why) {
            if (prune == PruneMode::Keep) return;
            if (prune == PruneMode::Move) {
                const QDir pruned(prunedFolder());
                const QString target = pruned.exists() || dir.mkdir(QStringLiteral("Pruned"))
                                           ? pruned.filePath(freeName(pruned, name))
                                           : QString();
                QFile f(dir.filePath(name));
                if (target.isEmpty() || !f.rename(target)) {
                    const QString reason =
                        QStringLiteral("cannot be moved into %1: %2")
                            .arg(pruned.path(), target.isEmpty() ? QStringLiteral("the folder cannot be made")
                                                                 : f.errorString());
                    subLogNote(kModule, QStringLiteral("The poll log ") + name + QLatin1Char(' ') + reason);
                    if (onNotice) onNotice({PollLogNotice::MoveFailed, name, reason});
                    return;
                }
                // Its stay in Pruned/ is counted from now.
                QFile moved(target);
                if (moved.open(QIODevice::ReadWrite))
                    moved.setFileTime(Clock::now(), QFileDevice::FileModificationTime);
                subLogNote(kModule, QStringLiteral("Pruned poll log ") + name + QStringLiteral(": ") + why);
            }
            if (onNotice) onNotice({PollLogNotice::Pruned, name, why});
        };
        for (const QString &entry : names) {
            name = entry;
            pollTime = dateSerial(2150, 1, 1);
            try {
                pollTime = dtmPollTimeOfName(name);
            } catch (const HxError &e) {
                // One unreadable name hides nothing else.
                const QString why = QStringLiteral("the name cannot be read as a poll time (%1)").arg(e.description());
                subLogNote(kModule, QStringLiteral("Poll log ") + name + QStringLiteral(" left out: ") + why);
                if (onNotice) onNotice({PollLogNotice::BadName, name, why});
                continue;
            }
            if (dateDiffDays(pollTime, Clock::nowSerial()) > days) {
                leaveOut(QStringLiteral("polled %1, more than %2 days ago").arg(formatPollDate(pollTime)).arg(days));
                continue;
            }
            const int32_t number = pollClockNumber(name);
            const auto clock = clocks.find(number);
            if (clock == clocks.end()) {
                leaveOut(QStringLiteral("clock %1 is not in the CLOCK table").arg(number));
                continue;
            }
            m_rows.push_back({formatPollDate(pollTime), clock->second,
                              lngApproxPunches(dir.filePath(name)), name, number, pollTime});
        }
        if (prune != PruneMode::Keep) purgePruned(prune, onNotice);
    } catch (const std::exception &e) {
        subReportError(QStringLiteral("ZudIvida Module"), QStringLiteral("Procedure"),
                       QStringLiteral("CreatePollLogRecordset ") + valueText(QVariant(pollTime)) +
                           QLatin1Char(' ') + name,
                       QStringLiteral("None"),
                       dynamic_cast<const HxError *>(&e) ? *dynamic_cast<const HxError *>(&e)
                                                         : HxError(errorDescription(e)));
        ok = false;
    }
    // Newest first by the date the row shows, as the list sorts it.
    std::stable_sort(m_rows.begin(), m_rows.end(), dateKeyBefore);
    return ok;
}

std::vector<PollLogRow> PollLogList::rows() const {
    if (!m_hideEmpty) return m_rows;
    std::vector<PollLogRow> out;
    std::copy_if(m_rows.begin(), m_rows.end(), std::back_inserter(out),
                 [](const PollLogRow &r) { return r.approximatePunches > 0; });
    return out;
}

} // namespace hx
