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

bool PollLogList::build(const std::function<void(const DeletedPollLog &)> &onDeleted) {
    m_rows.clear();
    double pollTime = 0;
    QString name;
    bool ok = true;
    try {
        std::map<int32_t, QString> clocks; // the first row of each number
        Recordset rs = conn().openRecordset(QStringLiteral("SELECT * FROM \"CLOCK\""));
        for (; !rs.eof(); rs.moveNext()) {
            const int32_t number = lngNullToZero(rs.value(u"CLOCK NUMBER"));
            clocks.emplace(number, strNullToText(rs.value(u"CLOCK NAME")));
        }
        subCloseRecordset(rs);

        const QString folder = strGetPollLogPath();
        const int days = rules().intLogFileDays;
        const QStringList names =
            QDir(folder.isEmpty() ? QStringLiteral("/") : folder)
                .entryList({QStringLiteral("*.}??")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        auto remove = [&](const QString &why) {
            QFile f(strJoinPath(folder, name));
            if (!f.remove())
                throw HxError(
                    QStringLiteral("The poll log %1 cannot be deleted: %2").arg(name, f.errorString()),
                    ErrNo::PermissionDenied);
            subLogNote(kModule, QStringLiteral("Deleted poll log ") + name + QStringLiteral(": ") + why);
            if (onDeleted) onDeleted({name, why});
        };
        for (const QString &entry : names) {
            name = entry;
            pollTime = dateSerial(2150, 1, 1);
            pollTime = dtmPollTimeOfName(name);
            if (dateDiffDays(pollTime, Clock::nowSerial()) > days) {
                remove(QStringLiteral("polled %1, more than %2 days ago")
                           .arg(formatPollDate(pollTime))
                           .arg(days));
                continue;
            }
            const int32_t number = pollClockNumber(name);
            const auto clock = clocks.find(number);
            if (clock == clocks.end()) {
                remove(QStringLiteral("clock %1 is not in the CLOCK table").arg(number));
                continue;
            }
            m_rows.push_back({formatPollDate(pollTime), clock->second,
                              lngApproxPunches(strJoinPath(folder, name)), name, number});
        }
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
