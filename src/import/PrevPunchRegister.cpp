#include "import/PrevPunchRegister.h"

#include "component/Clock.h"
#include "component/CrashHook.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Error.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace hx {

PrevPunchRegister rsPrevPunch;

namespace {
const QDate kDayZero(1899, 12, 30);
constexpr qint64 kSecondsPerDayInt = 86400;
const QString kRoot = QStringLiteral("PrevPunch");
const QString kRowElement = QStringLiteral("Punch");
const QString kVersion = QStringLiteral("1");
const QString kCommitAttribute = QStringLiteral("commit");
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

// After a rename the folder entry itself must reach the disk too.
void syncFolderOf(const QString &file) {
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A register file that parses but is not a register, or does not parse.
struct Damaged {
    QString reason;
};

qint64 secondsOf(const QDateTime &moment) {
    return kDayZero.daysTo(moment.date()) * kSecondsPerDayInt + moment.time().msecsSinceStartOfDay() / 1000;
}

qint64 floorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

QString momentText(qint64 seconds) {
    const qint64 days = floorDiv(seconds, kSecondsPerDayInt);
    const int secs = int(seconds - days * kSecondsPerDayInt);
    const QDate d = kDayZero.addDays(days);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", d.year(), d.month(), d.day(), secs / 3600,
                  (secs / 60) % 60, secs % 60);
    return QString::fromLatin1(buf);
}

// "YYYY-MM-DDTHH:MM:SS" (a blank instead of the "T" is taken too).
std::optional<qint64> parseMoment(QStringView s) {
    if (s.size() != 19 || s[4] != u'-' || s[7] != u'-' || (s[10] != u'T' && s[10] != u' ') || s[13] != u':' ||
        s[16] != u':')
        return std::nullopt;
    const int y = decimalDigits(s, 0, 4), mo = decimalDigits(s, 5, 2), d = decimalDigits(s, 8, 2);
    const int h = decimalDigits(s, 11, 2), mi = decimalDigits(s, 14, 2), se = decimalDigits(s, 17, 2);
    if (y < 0 || mo < 0 || d < 0 || h < 0 || h > 23 || mi < 0 || mi > 59 || se < 0 || se > 59)
        return std::nullopt;
    const QDate date(y, mo, d);
    if (!date.isValid()) return std::nullopt;
    return kDayZero.daysTo(date) * kSecondsPerDayInt + h * 3600 + mi * 60 + se;
}

// XML 1.0 cannot carry control characters even as references; such a text is
// written in hexadecimal.
bool xmlSafe(QStringView s) {
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() >= 0xD800) return false;
    return true;
}

QString toHex(QStringView s) {
    QString out;
    out.reserve(s.size() * 4);
    for (QChar c : s)
        out += QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return out;
}

std::optional<QString> fromHex(QStringView s) {
    if (s.size() % 4 != 0) return std::nullopt;
    QString out;
    for (qsizetype i = 0; i < s.size(); i += 4) {
        bool ok = false;
        const uint v = s.mid(i, 4).toUInt(&ok, 16);
        if (!ok) return std::nullopt;
        out += QChar(char16_t(v));
    }
    return out;
}

void writeText(QXmlStreamWriter &w, const QString &name, const QString &value) {
    if (xmlSafe(value))
        w.writeAttribute(name, value);
    else
        w.writeAttribute(name + QStringLiteral("Hex"), toHex(value));
}

QString readText(const QXmlStreamAttributes &attrs, const QString &name, qsizetype maxSize, qint64 line) {
    const auto at = [&](const QString &why) {
        return Damaged{QStringLiteral("line %1: %2").arg(line).arg(why)};
    };
    QString value;
    if (attrs.hasAttribute(name)) {
        value = attrs.value(name).toString();
    } else if (attrs.hasAttribute(name + QStringLiteral("Hex"))) {
        auto decoded = fromHex(attrs.value(name + QStringLiteral("Hex")));
        if (!decoded) throw at(QStringLiteral("%1Hex is not hexadecimal text").arg(name));
        value = *decoded;
    } else {
        throw at(QStringLiteral("a row has no %1").arg(name));
    }
    if (value.size() > maxSize)
        throw at(QStringLiteral("%1 \"%2\" is longer than %3 characters").arg(name, value).arg(maxSize));
    return value;
}

