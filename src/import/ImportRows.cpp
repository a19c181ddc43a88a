#include "import/ImportRows.h"

#include "component/Error.h"
#include "component/Schema.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace hx {
namespace {
ImportRows *g_active = nullptr;

const QStringList kColumns{
    QStringLiteral("ID"),        QStringLiteral("EMPLOYEE ID"), QStringLiteral("CLOCK ID"),
    QStringLiteral("IN DATE"),   QStringLiteral("IN TIME"),     QStringLiteral("DEPT ID"),
    QStringLiteral("DEPT NAME"), QStringLiteral("DATAFLDEN"),   QStringLiteral("DATAFLD"),
    QStringLiteral("TASK"),      QStringLiteral("SIGN IN"),     QStringLiteral("PunchType"),
    QStringLiteral("Overide"),   QStringLiteral("Excused"),     QStringLiteral("CLOCK NUMBER"),
    QStringLiteral("Edited")};
constexpr int kEmployee = 1, kBadge = 2, kDate = 3, kTime = 4;

// Where a column's value is kept: the columns' affinities decide.
enum class Kind { Key, Int, Real, Text };
struct Place {
    Kind kind;
    int slot;
};
constexpr Place kPlaces[16] = {{Kind::Key, 0},  {Kind::Int, 0},  {Kind::Int, 1},  {Kind::Text, 0},
                               {Kind::Text, 1}, {Kind::Int, 2},  {Kind::Text, 2}, {Kind::Int, 3},
                               {Kind::Real, 0}, {Kind::Real, 1}, {Kind::Int, 4},  {Kind::Int, 5},
                               {Kind::Int, 6},  {Kind::Int, 7},  {Kind::Int, 8},  {Kind::Int, 9}};

int columnOf(const QString &name) {
    static const RecordColumns all(kColumns);
    const int at = all.indexOf(name);
    if (at < 0)
        throw HxError(QStringLiteral("Item cannot be found in the collection corresponding to the "
                                     "requested name or ordinal."),
                      ErrNo::ItemNotFound);
    return at;
}

// SQLite's BINARY order: UTF-8 bytes, which is code point order. UTF-16
// units differ from it only where a surrogate meets a unit above them.
bool textLess(const QString &a, const QString &b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x == y) continue;
        if (x >= 0xD800 && y >= 0xD800) {
            x = x >= 0xE000 ? char16_t(x - 0x800) : char16_t(x + 0x2000);
            y = y >= 0xE000 ? char16_t(y - 0x800) : char16_t(y + 0x2000);
        }
        return x < y;
    }
    return a.size() < b.size();
}

[[noreturn]] void cannotKeep(const QVariant &v) {
    throw HxError(QStringLiteral("An IMPORT value of type %1 cannot be staged.")
                      .arg(QString::fromLatin1(v.typeName())));
}
} // namespace

ImportRows *ImportRows::active() {
    return g_active;
}

ImportRows::Row &ImportRows::row(qint64 id) {
    const qint64 at = id - m_sequence - 1;
    if (at < 0 || at >= qint64(m_rows.size()))
        throw HxError(QStringLiteral("No IMPORT row has the ID %1.").arg(id), ErrNo::Database);
    return m_rows[size_t(at)];
}

// The value as the column's affinity stores what the statement layer binds
// for it; a kind no caller binds is refused rather than guessed at.
void ImportRows::set(Row &r, int column, const QVariant &v) {
    const Place p = kPlaces[column];
    const void *data = v.constData();
    bool integral = true;
    qint64 n = 0;
    switch (v.typeId()) {
    case QMetaType::Int:
        n = *static_cast<const int *>(data);
        break;
    case QMetaType::Bool:
        n = *static_cast<const bool *>(data);
        break;
    case QMetaType::UInt:
        n = *static_cast<const uint *>(data);
        break;
    case QMetaType::LongLong:
        n = *static_cast<const qlonglong *>(data);
        break;
    default:
        integral = false;
    }
    const bool real = v.typeId() == QMetaType::Double;
    // SQLite stores a NaN as Null.
    if ((integral ? v.isNull() : boundAsNull(v)) || (real && std::isnan(v.toDouble()))) {
        r.nulls |= uint16_t(1u << column);
        return;
    }
    r.nulls &= uint16_t(~(1u << column));
    switch (p.kind) {
    case Kind::Key:
        cannotKeep(v);
    case Kind::Int: {
        const double d = real ? v.toDouble() : 0;
        if (!integral && !(real && d == std::trunc(d) && d >= INT32_MIN && d <= INT32_MAX)) cannotKeep(v);
        if (!integral) n = qint64(d);
        if (n < INT32_MIN || n > INT32_MAX) cannotKeep(v);
        r.ints[p.slot] = int32_t(n);
        return;
    }
    case Kind::Real:
        if (!integral && !real) cannotKeep(v);
        r.reals[p.slot] = real ? v.toDouble() : double(n);
        return;
    case Kind::Text:
        if (v.typeId() != QMetaType::QString) cannotKeep(v);
        if (p.slot == 2) {
            r.deptName = v.toString();
            return;
        }
        const QString &text = *static_cast<const QString *>(data);
        // Rows of one file mostly share the date, and often the time.
        if (m_lastPlace[p.slot] < m_texts.size() && m_texts[m_lastPlace[p.slot]] == text) {
            r.moment[p.slot] = m_lastPlace[p.slot];
            return;
        }
        auto at = m_textPlaces.constFind(text);
        if (at == m_textPlaces.constEnd()) {
            at = m_textPlaces.insert(text, uint32_t(m_texts.size()));
            m_texts.push_back(text);
        }
        r.moment[p.slot] = m_lastPlace[p.slot] = *at;
        return;
    }
}

