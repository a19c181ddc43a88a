// Date and time text and day counts: every text either parses or not, every
// day count either converts or raises Overflow, and a value written in the
// storage form reads back as itself.
#include "FuzzSupport.h"
#include "component/DateTime.h"
#include "component/Error.h"

#include <cstdint>
#include <cstring>

using namespace hx;

namespace {
template <typename F> bool overflowOrRun(F &&f) {
    try {
        f();
        return true;
    } catch (const HxError &e) {
        fuzz::check(e.number() == ErrNo::Overflow, "day counts raise Overflow only", e.description());
        return false;
    }
}

// Every conversion of a day count; the storage forms must read back.
void everyForm(double v) {
    const bool valid = overflowOrRun([&] {
        (void)toQDate(v);
        (void)toQTime(v);
        (void)datePart(v);
        (void)timePart(v);
        (void)weekday(v);
        (void)year(v);
        (void)toSeconds(v);
        (void)dateDiffDays(v, 0.0);
        (void)dateDiffMinutes(0.0, v);
        (void)formatMmDdYyyy(v);
        (void)formatLogTime(v);
        (void)formatPollDate(v);
        (void)formatSortKey(v);
        (void)formatShortTime(v);
        (void)formatGeneralDate(v);
    });
    if (!valid) return;
    QString stored;
    if (!overflowOrRun([&] { stored = formatIsoDateTime(v); })) return;
    const auto back = parseDateTime(stored);
    fuzz::check(back.has_value(), "a stored date-time parses", stored);
    fuzz::check(formatIsoDateTime(*back) == stored, "a stored date-time reads back as itself", stored);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // As text of the data.
    const QString text = QString::fromUtf8(bytes);
    if (const auto v = parseDateTime(text)) {
        fuzz::check(isValidSerial(*v), "parsed values are valid days", text);
        everyForm(*v);
    }
    // As a raw day count, NaN and the infinities included.
    if (size >= sizeof(double)) {
        double v;
        std::memcpy(&v, data, sizeof v);
        everyForm(v);
    }
    // As the three numbers of a date and of a time, rolled over.
    if (size >= 12) {
        int32_t n[3];
        std::memcpy(n, data, sizeof n);
        double d = 0;
        if (overflowOrRun([&] { d = dateSerial(n[0], n[1], n[2]); })) {
            fuzz::check(isValidSerial(d), "dateSerial gives valid days");
            everyForm(d);
        }
        const int16_t h = int16_t(n[0]), mi = int16_t(n[1]), s = int16_t(n[2]);
        everyForm(timeSerial(h, mi, s));
    }
    return 0;
}
