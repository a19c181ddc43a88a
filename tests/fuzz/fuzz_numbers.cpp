// The lenient number rule: any text must read as a number or raise Overflow,
// and the fast path of the poll fields must agree with the general rule.
#include "FuzzSupport.h"
#include "component/Error.h"
#include "component/Numbers.h"
#include "import/PollLogFormat.h"

#include <cmath>
#include <cstdint>
#include <optional>

using namespace hx;

namespace {
std::optional<double> readOrOverflow(QStringView text, double (*reader)(QStringView)) {
    try {
        return reader(text);
    } catch (const HxError &e) {
        fuzz::check(e.number() == ErrNo::Overflow, "only Overflow may be raised", e.description());
        return std::nullopt;
    }
}

void wholeNumbers(double v) {
    try {
        const int16_t s = toInt16(v);
        fuzz::check(std::fabs(double(s) - v) <= 0.5, "toInt16 rounds to the nearest");
    } catch (const HxError &e) {
        fuzz::check(e.number() == ErrNo::Overflow, "toInt16 raises Overflow");
    }
    try {
        const int32_t l = toInt32(v);
        fuzz::check(std::fabs(double(l) - v) <= 0.5, "toInt32 rounds to the nearest");
    } catch (const HxError &e) {
        fuzz::check(e.number() == ErrNo::Overflow, "toInt32 raises Overflow");
    }
}

void oneText(const QString &text) {
    const auto general = readOrOverflow(text, lenientVal);
    if (general) {
        fuzz::check(!std::isnan(*general), "a number, never NaN", text);
        wholeNumbers(*general);
    }
    // Poll fields are at most ten characters; there the fast path is exact.
    if (text.size() <= 10) {
        const auto fast = readOrOverflow(text, pollNumber);
        fuzz::check(fast.has_value() == general.has_value() && (!fast || *fast == *general),
                    "pollNumber agrees with lenientVal", text);
    }
    // The access result code reads any two characters as hexadecimal.
    if (text.size() >= 2) {
        const int code = accessResultCode(QStringView(text).left(2));
        fuzz::check(code >= 0 && code <= 0xFF, "an access result code is one byte", text);
        (void)accessFailureNumber(QStringView(text).left(2));
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Poll files are single-byte text; other columns come as any Unicode.
    oneText(QString::fromLatin1(bytes));
    oneText(QString::fromUtf8(bytes));
    return 0;
}