QString asideName(const QString &path, const QDateTime &now) {
    const QFileInfo fi(path);
    const QString stem = fi.dir().filePath(fi.completeBaseName() + QStringLiteral("-damaged-") +
                                           now.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString suffix = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
    QString candidate = stem + suffix;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = stem + QLatin1Char('-') + QString::number(n) + suffix;
    return candidate;
}

// The register as this program writes it, for the common case of rows whose
// texts are printable ASCII that XML takes as it stands: read and written a
// line at a time without the general XML machinery, byte for byte what
// QXmlStreamWriter writes. Anything else goes through the general path.
const QByteArray kXmlDeclaration = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
const QByteArray kRootOpen = QByteArrayLiteral("<PrevPunch version=\"1\"");
const QByteArray kRootClose = QByteArrayLiteral("</PrevPunch>\n");
const QByteArray kRowSequence = QByteArrayLiteral(" <Punch Sequence=\"");
const QByteArray kRowDate = QByteArrayLiteral("\" PunchDate=\"");
const QByteArray kRowChecksum = QByteArrayLiteral("\" Checksum=\"");
const QByteArray kRowEnd = QByteArrayLiteral("\"/>\n");

bool plainChar(char16_t c) {
    return c >= 0x20 && c < 0x7F && c != u'"' && c != u'&' && c != u'<' && c != u'>';
}

bool plainText(const char16_t *p, int n) {
    for (int i = 0; i < n; ++i)
        if (!plainChar(p[i])) return false;
    return true;
}

// "YYYY-MM-DDTHH:MM:SS" of a moment of a year 0 to 9999 into p; false otherwise.
bool putMoment(char *p, qint64 seconds) {
    const qint64 days = floorDiv(seconds, kSecondsPerDayInt);
    const int secs = int(seconds - days * kSecondsPerDayInt);
    int y = 0, m = 0, d = 0;
    kDayZero.addDays(days).getDate(&y, &m, &d);
    if (y < 0 || y > 9999) return false;
    const auto put = [](char *at, int v, int n) {
        for (int i = n - 1; i >= 0; --i, v /= 10)
            at[i] = char('0' + v % 10);
    };
    put(p, y, 4);
    p[4] = '-';
    put(p + 5, m, 2);
    p[7] = '-';
    put(p + 8, d, 2);
    p[10] = 'T';
    put(p + 11, secs / 3600, 2);
    p[13] = ':';
    put(p + 14, (secs / 60) % 60, 2);
    p[16] = ':';
    put(p + 17, secs % 60, 2);
    return true;
}

// The text of a row's attribute at p up to the closing quote, if plain and
// at most max characters; advances p past it.
bool takePlain(const char *&p, const char *end, int max, char16_t *out, uint8_t &length) {
    int n = 0;
    while (p < end && *p != '"') {
        if (n == max || !plainChar(char16_t(uchar(*p)))) return false;
        out[n++] = char16_t(uchar(*p++));
    }
    length = uint8_t(n);
    return p < end;
}

bool takeLiteral(const char *&p, const char *end, const QByteArray &literal) {
    if (end - p < literal.size() || std::memcmp(p, literal.constData(), size_t(literal.size())) != 0)
        return false;
    p += literal.size();
    return true;
}

uint64_t mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}
} // namespace

// ---------------------------------------------------------------- keys and index

bool PrevPunchRegister::Key::operator==(const Key &o) const {
    return moment == o.moment && sequenceLength == o.sequenceLength && checksumLength == o.checksumLength &&
           std::equal(std::begin(sequence), std::end(sequence), std::begin(o.sequence)) &&
           std::equal(std::begin(checksum), std::end(checksum), std::begin(o.checksum));
}

