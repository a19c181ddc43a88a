// The previous-punch register file: any file either opens or is set aside
// with an error; a register that opened saves and reopens to the same rows.
#include "FuzzSupport.h"
#include "component/DateTime.h"
#include "component/Error.h"
#include "import/PrevPunchRegister.h"

#include <QDateTime>
#include <QFile>
#include <cstdint>

using namespace hx;

namespace {
bool sameRows(const PrevPunchRegister &a, const PrevPunchRegister &b) {
    if (a.rowCount() != b.rowCount()) return false;
    for (qsizetype i = 0; i < a.rowCount(); ++i) {
        const auto ra = a.row(i), rb = b.row(i);
        if (ra.sequence != rb.sequence || ra.moment != rb.moment || ra.checksum != rb.checksum) return false;
    }
    return true;
}
} // namespace

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
    const QDateTime now(QDate(2007, 4, 26), QTime(17, 17));

    PrevPunchRegister reg;
    bool opened = true;
    try {
        reg.open(path, now);
    } catch (const HxError &) {
        opened = false;
    }
    fuzz::check(reg.isOpen() || !opened, "a register that opened is open");
    if (opened) {
        // Asking twice for one record: listed the first time, known the second.
        const double date = dateSerial(2007, 4, 26), time = timeSerial(8, 0, 0);
        const bool before = reg.contains(date, time, u"0001", u"AB");
        fuzz::check(reg.check(date, time, u"0001", u"AB") == before, "check answers as contains");
        fuzz::check(reg.check(date, time, u"0001", u"AB"), "a checked record is listed");
        try {
            reg.save();
        } catch (const HxError &e) {
            fuzz::fail("a register that opened saves", e.description());
        }
        PrevPunchRegister again;
        try {
            again.open(path, now);
        } catch (const HxError &e) {
            fuzz::fail("a saved register opens", e.description());
        }
        fuzz::check(sameRows(reg, again), "a saved register reopens to the same rows");
    }
    reg.close();
    folder.removeRecursively();
    return 0;
}