// The value as the statement layer reads the stored one back.
QVariant ImportRows::value(const Row &r, int column) const {
    if (r.nulls & (1u << column)) return QVariant(QMetaType::fromType<QString>());
    const Place p = kPlaces[column];
    switch (p.kind) {
    case Kind::Key:
        return qlonglong(r.id);
    case Kind::Int:
        return qlonglong(r.ints[p.slot]);
    case Kind::Real:
        return r.reals[p.slot];
    case Kind::Text:
        return p.slot == 2 ? r.deptName : m_texts[r.moment[p.slot]];
    }
    return {};
}

void ImportRows::insert(const QVariantList &values) {
    if (values.size() != kColumns.size() - 1)
        throw HxError(QStringLiteral("An IMPORT row needs %1 values.").arg(kColumns.size() - 1),
                      ErrNo::Database);
    Row r;
    for (int c = 1; c < int(kColumns.size()); ++c)
        set(r, c, values[c - 1]);
    r.id = ++m_lastId;
    m_rows.push_back(std::move(r));
    ++m_live;
    for (auto &order : m_order)
        order.clear();
}

void ImportRows::remove(qint64 id) {
    Row &r = row(id);
    if (r.removed) return;
    r.removed = true;
    r.deptName = QString();
    --m_live;
}

void ImportRows::update(qint64 id, const QStringList &columns, const QVariantList &values) {
    Row &r = row(id);
    if (r.removed) return;
    // All values are checked before any is set, as a statement fails whole.
    Row changed = r;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const int c = columnOf(columns[i]);
        if (c == kEmployee || c == kBadge || c == kDate || c == kTime || c == 0)
            throw HxError(QStringLiteral("The walks' keys are not changed in place."), ErrNo::Database);
        set(changed, c, values.value(i));
    }
    r = std::move(changed);
}

qint64 ImportRows::distinctEmployees() const {
    std::unordered_set<int32_t> seen;
    for (const Row &r : m_rows)
        if (!r.removed && !(r.nulls & (1u << kEmployee))) seen.insert(r.ints[0]);
    return qint64(seen.size());
}

QVariant ImportRows::firstDay() const {
    const QString *first = nullptr;
    for (const Row &r : m_rows)
        if (!r.removed && !(r.nulls & (1u << kDate)) && (!first || textLess(m_texts[r.moment[0]], *first)))
            first = &m_texts[r.moment[0]];
    return first ? QVariant(*first) : QVariant(QMetaType::fromType<QString>());
}

std::unordered_map<qint64, qint64> ImportRows::rowsPerEmployee() const {
    std::unordered_map<qint64, qint64> rows;
    for (const Row &r : m_rows)
        if (!r.removed && !(r.nulls & (1u << kEmployee))) ++rows[r.ints[0]];
    return rows;
}

