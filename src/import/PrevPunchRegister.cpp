#include "import/PrevPunchRegister.h"

#include "component/Clock.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Error.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>

namespace hx {

PrevPunchRegister rsPrevPunch;

namespace {
const QDate kDayZero(1899, 12, 30);
constexpr qint64 kSecondsPerDayInt = 86400;
const QString kRoot = QStringLiteral("PrevPunch");
const QString kRowElement = QStringLiteral("Punch");
const QString kVersion = QStringLiteral("1");
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

qint64 secondsOf(const QDateTime &moment) {
    return kDayZero.daysTo(moment.date()) * kSecondsPerDayInt + moment.time().msecsSinceStartOfDay() / 1000;
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

QString readText(const QXmlStreamAttributes &attrs, const QString &name, qsizetype maxSize, qint64 line) {
    const auto at = [&](const QString &why) {
        return PrevPunchRegister::Damaged{QStringLiteral("line %1: %2").arg(line).arg(why)};
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

// "PrevPunch-<tag>-YYYYMMDD-HHMMSS.xml" beside the file, numbered when taken.
QString asideName(const QString &path, const QString &tag, const QDateTime &now) {
    const QFileInfo fi(path);
    const QString stem = fi.dir().filePath(fi.completeBaseName() + QLatin1Char('-') + tag + QLatin1Char('-') +
                                           now.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString suffix = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
    QString candidate = stem + suffix;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = stem + QLatin1Char('-') + QString::number(n) + suffix;
    return candidate;
}

// The register as the earlier version wrote it, for the common case of rows
// whose texts are printable ASCII that XML takes as it stands: read a line at
// a time without the general XML machinery. Anything else goes through the
// general path.
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

// ---------------------------------------------------------------- the table

namespace {
const QString kPrune = QStringLiteral(R"(DELETE FROM "PrevPunch" WHERE "PunchDate" <= ?)");
// The moment as text on both engines: a timestamp read as a date-time would
// be taken in the local zone, where an hour of the spring change does not
// exist. The rows come in key order, a page at a time after the last key
// read, so that a server's snapshot of a year of rows is never held whole.
// The text gets a name of its own: under the column's name the order would
// be the text's, which the key's index does not give.
const QString kLoadColumns = QStringLiteral(
    R"(SELECT "Sequence", CAST("PunchDate" AS TEXT) AS "Moment", "Checksum" FROM "PrevPunch" )");
const QString kLoadOrder = QStringLiteral(R"( ORDER BY "PunchDate", "Sequence", "Checksum" LIMIT )");
const QString kLoadAfter = QStringLiteral(R"(WHERE ("PunchDate", "Sequence", "Checksum") > (?, ?, ?))");
// Rows per INSERT: few statements, well under every engine's bound-value limit.
constexpr qsizetype kBatchRows = 200;

// One INSERT of `rows` keys; a key the table has already is left as it is.
QString insertText(qsizetype rows) {
    QString sql = QStringLiteral(R"(INSERT INTO "PrevPunch" ("Sequence", "PunchDate", "Checksum") VALUES )");
    for (qsizetype i = 0; i < rows; ++i)
        sql += i == 0 ? QStringLiteral("(?, ?, ?)") : QStringLiteral(", (?, ?, ?)");
    return sql + QStringLiteral(" ON CONFLICT DO NOTHING");
}

} // namespace

void PrevPunchRegister::close() {
    m_open = false;
    m_saved = 0;
    std::vector<Key>().swap(m_rows);
    std::vector<uint32_t>().swap(m_slots);
}

void PrevPunchRegister::openEmpty() {
    close();
    m_open = true;
}

void PrevPunchRegister::load(Database &db, const QDateTime &now) {
    close();
    // Rows listed one year ago to the second, or earlier, go.
    db.execute(kPrune, {db.dateTime(fromSeconds(secondsOf(now.addYears(-1))))});
    const QString limit = QString::number(loadPageRows);
    const QString first = kLoadColumns + kLoadOrder + limit;
    const QString next = kLoadColumns + kLoadAfter + kLoadOrder + limit;
    QVariantList after;
    for (;;) {
        Recordset rs = db.openCursor(after.isEmpty() ? first : next, after);
        qsizetype page = 0;
        for (; !rs.eof(); rs.moveNext(), ++page) {
            const QString sequence = rs.value(0).toString();
            const QString moment = rs.value(1).toString();
            const QString checksum = rs.value(2).toString();
            after = {moment, sequence, checksum};
            const auto seconds = parseMoment(moment);
            // A row no record can match (written by hand) is left alone.
            if (!seconds || sequence.size() > kSequenceSize || checksum.size() > kChecksumSize) continue;
            m_rows.push_back(makeKey(*seconds, sequence, checksum));
        }
        if (page < loadPageRows) break;
    }
    // Room for half as many new rows again before the index must grow.
    rebuildIndex(std::bit_ceil(std::max<size_t>(16, m_rows.size() * 3)));
    m_saved = qsizetype(m_rows.size());
    m_open = true;
}

void PrevPunchRegister::save(Database &db) {
    if (!m_open) return;
    const QString full = insertText(kBatchRows);
    QVariantList values;
    values.reserve(kBatchRows * 3);
    // In the key's order: each row then goes next to the one before it in
    // the key's index instead of anywhere in it.
    std::vector<qsizetype> order(size_t(rowCount() - m_saved));
    std::iota(order.begin(), order.end(), m_saved);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const Key &x = m_rows[size_t(a)], &y = m_rows[size_t(b)];
        if (x.moment != y.moment) return x.moment < y.moment;
        const int bySequence =
            QStringView(x.sequence, x.sequenceLength).compare(QStringView(y.sequence, y.sequenceLength));
        if (bySequence != 0) return bySequence < 0;
        return QStringView(x.checksum, x.checksumLength) < QStringView(y.checksum, y.checksumLength);
    });
    for (size_t at = 0; at < order.size();) {
        const size_t n = std::min(size_t(kBatchRows), order.size() - at);
        values.clear();
        for (size_t i = at; i < at + n; ++i) {
            const Row r = row(order[i]);
            values << r.sequence << db.dateTime(fromSeconds(r.moment)) << r.checksum;
        }
        db.execute(n == size_t(kBatchRows) ? full : insertText(qsizetype(n)), values);
        at += n;
    }
    m_saved = rowCount();
}

bool PrevPunchRegister::contains(double date, double time, QStringView sequence, QStringView checksum) const {
    if (!m_open) return false;
    return find(makeKey(listedMoment(date, time), sequence, checksum)) >= 0;
}

bool PrevPunchRegister::check(double date, double time, QStringView sequence, QStringView checksum) {
    return checkMoment(listedMoment(date, time), sequence, checksum);
}

bool PrevPunchRegister::checkMoment(qint64 moment, QStringView sequence, QStringView checksum) {
    if (!m_open) return false;
    const Key key = makeKey(moment, sequence, checksum);
    if (find(key) >= 0) return true;
    append(key);
    return false;
}

// ---------------------------------------------------------------- the file of an earlier version

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
        // The root's attributes after the version: none, or a commit token.
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

void PrevPunchRegister::readFile(const QString &path) {
    close();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw HxError(QStringLiteral("The register file %1 cannot be opened (%2). It is left as it is.")
                          .arg(QDir::toNativeSeparators(path), f.errorString()),
                      f.error() == QFileDevice::PermissionsError ? ErrNo::PermissionDenied
                                                                 : ErrNo::PathNotFound);
    // A year of punches of a large site is a few hundred megabytes; a file
    // far beyond that is a runaway or a sparse file, not a register, and is
    // not read into memory.
    if (f.size() > kMaxFileBytes)
        throw Damaged{QStringLiteral("the file holds %1 bytes, more than a register can").arg(f.size())};
    m_rows.reserve(size_t(f.size() / 64));
    if (!readPlainFile(f)) {
        m_rows.clear();
        if (!f.seek(0))
            throw HxError(QStringLiteral("The register file %1 cannot be read (%2).")
                              .arg(QDir::toNativeSeparators(path), f.errorString()),
                          ErrNo::PathNotFound);
        QXmlStreamReader xml(&f);
        const auto damaged = [&](const QString &why) {
            return Damaged{QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(why)};
        };
        if (!xml.readNextStartElement())
            throw damaged(xml.hasError() ? xml.errorString()
                                         : QStringLiteral("the file holds no XML element"));
        if (xml.name() != kRoot)
            throw damaged(QStringLiteral("the document is <%1>, not <%2>").arg(xml.name().toString(), kRoot));
        const QStringView version = xml.attributes().value(QStringLiteral("version"));
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
    // A key listed twice is one row.
    std::vector<Key> rows;
    rows.swap(m_rows);
    m_slots.clear();
    rebuildIndex(std::bit_ceil(std::max<size_t>(16, rows.size() * 2)));
    for (const Key &k : rows)
        if (find(k) < 0) append(k);
    m_saved = 0;
    m_open = true;
}

// ---------------------------------------------------------------- the import's register

QString strPrevPunchPath() {
    return strJoinPath(strGetApplicationPath(), QStringLiteral("PrevPunch.xml"));
}

namespace {
const QString kModule = QStringLiteral("modImportToPunch");

// While an import holds the register it is loaded once and saved once, in
// the import's transaction.
bool g_held = false;

// The register save of an earlier version cut short between its database
// commit and its rename: "PrevPunch.xml.pending", whose commit token the
// table "PrevPunchJournal" holds when its import was saved.
bool pendingWasCommitted(Database &db, const QString &pending) {
    QFile f(pending);
    if (!f.open(QIODevice::ReadOnly)) return false;
    QXmlStreamReader xml(&f);
    QString token;
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            if (xml.name() == kRoot) token = xml.attributes().value(QStringLiteral("commit")).toString();
            break;
        }
    }
    if (token.isEmpty() || !db.hasTable(QStringLiteral("PrevPunchJournal"))) return false;
    const auto n = db.firstValue(
        QStringLiteral(R"(SELECT COUNT(*) FROM "PrevPunchJournal" WHERE "Token" = ?)"), {token});
    return n && n->toLongLong() > 0;
}
} // namespace

void MigratePrevPunchFile(Database &db) {
    const QString path = strPrevPunchPath();
    const QString pending = path + QStringLiteral(".pending");
    const QFileInfo fi(path);
    const bool hasFile = fi.exists(), hasPending = QFileInfo::exists(pending);
    if ((!hasFile && !hasPending) || db.inTransaction()) return;
    const QDateTime now = Clock::now();
    const QString shown = QDir::toNativeSeparators(path);
    if (fi.isDir())
        throw HxError(
            QStringLiteral("The register file %1 is a folder, not a file; it is left as it is.").arg(shown),
            ErrNo::PathNotFound);

    PrevPunchRegister file;
    if (hasFile) {
        try {
            file.readFile(path);
        } catch (const PrevPunchRegister::Damaged &d) {
            const QString aside = asideName(path, QStringLiteral("damaged"), now);
            QFile damaged(path);
            if (!damaged.rename(aside))
                throw HxError(
                    QStringLiteral("The register file %1 cannot be read (%2) and cannot be kept "
                                   "aside as %3 (%4). It is left as it is; the register in the "
                                   "database is used without it.")
                        .arg(shown, d.reason, QDir::toNativeSeparators(aside), damaged.errorString()));
            throw HxError(QStringLiteral("The register file %1 cannot be read (%2). It was kept as %3; the "
                                         "register in the database is used without it.")
                              .arg(shown, d.reason, QDir::toNativeSeparators(aside)));
        }
    } else {
        file.openEmpty();
    }
    // A pending save of a committed import is the newer register: its rows
    // join; one of an import that was rolled back lists records never saved.
    const bool pendingRows = hasPending && pendingWasCommitted(db, pending);
    if (pendingRows) {
        PrevPunchRegister newer;
        try {
            newer.readFile(pending);
            for (qsizetype i = 0; i < newer.rowCount(); ++i) {
                const PrevPunchRegister::Row r = newer.row(i);
                file.checkMoment(r.moment, r.sequence, r.checksum);
            }
        } catch (const PrevPunchRegister::Damaged &) {
            // Cut short while written: its import was not committed.
        }
    }
    // Rows listed one year ago to the second, or earlier, are not moved in.
    const qint64 cutoff = secondsOf(now.addYears(-1));
    PrevPunchRegister young;
    young.openEmpty();
    for (qsizetype i = 0; i < file.rowCount(); ++i) {
        const PrevPunchRegister::Row r = file.row(i);
        if (r.moment > cutoff) young.checkMoment(r.moment, r.sequence, r.checksum);
    }
    const qint64 before = db.firstValue(QStringLiteral(R"(SELECT COUNT(*) FROM "PrevPunch")"))->toLongLong();
    {
        Transaction tx(db);
        young.save(db);
        tx.commit();
    }
    const qint64 added =
        db.firstValue(QStringLiteral(R"(SELECT COUNT(*) FROM "PrevPunch")"))->toLongLong() - before;

    // The table holds the rows now: reading the file again would add nothing.
    if (hasPending) QFile::remove(pending);
    if (!hasFile) return;
    const QString kept = asideName(path, QStringLiteral("migrated"), now);
    QFile moved(path);
    if (!moved.rename(kept))
        throw HxError(QStringLiteral("The register file %1 was read into the database but cannot be renamed "
                                     "%2 (%3); it is read again, adding nothing, at the next import.")
                          .arg(shown, QDir::toNativeSeparators(kept), moved.errorString()));
    subLogNote(kModule, QStringLiteral("The register file %1 was moved into the database: %2 of its %3 rows "
                                       "added (the others were a year old or listed already). It was kept as "
                                       "%4.")
                            .arg(shown)
                            .arg(added)
                            .arg(file.rowCount())
                            .arg(QDir::toNativeSeparators(kept)));
}

void OpenPrevPunch() {
    if (g_held && rsPrevPunch.isOpen()) return;
    Database &db = conn();
    // An import moves the file in before its unit of work; a reader run on
    // its own does it here. The register loads either way.
    std::exception_ptr migration;
    if (!g_held) {
        try {
            MigratePrevPunchFile(db);
        } catch (const HxError &e) {
            rethrowIfFatal(e);
            migration = std::current_exception();
        }
    }
    rsPrevPunch.load(db, Clock::now());
    if (migration) std::rethrow_exception(migration);
}

bool varIsPrevPunch(const double &dtmDate, const double &dtmTime, const QString &strSequence,
                    const QString &strChecksum) {
    return rsPrevPunch.check(dtmDate, dtmTime, strSequence, strChecksum);
}

void SavePrevPunch() {
    if (g_held) return;
    try {
        if (rsPrevPunch.isOpen()) {
            Database &db = conn();
            Transaction tx(db);
            rsPrevPunch.save(db);
            tx.commit();
        }
    } catch (...) {
        rsPrevPunch.close();
        throw;
    }
    rsPrevPunch.close();
}

PrevPunchImportScope::PrevPunchImportScope(Database &db) : m_db(db) {
    rsPrevPunch.close();
    g_held = true;
}

PrevPunchImportScope::~PrevPunchImportScope() {
    g_held = false;
    rsPrevPunch.close();
}

void PrevPunchImportScope::save() {
    rsPrevPunch.save(m_db);
}

} // namespace hx