PrevPunchRegister::Key PrevPunchRegister::makeKey(qint64 moment, QStringView sequence, QStringView checksum) {
    if (sequence.size() > kSequenceSize)
        throw HxError(QStringLiteral("The sequence \"%1\" is longer than %2 characters.")
                          .arg(sequence.toString())
                          .arg(kSequenceSize));
    if (checksum.size() > kChecksumSize)
        throw HxError(QStringLiteral("The check characters \"%1\" are longer than %2 characters.")
                          .arg(checksum.toString())
                          .arg(kChecksumSize));
    Key k;
    k.moment = moment;
    k.sequenceLength = uint8_t(sequence.size());
    k.checksumLength = uint8_t(checksum.size());
    std::copy(sequence.utf16(), sequence.utf16() + sequence.size(), k.sequence);
    std::copy(checksum.utf16(), checksum.utf16() + checksum.size(), k.checksum);
    return k;
}

uint64_t PrevPunchRegister::hashOf(const Key &k) {
    uint64_t s = 0;
    for (int i = 0; i < kSequenceSize; ++i)
        s |= uint64_t(k.sequence[i]) << (16 * i);
    const uint64_t c = uint64_t(k.checksum[0]) | uint64_t(k.checksum[1]) << 16 |
                       uint64_t(k.sequenceLength) << 32 | uint64_t(k.checksumLength) << 40;
    return mix(uint64_t(k.moment) ^ mix(s ^ mix(c)));
}

qsizetype PrevPunchRegister::find(const Key &key) const {
    if (m_slots.empty()) return -1;
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hashOf(key) & mask; m_slots[i] != 0; i = (i + 1) & mask)
        if (m_rows[m_slots[i] - 1] == key) return qsizetype(m_slots[i] - 1);
    return -1;
}

void PrevPunchRegister::rebuildIndex(size_t capacity) {
    m_slots.assign(capacity, 0);
    const size_t mask = capacity - 1;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        size_t i = hashOf(m_rows[r]) & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = uint32_t(r + 1);
    }
}

void PrevPunchRegister::append(const Key &key) {
    if ((m_rows.size() + 1) * 2 > m_slots.size()) rebuildIndex(std::max<size_t>(16, m_slots.size() * 2));
    m_rows.push_back(key);
    const size_t mask = m_slots.size() - 1;
    size_t i = hashOf(key) & mask;
    while (m_slots[i] != 0)
        i = (i + 1) & mask;
    m_slots[i] = uint32_t(m_rows.size());
}

qint64 PrevPunchRegister::listedMoment(double date, double time) {
    return qint64(datePart(date)) * kSecondsPerDayInt + toSeconds(timePart(time));
}

PrevPunchRegister::Row PrevPunchRegister::row(qsizetype i) const {
    const Key &k = m_rows[size_t(i)];
    return Row{QString(reinterpret_cast<const QChar *>(k.sequence), k.sequenceLength), k.moment,
               QString(reinterpret_cast<const QChar *>(k.checksum), k.checksumLength)};
}

// ---------------------------------------------------------------- open, check, save

void PrevPunchRegister::close() {
    m_open = false;
    std::vector<Key>().swap(m_rows);
    std::vector<uint32_t>().swap(m_slots);
}

void PrevPunchRegister::openEmpty(const QString &path) {
    close();
    m_path = path;
    m_open = true;
}

