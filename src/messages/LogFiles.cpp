#include "messages/LogFiles.h"

#include "component/Clock.h"
#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "messages/MessageBox.h"

#include <QFile>
#include <QFileInfo>

namespace hx {
namespace {
const QString kSeparator = QStringLiteral("--------------------------------------");
const QString kCrLf = QStringLiteral("\r\n");

QString responseText(int response) {
    switch (response) {
    case 1:
        return QStringLiteral(" Response=Ok");
    case 2:
        return QStringLiteral(" Response=Cancel");
    case 3:
        return QStringLiteral(" Response=Abort");
    case 4:
        return QStringLiteral(" Response=Retry");
    case 5:
        return QStringLiteral(" Response=Ignore");
    case 6:
        return QStringLiteral(" Response=Yes");
    case 7:
        return QStringLiteral(" Response=No");
    default:
        return QString();
    }
}

long g_reportedErrors = 0;

QString logFolder() {
    return strGetErrorLogPath() + QLatin1Char('/');
}

// Every field of an entry stays on its line: a carriage return and line feed
// in a file name must not be able to start a forged entry.
QString oneLine(const QString &text) {
    QString clean = text;
    for (QChar &c : clean)
        if (c.unicode() < 32) c = QLatin1Char('|');
    return clean;
}

LogWriteFailureHandler &failureHandler() {
    static LogWriteFailureHandler handler;
    return handler;
}

void reportWriteFailure(const QString &file, const QString &reason) {
    // The handler must not reach the log again, nor raise through the writer.
    try {
        if (const LogWriteFailureHandler &h = failureHandler()) h(file, reason);
    } catch (...) {
    }
}
} // namespace

void setLogWriteFailureHandler(LogWriteFailureHandler handler) {
    failureHandler() = std::move(handler);
}

namespace {
LogNoteEcho &noteEcho() {
    static LogNoteEcho echo;
    return echo;
}
} // namespace

void setLogNoteEcho(LogNoteEcho echo) {
    noteEcho() = std::move(echo);
}

QString strLogFilePath() {
    return logFolder() + QStringLiteral("QX8log.txt");
}

QString strLogHeader() {
    const double now = Clock::nowSerial();
    QString h;
    h += QStringLiteral("         Date: ") + formatMmDdYyyy(now) + kCrLf;
    h += QStringLiteral("     Log Path: ") + oneLine(logFolder()) + kCrLf;
    // A boolean column reads as True or False whatever the engine stores.
    QString valio;
    try {
        if (gConn) {
            const QVariant v = varTCRulesField(QStringLiteral("VALIO"));
            if (!isNullOrEmpty(v)) valio = toBoolean(v) ? QStringLiteral("True") : QStringLiteral("False");
        }
    } catch (...) {
        valio.clear();
    }
    h += QStringLiteral("     TC Rules: VALIO          = ") + valio + kCrLf;
    h += kSeparator + kCrLf;
    return h;
}

void subWriteLogEntry(const QString &kind, const QString &module, const QString &text, int response,
                      int helpId, long errorCode, const QString &procedure, const QString &procedureKind,
                      const QString &detail) {
    QString file;
    try {
        const QString clean = oneLine(text);
        file = strLogFilePath();
        QByteArray out;
        QFileInfo fi(file);
        if (!fi.exists() || fi.size() == 0) out += strLogHeader().toUtf8();

        const double now = Clock::nowSerial();
        QString entry;
        entry +=
            QStringLiteral(" When: ") + formatMmDdYyyy(now) + QLatin1Char(' ') + formatLogTime(now) + kCrLf;
        QString where = QStringLiteral("Where: ") + oneLine(module) + QLatin1Char(':');
        if (!procedureKind.isEmpty()) where += oneLine(procedureKind);
        if (kind != QLatin1String("N")) {
            if (!procedureKind.isEmpty() && procedureKind.toUpper() != QLatin1String("PROCEDURE"))
                where += QLatin1Char(' ');
            else
                where += QLatin1Char('_');
            where += oneLine(procedure) + QLatin1Char(' ') + oneLine(detail);
        }
        entry += where + kCrLf;
        QString word = kind == QLatin1String("M")   ? QStringLiteral("Msg ")
                       : kind == QLatin1String("E") ? QStringLiteral("Err ")
                       : kind == QLatin1String("N") ? QStringLiteral("Nte ")
                                                    : QString();
        entry += QStringLiteral(" What: ") + word + QLatin1Char('\'') + clean + QLatin1Char('\'') + kCrLf;
        QString other = responseText(response);
        if (errorCode > 0) other += QStringLiteral(" ErrCode=") + QString::number(errorCode);
        if (helpId > 0) other += QStringLiteral(" HelpID=") + QString::number(helpId);
        if (!other.isEmpty()) entry += QStringLiteral("Other:") + other + kCrLf;
        entry += kSeparator + kCrLf;
        out += entry.toUtf8();

        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
            reportWriteFailure(file, f.errorString());
            return;
        }
        // A full disk shows only when the buffered bytes are flushed.
        if (f.write(out) != out.size() || !f.flush()) reportWriteFailure(file, f.errorString());
        f.close();
    } catch (const std::exception &e) {
        // The log never raises to its caller.
        reportWriteFailure(file, errorDescription(e));
    } catch (...) {
        reportWriteFailure(file, QString());
    }
}

void noteReportedError() {
    ++g_reportedErrors;
}

long lngReportedErrors() {
    return g_reportedErrors;
}

void subReportError(const QString &module, const QString &kind, const QString &procedure,
                    const QString &detail, const HxError &error) {
    noteReportedError();
    const QString prompt =
        QStringLiteral(
            "An error has occurred.  Please notate the following error message for support purposes.") +
        QStringLiteral("\r\n(") + error.description() + QLatin1Char(')');
    MessageBoxFace &face = messageBoxFace();
    face.beep();
    face.show(strAppRegistryName() + QStringLiteral(" Error"), prompt, Buttons::Exclamation, 0);
    subWriteLogEntry(QStringLiteral("E"), module, error.description(), 0, 0, error.number(), procedure, kind,
                     detail);
}

int intShowMessage(const QString &module, const QString &kind, const QString &procedure,
                   const QString &detail, const QString &title, const QString &prompt, long buttons,
                   int helpId) {
    const QString t = title.isEmpty() ? strAppRegistryName() + QStringLiteral(" Message") : title;
    const int b = buttons == 0 ? Buttons::Exclamation : static_cast<int>(buttons);
    const int h = helpId > 0 ? helpId : 0;
    MessageBoxFace &face = messageBoxFace();
    face.beep();
    const int answer = face.show(t, prompt, b, h);
    subWriteLogEntry(QStringLiteral("M"), module, prompt, answer, helpId, 0, procedure, kind, detail);
    return answer;
}

int intReportMessage(const QString &module, const QString &kind, const QString &procedure,
                     const QString &detail, const QString &title, const QString &prompt, long buttons,
                     int helpId) {
    return intShowMessage(module, kind, procedure, detail, title, prompt, buttons, helpId);
}

void subLogNote(const QString &module, const QString &text) {
    if (const LogNoteEcho &echo = noteEcho()) {
        try {
            echo(module, text);
        } catch (...) {
        }
    }
    subWriteLogEntry(QStringLiteral("N"), module, text, 0, 0, 0, QString(), QString(), QString());
}

void reportImportError(const QString &procedure, const QString &step, const QString &description) {
    noteReportedError();
    intReportMessage(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"), procedure, step,
                     QStringLiteral("ERROR"), description, Buttons::OkCancel | Buttons::Information, 0);
}

} // namespace hx