// The rows' places in the order. Texts are ranked once, so that the sort
// compares numbers; removed rows keep their place and are passed over.
const std::vector<uint32_t> &ImportRows::ordered(ImportOrder order) {
    std::vector<uint32_t> &places = m_order[int(order)];
    if (!places.empty() || m_rows.empty()) return places;
    std::vector<uint32_t> byText(m_texts.size());
    for (uint32_t i = 0; i < byText.size(); ++i)
        byText[i] = i;
    std::sort(byText.begin(), byText.end(),
              [&](uint32_t a, uint32_t b) { return textLess(m_texts[a], m_texts[b]); });
    std::vector<int64_t> rank(m_texts.size());
    for (uint32_t i = 0; i < byText.size(); ++i)
        rank[byText[i]] = i;

    struct Key {
        int64_t k[3];
        qint64 id;
        uint32_t place;
    };
    const int lead = order == ImportOrder::Badge ? kBadge : kEmployee;
    std::vector<Key> keys;
    keys.reserve(m_rows.size());
    for (uint32_t i = 0; i < m_rows.size(); ++i) {
        const Row &r = m_rows[i];
        // Null sorts first; a Null text has no rank.
        const auto absent = [&](int column) { return (r.nulls & (1u << column)) != 0; };
        keys.push_back(
            {{absent(lead) ? INT64_MIN : r.ints[kPlaces[lead].slot],
              absent(kDate) ? INT64_MIN : rank[r.moment[0]], absent(kTime) ? INT64_MIN : rank[r.moment[1]]},
             r.id,
             i});
    }
    std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        for (int i = 0; i < 3; ++i)
            if (a.k[i] != b.k[i]) return a.k[i] < b.k[i];
        return a.id < b.id;
    });
    places.reserve(keys.size());
    for (const Key &k : keys)
        places.push_back(k.place);
    return places;
}

class ImportRows::Walk final : public RowSource {
public:
    // The places are the walk's own: rows staged or cleared while it is
    // open do not move it.
    Walk(ImportRows &rows, std::vector<int> columns, std::vector<uint32_t> places)
        : m_rows(rows), m_columns(std::move(columns)), m_places(std::move(places)) {}
    bool fetch(std::vector<QVariant> &row) override {
        while (m_at < m_places.size() && m_places[m_at] < m_rows.m_rows.size()) {
            const Row &r = m_rows.m_rows[m_places[m_at++]];
            if (r.removed) continue;
            for (const int c : m_columns)
                row.push_back(m_rows.value(r, c));
            return true;
        }
        return false;
    }

private:
    ImportRows &m_rows;
    std::vector<int> m_columns;
    const std::vector<uint32_t> m_places;
    size_t m_at = 0;
};

Recordset ImportRows::walk(const QStringList &columns, ImportOrder order) {
    std::vector<int> at;
    QStringList names;
    for (const QString &name : columns.isEmpty() ? kColumns : columns) {
        at.push_back(columnOf(name));
        names << kColumns[at.back()];
    }
    return Recordset::streaming(std::make_shared<const RecordColumns>(names),
                                std::make_unique<Walk>(*this, std::move(at), ordered(order)));
}

void ImportRows::clear(Database &db) {
    if (m_lastId > m_sequence) setImportTableLastId(db, m_lastId);
    m_sequence = m_lastId;
    m_rows.clear();
    m_live = 0;
    m_texts.clear();
    m_textPlaces.clear();
    for (auto &order : m_order)
        order.clear();
}

Recordset openImportWalk(Database &db, const QString &sql, const QStringList &columns, ImportOrder order) {
    if (ImportRows *rows = ImportRows::active()) return rows->walk(columns, order);
    return db.openCursor(sql);
}

void deleteImportRow(Database &db, const QString &sql, const QVariant &id) {
    if (ImportRows *rows = ImportRows::active())
        rows->remove(id.toLongLong());
    else
        db.execute(sql, {id});
}

void updateImportRow(Database &db, const QString &sql, const QStringList &columns,
                     const QVariantList &params) {
    if (ImportRows *rows = ImportRows::active())
        rows->update(params.last().toLongLong(), columns, params.mid(0, params.size() - 1));
    else
        db.execute(sql, params);
}

// Whether the table's columns are the ones the rows here keep, with the
// affinities they are kept by: a column added to the script later keeps the
// rows in the table until they are known here too.
static bool columnsKnown(Database &db) {
    const auto typeOf = [](Kind k) {
        return QLatin1String(k == Kind::Real ? "REAL" : k == Kind::Text ? "TEXT" : "INTEGER");
    };
    Recordset rs = db.openRecordset(QStringLiteral("SELECT \"name\", \"type\" FROM pragma_table_info(?)"),
                                    {QStringLiteral("IMPORT")});
    int c = 0;
    for (; !rs.eof(); rs.moveNext(), ++c)
        if (c >= kColumns.size() || rs.value(0).toString() != kColumns[c] ||
            rs.value(1).toString() != typeOf(kPlaces[c].kind))
            return false;
    return c == kColumns.size();
}

ImportRowsScope::ImportRowsScope(Database &db) {
    const std::optional<qint64> last = plainImportTableLastId(db);
    if (last && columnsKnown(db)) {
        m_rows.reset(new ImportRows(*last));
        g_active = m_rows.get();
    }
}

ImportRowsScope::~ImportRowsScope() {
    if (g_active == m_rows.get()) g_active = nullptr;
}

} // namespace hx
