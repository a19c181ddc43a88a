#include "import/PollLogRecordset.h"

#include "component/Error.h"
#include "import/PrevPunchRegister.h"
#include "messages/LogFiles.h"

#include <QDir>

namespace hx {

PollLogRecordset rsPollLog;

namespace {
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;

QDataStream &operator<<(QDataStream &out, const PollLogEntry &e) {
    out << e.Clock << e.Badge << e.Employee << e.PunchDate << e.PunchTime << e.InOut << e.DeptNum
        << e.DeptName << e.DataFieldEnter << e.Job << e.Task << e.PunchType << e.Overide << e.Excused
        << e.Edited << e.AccessControl << e.TimeAndAttend << e.AccessSequence << e.AccessType
        << e.AccessFailString;
    return out;
}

QDataStream &operator>>(QDataStream &in, PollLogEntry &e) {
    in >> e.Clock >> e.Badge >> e.Employee >> e.PunchDate >> e.PunchTime >> e.InOut >> e.DeptNum >>
        e.DeptName >> e.DataFieldEnter >> e.Job >> e.Task >> e.PunchType >> e.Overide >> e.Excused >>
        e.Edited >> e.AccessControl >> e.TimeAndAttend >> e.AccessSequence >> e.AccessType >>
        e.AccessFailString;
    return in;
}

PollLogStoreError storeError(const QString &what, const QFileDevice &file) {
    return PollLogStoreError(
        QStringLiteral("The entries of the poll log file cannot be %1 the temporary file "
                       "%2 (%3).")
            .arg(what, QDir::toNativeSeparators(file.fileName()), file.errorString()),
        ErrNo::PathNotFound);
}
} // namespace

PollLogRecordset::PollLogRecordset(qsizetype rowsInMemory) : m_rowsInMemory(rowsInMemory) {}

PollLogRecordset::~PollLogRecordset() = default;

void PollLogRecordset::open() {
    close();
    m_open = true;
}

void PollLogRecordset::close() {
    m_open = false;
    m_count = 0;
    std::vector<PollLogEntry>().swap(m_rows);
    m_out.reset();
    m_overflow.reset();
}

void PollLogRecordset::addNew(PollLogEntry entry) {
    if (!m_open) throw HxError(QStringLiteral("Operation is not allowed when the object is closed."), 3704);
    if (qsizetype(m_rows.size()) < m_rowsInMemory) {
        m_rows.push_back(std::move(entry));
        ++m_count;
        return;
    }
    if (!m_overflow) {
        auto file =
            std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("hxpolllog-XXXXXX.tmp")));
        if (!file->open()) throw storeError(QStringLiteral("written to"), *file);
        m_out = std::make_unique<QDataStream>(file.get());
        m_out->setVersion(kStreamVersion);
        m_overflow = std::move(file);
    }
    *m_out << entry;
    if (m_out->status() != QDataStream::Ok || m_overflow->error() != QFileDevice::NoError)
        throw storeError(QStringLiteral("written to"), *m_overflow);
    ++m_count;
}

PollLogRecordset::Cursor PollLogRecordset::walk() const {
    Cursor c;
    c.m_rs = this;
    if (m_overflow) {
        if (!m_overflow->flush()) throw storeError(QStringLiteral("written to"), *m_overflow);
        c.m_file = std::make_unique<QFile>(m_overflow->fileName());
        if (!c.m_file->open(QIODevice::ReadOnly)) throw storeError(QStringLiteral("read from"), *c.m_file);
        c.m_in = std::make_unique<QDataStream>(c.m_file.get());
        c.m_in->setVersion(kStreamVersion);
    }
    return c;
}

bool PollLogRecordset::Cursor::next(PollLogEntry &entry) {
    if (!m_rs || m_index >= m_rs->m_count) return false;
    if (m_index < qsizetype(m_rs->m_rows.size())) {
        entry = m_rs->m_rows[size_t(m_index++)];
        return true;
    }
    *m_in >> entry;
    if (m_in->status() != QDataStream::Ok) throw storeError(QStringLiteral("read from"), *m_file);
    ++m_index;
    return true;
}

bool blnHasRecords(const PollLogRecordset &rs) {
    return rs.isOpen() && rs.recordCount() > 0;
}

void CreatePollLogRecordset() {
    rsPollLog.close();
    try {
        OpenPrevPunch();
    } catch (const HxError &e) {
        rethrowIfFatal(e);
        subReportError(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"),
                       QStringLiteral("CreatePollLogRecordset"), QString(), e);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        subReportError(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"),
                       QStringLiteral("CreatePollLogRecordset"), QString(),
                       HxError(QString::fromLocal8Bit(e.what())));
    }
    rsPollLog.open();
}

} // namespace hx