bool PrevPunchRegister::readPlainFile(QFile &f) {
    QByteArray line(256, Qt::Uninitialized);
    const auto next = [&]() -> qint64 { return f.readLine(line.data(), line.size()); };
    qint64 n = next();
    if (n != kXmlDeclaration.size() ||
        std::memcmp(line.constData(), kXmlDeclaration.constData(), size_t(n)) != 0)
        return false;
    n = next();
    if (n < kRootOpen.size() + 2 ||
        std::memcmp(line.constData(), kRootOpen.constData(), size_t(kRootOpen.size())) != 0)
        return false;
    {
        // The root's attributes after the version: none, or the commit token.
        const QByteArray rest =
            QByteArray::fromRawData(line.constData() + kRootOpen.size(), n - kRootOpen.size());
        if (rest != ">\n") {
            if (!rest.startsWith(" commit=\"") || !rest.endsWith("\">\n")) return false;
            for (qsizetype i = 9; i < rest.size() - 3; ++i)
                if (!plainChar(char16_t(uchar(rest[i])))) return false;
        }
    }
    while ((n = next()) > 0) {
        const char *p = line.constData();
        const char *end = p + n;
        if (n == kRootClose.size() && std::memcmp(p, kRootClose.constData(), size_t(n)) == 0)
            return f.atEnd();
        Key k;
        if (!takeLiteral(p, end, kRowSequence) ||
            !takePlain(p, end, kSequenceSize, k.sequence, k.sequenceLength) ||
            !takeLiteral(p, end, kRowDate) || end - p < 19)
            return false;
        const auto moment = parseMoment(QString::fromLatin1(p, 19));
        p += 19;
        if (!moment || !takeLiteral(p, end, kRowChecksum) ||
            !takePlain(p, end, kChecksumSize, k.checksum, k.checksumLength) ||
            !takeLiteral(p, end, kRowEnd) || p != end)
            return false;
        k.moment = *moment;
        m_rows.push_back(k);
    }
    return false;
}

bool PrevPunchRegister::writePlainFile(QFile &f, const QString &commitToken, bool *shortWrite) const {
    if (m_rows.empty()) return false;
    for (const QChar c : commitToken)
        if (!plainChar(c.unicode())) return false;
    for (const Key &k : m_rows)
        if (!plainText(k.sequence, k.sequenceLength) || !plainText(k.checksum, k.checksumLength))
            return false;
    QByteArray out;
    out.reserve(1 << 20);
    out += kXmlDeclaration;
    out += kRootOpen;
    if (!commitToken.isEmpty()) out += " commit=\"" + commitToken.toLatin1() + '"';
    out += ">\n";
    char moment[19];
    for (const Key &k : m_rows) {
        if (!putMoment(moment, k.moment)) return false;
        out += kRowSequence;
        for (int i = 0; i < k.sequenceLength; ++i)
            out += char(k.sequence[i]);
        out += kRowDate;
        out.append(moment, sizeof moment);
        out += kRowChecksum;
        for (int i = 0; i < k.checksumLength; ++i)
            out += char(k.checksum[i]);
        out += kRowEnd;
        if (out.size() >= (1 << 20) - 128) {
            if (f.write(out) != out.size()) {
                *shortWrite = true;
                return true;
            }
            out.clear();
        }
    }
    out += kRootClose;
    if (f.write(out) != out.size()) *shortWrite = true;
    return true;
}

