// A poll log file: the line reader, the kinds of line and the decoding of
// every record into a poll log entry against a small site in SQLite. The
// first bytes of an input choose the badge length, the field formats and the
// moment of the clock, the rest is the file.
#include "FuzzSupport.h"
#include "component/Clock.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Error.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "import/PollLogEntry.h"
#include "import/PollLogFormat.h"
#include "import/PollLogRecordset.h"
#include "import/PrevPunchRegister.h"
#include "rules/clsTCrules.h"

#include <QBuffer>
#include <cstdint>

using namespace hx;

namespace {
const char *const kMoments[] = {
    "2007-04-26 17:17:00", "2007-01-15 08:00:00", "9999-12-31 23:59:59", "0100-01-01 00:00:00",
    "1899-12-30 00:00:00", "2024-02-29 12:00:00", "1900-03-01 06:00:00", "2038-01-19 03:14:08",
};

void setUpSite() {
    fuzz::useScratchFolders();
    const QString dbPath = QDir(fuzz::scratch().path()).filePath(QStringLiteral("site.db"));
    gConn = Database::open(ConnectionSpec::forSqliteFile(dbPath));
    createSchema(*gConn);
    Database &db = *gConn;
    db.execute(
        QStringLiteral(R"(INSERT INTO "DEPT" ("DEPT ID", "DEPT NAME", "DATAFLDEN") VALUES (1, 'Dock', 1))"));
    db.execute(QStringLiteral(R"(INSERT INTO "DEPT" ("DEPT ID", "DEPT NAME") VALUES (2, 'Office'))"));
    db.execute(QStringLiteral(
        R"(INSERT INTO "EMPLOYEE" ("EMPLOYEE ID", "CLOCK ID", "NEWBADGE", "AccessControl") VALUES (7, 1234, 0, 'yes'))"));
    db.execute(QStringLiteral(
        R"(INSERT INTO "EMPLOYEE" ("EMPLOYEE ID", "CLOCK ID", "NEWBADGE", "AccessControl") VALUES (8, 99, 4321, 'ONLY'))"));
    db.execute(QStringLiteral(R"(INSERT INTO "CLOCK" ("CLOCK NUMBER", "AccessOnly") VALUES (2, 1))"));
    gTCRules = std::make_unique<clsTCrules>();
    gTCRules->ReadValues();
}

void checkLineReader(const QByteArray &file, qsizetype keep) {
    QBuffer device;
    device.setData(file);
    device.open(QIODevice::ReadOnly);
    PollLineReader reader(device, keep);
    PollLine line;
    qint64 lines = 0, characters = 0;
    while (reader.readLine(line)) {
        ++lines;
        characters += line.length;
        fuzz::check(line.bytes.size() <= keep && line.bytes.size() <= line.length,
                    "a line keeps what it may");
        fuzz::check(!line.bytes.contains('\r'), "a carriage return always ends a line");
        fuzz::check(!pollLineDetail(line).contains(QLatin1Char('\n')), "a report detail stays on its line");
    }
    fuzz::check(characters <= file.size() && characters + file.count('\r') >= file.size() - file.count('\n'),
                "every byte is a character or a line end");
    reader.rewind();
    fuzz::check(reader.countLines() == lines, "counting gives as many lines as reading");
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    setUpSite();
    // The connection must close before the application object goes.
    std::atexit([] {
        gTCRules.reset();
        gConn.reset();
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    clsTCrules &r = rules();
    r.intIdDigits = int16_t(data[0] % 12); // 11 is beyond the record: every record fails, as it should
    r.intDatafldFormat = int16_t(data[1] & 7);
    r.intTaskFormat = int16_t((data[1] >> 3) & 7);
    Clock::setFixedFromText(QString::fromLatin1(kMoments[data[2] % std::size(kMoments)]));
    const int16_t clock = int16_t((data[1] >> 6) & 3);
    const QByteArray file(reinterpret_cast<const char *>(data) + 3, qsizetype(size) - 3);

    checkLineReader(file, PollLineReader::kDefaultKeep);
    checkLineReader(file, 7);

    fuzz::trimLog();
    rsPrevPunch.openEmpty();
    CreatePollLogRecordset();
    gPollFileLookups.open(*gConn);
    QBuffer device;
    device.setData(file);
    device.open(QIODevice::ReadOnly);
    PollLineReader reader(device);
    PollLine line;
    bool first = true;
    qint64 records = 0;
    while (reader.readLine(line)) {
        const PollLineKind kind = classifyPollLine(line, first);
        if (first && kind == PollLineKind::Abort) break;
        first = false;
        if (kind != PollLineKind::Record) continue;
        ++records;
        const QString text = pollLineText(line);
        // Errors of a record are reported and the record is given up;
        // nothing may escape but the failure of the recordset itself.
        ProcessPollLogEntry(text, clock, true);
        (void)pollClockNumber(text);
    }
    fuzz::check(rsPollLog.recordCount() <= records, "at most one entry per record");
    PollLogEntry e;
    for (auto cursor = rsPollLog.walk(); cursor.next(e);) {
        fuzz::check(isValidSerial(e.PunchDate) && isValidSerial(e.PunchTime), "entries hold valid days");
        fuzz::check(e.PunchType >= 0 && e.PunchType <= 3, "a punch type is 0 to 3");
    }
    gPollFileLookups.close();
    rsPollLog.close();
    rsPrevPunch.close();
    return 0;
}
