#include "import/PollLogRecordset.h"

#include "component/Error.h"
#include "import/PrevPunchRegister.h"
#include "messages/LogFiles.h"

namespace hx {

PollLogRecordset rsPollLog;

void PollLogRecordset::open() {
    m_rows.clear();
    m_open = true;
}

void PollLogRecordset::close() {
    m_open = false;
    std::deque<PollLogEntry>().swap(m_rows);
}

void PollLogRecordset::addNew(PollLogEntry entry) {
    if (!m_open)
        throw HxError(QStringLiteral("Operation is not allowed when the object is closed."), 3704);
    m_rows.push_back(std::move(entry));
}

bool blnHasRecords(const PollLogRecordset &rs) {
    return rs.isOpen() && rs.recordCount() > 0;
}

void CreatePollLogRecordset() {
    rsPollLog.close();
    try {
        OpenPrevPunch();
    } catch (const HxError &e) {
        subReportError(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"),
                       QStringLiteral("CreatePollLogRecordset"), QString(), e);
    } catch (const std::exception &e) {
        subReportError(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"),
                       QStringLiteral("CreatePollLogRecordset"), QString(),
                       HxError(QString::fromLocal8Bit(e.what())));
    }
    rsPollLog.open();
}

} // namespace hx