void PrevPunchRegister::readFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw HxError(
            QStringLiteral("The previous-punch register %1 cannot be opened (%2). It is left as it is "
                           "and not used for this import.")
                .arg(QDir::toNativeSeparators(path), f.errorString()),
            f.error() == QFileDevice::PermissionsError ? ErrNo::PermissionDenied : ErrNo::PathNotFound);
    // A year of punches of a large site is a few hundred megabytes; a file
    // far beyond that is a runaway or a sparse file, not a register, and is
    // not read into memory.
    if (f.size() > kMaxFileBytes)
        throw Damaged{QStringLiteral("the file holds %1 bytes, more than a register can").arg(f.size())};
    // A row takes some 70 bytes in the file; reserving spares the copies of
    // a growing table.
    m_rows.reserve(size_t(f.size() / 64));
    if (readPlainFile(f)) return;
    m_rows.clear();
    if (!f.seek(0))
        throw HxError(QStringLiteral("The previous-punch register %1 cannot be read (%2).")
                          .arg(QDir::toNativeSeparators(path), f.errorString()),
                      ErrNo::PathNotFound);
    QXmlStreamReader xml(&f);
    const auto damaged = [&](const QString &why) {
        return Damaged{QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(why)};
    };
    if (!xml.readNextStartElement())
        throw damaged(xml.hasError() ? xml.errorString() : QStringLiteral("the file holds no XML element"));
    if (xml.name() != kRoot)
        throw damaged(QStringLiteral("the document is <%1>, not <%2>").arg(xml.name().toString(), kRoot));
    const QXmlStreamAttributes rootAttrs = xml.attributes();
    const QStringView version = rootAttrs.value(QStringLiteral("version"));
    if (!version.isEmpty() && version != kVersion)
        throw damaged(QStringLiteral("version %1 is not known").arg(version.toString()));

    const QString sequenceName = QStringLiteral("Sequence");
    const QString dateName = QStringLiteral("PunchDate");
    const QString checksumName = QStringLiteral("Checksum");
    while (xml.readNextStartElement()) {
        if (xml.name() != kRowElement)
            throw damaged(QStringLiteral("unexpected element <%1>").arg(xml.name().toString()));
        const QXmlStreamAttributes attrs = xml.attributes();
        const qint64 line = xml.lineNumber();
        const QString sequence = readText(attrs, sequenceName, kSequenceSize, line);
        const QString checksum = readText(attrs, checksumName, kChecksumSize, line);
        const auto moment = parseMoment(attrs.value(dateName));
        if (!moment)
            throw damaged(QStringLiteral("PunchDate \"%1\" is not a date and time")
                              .arg(attrs.value(dateName).toString()));
        m_rows.push_back(makeKey(*moment, sequence, checksum));
        xml.skipCurrentElement();
    }
    while (!xml.hasError() && !xml.atEnd())
        xml.readNext();
    if (xml.hasError()) throw damaged(xml.errorString());
}

void PrevPunchRegister::open(const QString &path, const QDateTime &now) {
    close();
    m_path = path;
    const QFileInfo fi(path);
    if (!fi.exists()) {
        openEmpty(path);
        return;
    }
    if (fi.isDir())
        throw HxError(
            QStringLiteral("The previous-punch register %1 is a folder, not a file; the register is not "
                           "used for this import.")
                .arg(QDir::toNativeSeparators(path)),
            ErrNo::PathNotFound);
    try {
        readFile(path);
    } catch (const Damaged &d) {
        close();
        m_path = path;
        const QString aside = asideName(path, now);
        QFile file(path);
        if (file.rename(aside)) {
            openEmpty(path);
            throw HxError(
                QStringLiteral("The previous-punch register %1 cannot be read (%2). It was kept as %3 "
                               "and a new, empty register is started.")
                    .arg(QDir::toNativeSeparators(path), d.reason, QDir::toNativeSeparators(aside)));
        }
        throw HxError(
            QStringLiteral("The previous-punch register %1 cannot be read (%2) and cannot be kept aside "
                           "as %3 (%4). It is left as it is and not used for this import.")
                .arg(QDir::toNativeSeparators(path), d.reason, QDir::toNativeSeparators(aside),
                     file.errorString()));
    } catch (...) {
        close();
        throw;
    }

    // Rows listed one year ago to the second, or earlier, are dropped.
    const qint64 cutoff = secondsOf(now.addYears(-1));
    m_rows.erase(
        std::remove_if(m_rows.begin(), m_rows.end(), [&](const Key &k) { return k.moment <= cutoff; }),
        m_rows.end());
    // Room for half as many new rows again before the index must grow.
    rebuildIndex(std::bit_ceil(std::max<size_t>(16, m_rows.size() * 3)));
    m_open = true;
}

