// The register file of an earlier version, as the one-time move into the
// database reads it: any file either reads or is refused as damaged, and a
// file that reads gives rows a register can hold, each listed once.
#include "FuzzSupport.h"
#include "component/DateTime.h"
#include "component/Error.h"
#include "import/PrevPunchRegister.h"

#include <QDateTime>
#include <QFile>
#include <cstdint>

using namespace hx;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A folder per run, emptied after: damaged files are set aside beside the register.
    QDir folder(fuzz::scratch().path());
    folder.mkpath(QStringLiteral("reg"));
    folder.cd(QStringLiteral("reg"));
    const QString path = folder.filePath(QStringLiteral("PrevPunch.xml"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) fuzz::fail("cannot write the register");
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    PrevPunchRegister reg;
    bool read = true;
    try {
        reg.readFile(path);
    } catch (const PrevPunchRegister::Damaged &) {
        read = false;
    } catch (const HxError &e) {
        fuzz::fail("a file that exists opens", e.description());
    }
    fuzz::check(reg.isOpen() == read, "a file that reads opens the register");
    if (read) {
        fuzz::check(reg.newRowCount() == reg.rowCount(), "every row read is new to the table");
        for (qsizetype i = 0; i < reg.rowCount(); ++i) {
            const auto r = reg.row(i);
            fuzz::check(r.sequence.size() <= PrevPunchRegister::kSequenceSize &&
                            r.checksum.size() <= PrevPunchRegister::kChecksumSize,
                        "texts fit the table");
            fuzz::check(reg.checkMoment(r.moment, r.sequence, r.checksum), "a row read is listed once");
        }
        // Asking twice for one record: listed the first time, known the second.
        const double date = dateSerial(2007, 4, 26), time = timeSerial(8, 0, 0);
        const bool before = reg.contains(date, time, u"0001", u"AB");
        fuzz::check(reg.check(date, time, u"0001", u"AB") == before, "check answers as contains");
        fuzz::check(reg.check(date, time, u"0001", u"AB"), "a checked record is listed");
    }
    reg.close();
    folder.removeRecursively();
    return 0;
}