bool PrevPunchRegister::contains(double date, double time, QStringView sequence, QStringView checksum) const {
    if (!m_open) return false;
    return find(makeKey(listedMoment(date, time), sequence, checksum)) >= 0;
}

bool PrevPunchRegister::check(double date, double time, QStringView sequence, QStringView checksum) {
    if (!m_open) return false;
    const Key key = makeKey(listedMoment(date, time), sequence, checksum);
    if (find(key) >= 0) return true;
    append(key);
    return false;
}

void PrevPunchRegister::writeGeneralFile(QXmlStreamWriter &w, const QString &commitToken) const {
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(1);
    w.writeStartDocument();
    w.writeStartElement(kRoot);
    w.writeAttribute(QStringLiteral("version"), kVersion);
    if (!commitToken.isEmpty()) w.writeAttribute(kCommitAttribute, commitToken);
    const QString sequenceName = QStringLiteral("Sequence");
    const QString dateName = QStringLiteral("PunchDate");
    const QString checksumName = QStringLiteral("Checksum");
    for (qsizetype i = 0; i < rowCount(); ++i) {
        const Row r = row(i);
        w.writeEmptyElement(kRowElement);
        writeText(w, sequenceName, r.sequence);
        w.writeAttribute(dateName, momentText(r.moment));
        writeText(w, checksumName, r.checksum);
    }
    w.writeEndElement();
    w.writeEndDocument();
}

void PrevPunchRegister::writeFile(const QString &file, const QString &commitToken) const {
    const auto failed = [&](const QString &why) {
        return HxError(
            QStringLiteral("The previous-punch register %1 cannot be saved (%2). The register as it was "
                           "before this import is kept.")
                .arg(QDir::toNativeSeparators(m_path), why),
            ErrNo::PathNotFound);
    };
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw failed(f.errorString());
    // A write the file takes only in part (a size limit) sets no error on
    // the file: it is counted here.
    bool shortWrite = false;
    const bool plain = writePlainFile(f, commitToken, &shortWrite);
    const QString shortWhy = QString::fromLocal8Bit(std::strerror(errno));
    if (shortWrite) {
        f.close();
        QFile::remove(file);
        throw failed(shortWhy);
    }
    QXmlStreamWriter w(&f);
    if (plain) {
        // Written already.
    } else {
        if (!f.seek(0) || !f.resize(0)) throw failed(f.errorString());
        writeGeneralFile(w, commitToken);
    }
    // Every byte must be on the disk before the file may replace the old
    // one: the last flush and the sync are where a full disk shows.
    const bool written = !w.hasError() && f.error() == QFileDevice::NoError && f.flush();
    const QString why = f.errorString();
    const bool synced = written && ::fsync(f.handle()) == 0;
    const QString syncWhy = QString::fromLocal8Bit(std::strerror(errno));
    f.close();
    if (!written || !synced || f.error() != QFileDevice::NoError) {
        QFile::remove(file);
        throw failed(!written ? why : !synced ? syncWhy : f.errorString());
    }
}

void PrevPunchRegister::replaceWith(const QString &written) const {
    crashPoint();
    if (::rename(QFile::encodeName(written).constData(), QFile::encodeName(m_path).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(written);
        throw HxError(QStringLiteral("The previous-punch register %1 cannot be saved (%2). The register as "
                                     "it was before this import is kept.")
                          .arg(QDir::toNativeSeparators(m_path), why),
                      ErrNo::PathNotFound);
    }
    syncFolderOf(m_path);
    crashPoint();
}

void PrevPunchRegister::save() const {
    if (!m_open) return;
    const QString temp = m_path + QStringLiteral(".saving");
    crashPoint();
    writeFile(temp, QString());
    replaceWith(temp);
}

// ---------------------------------------------------------------- the import's register

QString strPrevPunchPath() {
    return strJoinPath(strGetApplicationPath(), QStringLiteral("PrevPunch.xml"));
}

namespace {
// While an import holds the register it is opened once and saved once, with
// the import's database commit.
bool g_held = false;

const QString kJournalTable = QStringLiteral("PrevPunchJournal");
const QString kJournalFind = QStringLiteral(R"(SELECT COUNT(*) FROM "PrevPunchJournal" WHERE "Token" = ?)");
const QString kJournalClear = QStringLiteral(R"(DELETE FROM "PrevPunchJournal")");
const QString kJournalInsert =
    QStringLiteral(R"(INSERT INTO "PrevPunchJournal" ("Token", "Saved") VALUES (?, ?))");

QString pendingPath() {
    return strPrevPunchPath() + QStringLiteral(".pending");
}

// The commit token of a pending register file, empty when it has none or
// cannot be read (a file cut short before its commit).
QString pendingToken(const QString &file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    QXmlStreamReader xml(&f);
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            if (xml.name() != kRoot) return QString();
            return xml.attributes().value(kCommitAttribute).toString();
        }
    }
    return QString();
}
} // namespace

void OpenPrevPunch() {
    if (g_held && rsPrevPunch.isOpen()) return;
    rsPrevPunch.open(strPrevPunchPath(), Clock::now());
}

bool varIsPrevPunch(const double &dtmDate, const double &dtmTime, const QString &strSequence,
                    const QString &strChecksum) {
    return rsPrevPunch.check(dtmDate, dtmTime, strSequence, strChecksum);
}

void SavePrevPunch() {
    if (g_held) return;
    try {
        rsPrevPunch.save();
    } catch (...) {
        rsPrevPunch.close();
        throw;
    }
    rsPrevPunch.close();
}

void RecoverPrevPunch(Database &db) {
    const QString pending = pendingPath();
    if (!QFileInfo::exists(pending)) return;
    const QString token = pendingToken(pending);
    bool committed = false;
    if (!token.isEmpty() && db.hasTable(kJournalTable)) {
        const auto n = db.firstValue(kJournalFind, {token});
        committed = n && n->toLongLong() > 0;
    }
    if (!committed) {
        // Its import was rolled back: the register as it stands is right.
        QFile::remove(pending);
        subLogNote(QStringLiteral("modImportToPunch"),
                   QStringLiteral("The unfinished register save %1 of an import that was not saved was "
                                  "dropped.")
                       .arg(QDir::toNativeSeparators(pending)));
        return;
    }
    PrevPunchRegister target;
    target.openEmpty(strPrevPunchPath());
    target.replaceWith(pending);
    subLogNote(QStringLiteral("modImportToPunch"),
               QStringLiteral("The register save of the last import, cut short after its database commit, "
                              "was finished: %1.")
                   .arg(QDir::toNativeSeparators(strPrevPunchPath())));
}

PrevPunchImportScope::PrevPunchImportScope(Database &db) : m_db(db) {
    RecoverPrevPunch(db);
    rsPrevPunch.close();
    g_held = true;
}

PrevPunchImportScope::~PrevPunchImportScope() {
    g_held = false;
    if (!m_pending.isEmpty()) QFile::remove(m_pending);
    rsPrevPunch.close();
}

void PrevPunchImportScope::prepare() {
    if (!rsPrevPunch.isOpen()) return;
    if (!m_db.hasTable(kJournalTable)) return;
    m_token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_db.execute(kJournalClear);
    m_db.execute(kJournalInsert, {m_token, m_db.dateTime(Clock::nowSerial())});
    m_pending = pendingPath();
    crashPoint();
    rsPrevPunch.writeFile(m_pending, m_token);
}

void PrevPunchImportScope::finish() {
    g_held = false;
    if (!rsPrevPunch.isOpen()) return;
    try {
        if (!m_pending.isEmpty()) {
            const QString written = m_pending;
            m_pending.clear();
            rsPrevPunch.replaceWith(written);
        } else {
            rsPrevPunch.save();
        }
    } catch (...) {
        rsPrevPunch.close();
        throw;
    }
    rsPrevPunch.close();
}

} // namespace hx
