#include "rules/clsTCrules.h"

#include "component/Clock.h"
#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"

#include <functional>

namespace hx {

std::unique_ptr<clsTCrules> gTCRules;

clsTCrules &rules() {
    if (!gTCRules) {
        gTCRules = std::make_unique<clsTCrules>();
        gTCRules->SetDefaultRules();
    }
    return *gTCRules;
}

namespace {
// One entry per rule, in declaration order: property name, column, and how
// the value is read and shown.
struct RuleBinding {
    const char *property;
    const char *column;
    std::function<void(clsTCrules &, const QVariant &)> load;
    std::function<QString(const clsTCrules &)> show;
};

QString showBool(bool b) {
    return b ? QStringLiteral("True") : QStringLiteral("False");
}
QString showDate(double d) {
    return formatIsoDateTime(d);
}

// clang-format off
#define HX_BOOL(prop, col)                                                                                        \
    RuleBinding{#prop, col, [](clsTCrules &r, const QVariant &v) { r.prop = toBoolean(v); },                      \
                [](const clsTCrules &r) { return showBool(r.prop); }}
#define HX_DBL(prop, col)                                                                                         \
    RuleBinding{#prop, col, [](clsTCrules &r, const QVariant &v) { r.prop = toDouble(v); },                       \
                [](const clsTCrules &r) { return QString::number(r.prop, 'g', 15); }}
#define HX_SNG(prop, col)                                                                                         \
    RuleBinding{#prop, col, [](clsTCrules &r, const QVariant &v) { r.prop = static_cast<float>(toDouble(v)); },   \
                [](const clsTCrules &r) { return QString::number(r.prop, 'g', 7); }}
#define HX_INT(prop, col)                                                                                         \
    RuleBinding{#prop, col, [](clsTCrules &r, const QVariant &v) { r.prop = toInt16(toDouble(v)); },              \
                [](const clsTCrules &r) { return QString::number(r.prop); }}
#define HX_LNG(prop, col)                                                                                         \
    RuleBinding{#prop, col, [](clsTCrules &r, const QVariant &v) { r.prop = toInt32(toDouble(v)); },              \
                [](const clsTCrules &r) { return QString::number(r.prop); }}
#define HX_DATE(prop, col)                                                                                        \
    RuleBinding{#prop, col, [](clsTCrules &r, const QVariant &v) { r.prop = dtmNullToDate(v); },                  \
                [](const clsTCrules &r) { return showDate(r.prop); }}
#define HX_TEXT(prop, col)                                                                                        \
    RuleBinding{#prop, col, [](clsTCrules &r, const QVariant &v) { r.prop = strNullToText(v); },                  \
                [](const clsTCrules &r) { return r.prop; }}
// clang-format on

const std::vector<RuleBinding> &bindings() {
    static const std::vector<RuleBinding> b = {
        HX_BOOL(blnAutoLunchByDay, "FullDayAutoLunch"),
        HX_BOOL(blnAutopollByInterval, "AutoPollByInterval"),
        HX_BOOL(blnAutopollImportNow, "AutoPollImportNow"),
        HX_BOOL(blnAutoPollMessages, "blnAutoPollMessages"),
        HX_BOOL(blnDatafldOnIN, "DATAFLD INPUT"),
        HX_BOOL(blnDatafldTotals, "DATAFLD TOTALS"),
        HX_BOOL(blnDaysWorked, "DAYS WORKED"),
        HX_BOOL(blnEditOn, "EDITON"),
        HX_BOOL(blnFlagEdits, "FLAG EDITS"),
        HX_BOOL(blnFullDayAutolunch, "FullDayAutolunch"),
        HX_BOOL(blnShowMaterial, "ShowMaterial"),
        HX_BOOL(blnTaskOnIN, "TASK INPUT"),
        HX_BOOL(blnTaskTotals, "TASK TOTALS"),
        HX_BOOL(blnTcMemos, "TCMEMOS"),
        HX_BOOL(blnUnlimitedSwipeNGo, "blnUnlimitedSwipeNGo"),
        HX_BOOL(blnUpToMin, "UpToMin"),
        HX_BOOL(blnValidateIO, "VALIO"),
        HX_DBL(dblTerminalVersion, "TerminalVersion"),
        HX_DATE(dtmDayStart, "DAY START"),
        HX_DATE(dtmLastPoll, "LastPoll"),
        HX_DATE(dtmPayPrior, "LAST START"),
        HX_DATE(dtmPayStart, "PAY START"),
        HX_DATE(dtmPayThru, "PAY END"),
        HX_INT(intAccessRelayTime, "AccessRelayTime"),
        HX_INT(intDatafldFormat, "DATAFLD FORMAT"),
        HX_INT(intHighWarning, "WARNING"),
        HX_INT(intIdDigits, "IdDigits"),
        HX_INT(intLogFileDays, "POLL LOG FOR"),
        HX_INT(intLowWarning, "LESS WARN"),
        HX_INT(intLunchAt, "LUNCH AT"),
        HX_INT(intLunchlen, "LUNCHLEN"),
        HX_INT(intSemi1, "SEMI 1"),
        HX_INT(intSemi2, "SEMI 2"),
        HX_INT(intTaskAs, "TASKAS"),
        HX_INT(intTaskFormat, "TASK FORMAT"),
        HX_INT(intWeekStart, "WEEK START"),
        HX_LNG(lngAutoPollRetries, "AutoPollRetrys"),
        HX_LNG(lngSwipeNGoThreshold, "lngSgThreshold"),
        HX_SNG(sngDayOT1, "DAY OT1"),
        HX_SNG(sngDayOT2, "DAY OT2"),
        HX_SNG(sngRateOT1, "RATE OT1"),
        HX_SNG(sngRateOT2, "RATE OT2"),
        HX_SNG(sngWeekOT1, "WEEK OT1"),
        HX_SNG(sngWeekOT2, "WEEK OT2"),
        HX_TEXT(strAccrueTitle1, "A1TITLE"),
        HX_TEXT(strAccrueTitle2, "A2TITLE"),
        HX_TEXT(strAccrueTitle3, "A3TITLE"),
        HX_TEXT(strClockPrompt1, "SPROMPT1"),
        HX_TEXT(strClockPrompt2, "SPROMPT2"),
        HX_TEXT(strClockPrompt3, "SPROMPT3"),
        HX_TEXT(strDatafldTitle, "DFLDTITLE"),
        HX_TEXT(strPayType, "PAY TYPE"),
        HX_TEXT(strRounding, "ROUNDING"),
        HX_TEXT(strSort1, "SORT 1"),
        HX_TEXT(strSort2, "SORT 2"),
        HX_TEXT(strSort3, "SORT 3"),
        HX_TEXT(strTaskTitle, "TASKTITLE"),
    };
    return b;
}
} // namespace

void clsTCrules::ReadValues() {
    Recordset rs;
    try {
        rs = conn().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\" ORDER BY \"ID\""));
        if (blnHasRecords(rs)) {
            LoadRulesRow(rs);
        } else {
            SetDefaultRules();
            InsertDefaultPayPeriod();
        }
    } catch (...) {
        SetDefaultRules();
    }
    subCloseRecordset(rs);
}

void clsTCrules::LoadRulesRow(const Recordset &rsIn) {
    Recordset &rs = const_cast<Recordset &>(rsIn);
    rs.moveFirst();
    for (const RuleBinding &b : bindings()) {
        try {
            b.load(*this, rs.value(QString::fromLatin1(b.column)));
        } catch (...) {
            // A missing column or a Null that cannot be converted leaves the rule as it was.
        }
    }
}

void clsTCrules::SetDefaultRules() {
    blnAutoLunchByDay = false;
    blnAutopollByInterval = false;
    blnAutopollImportNow = false;
    blnAutoPollMessages = false;
    blnDatafldOnIN = false;
    blnDatafldTotals = false;
    blnDaysWorked = false;
    blnEditOn = true;
    blnFlagEdits = true;
    blnFullDayAutolunch = false;
    blnShowMaterial = false;
    blnTaskOnIN = false;
    blnTaskTotals = false;
    blnTcMemos = false;
    blnUnlimitedSwipeNGo = false;
    blnUpToMin = false;
    blnValidateIO = true;
    dblTerminalVersion = 0;
    dtmDayStart = kDateZeroRule;
    dtmLastPoll = kDateZeroRule;
    dtmPayPrior = kDateZeroRule;
    dtmPayStart = kDateZeroRule;
    dtmPayThru = kDateZeroRule;
    intAccessRelayTime = 0;
    intDatafldFormat = 0;
    intHighWarning = 0;
    intIdDigits = 0;
    intLowWarning = 0;
    intLunchAt = 0;
    intLunchlen = 0;
    intSemi1 = 0;
    intSemi2 = 0;
    intTaskAs = 0;
    intTaskFormat = 0;
    intWeekStart = 0;
    lngAutoPollRetries = 0;
    lngSwipeNGoThreshold = 0;
    sngDayOT1 = 0;
    sngDayOT2 = 0;
    sngRateOT1 = 1.5f;
    sngRateOT2 = 0;
    sngWeekOT1 = 40;
    sngWeekOT2 = 0;
    strAccrueTitle1 = QStringLiteral("ACCRUAL1");
    strAccrueTitle2 = QStringLiteral("ACCRUAL2");
    strAccrueTitle3 = QStringLiteral("ACCRUAL3");
    strClockPrompt1 = QStringLiteral("ENTER ID NUMBER");
    strClockPrompt2 = QStringLiteral("ENTER ID NUMBER");
    strClockPrompt3 = QStringLiteral("ENTER ID NUMBER");
    strDatafldTitle = QStringLiteral("DATAFLD");
    strPayType = QStringLiteral("Custom");
    strRounding.clear();
    strSort1 = QStringLiteral("SORT1");
    strSort2 = QStringLiteral("SORT2");
    strSort3 = QStringLiteral("SORT3");
    strTaskTitle.clear();
}

void clsTCrules::InsertDefaultPayPeriod() {
    dtmPayStart = Clock::today();
    dtmPayThru = dtmPayStart + 6;
    dtmPayPrior = dtmPayStart - 7;
    Database &db = conn();
    db.execute(QStringLiteral(
                   "INSERT INTO \"TCRULES\" (\"PAY START\", \"PAY END\", \"LAST START\") VALUES (?, ?, ?)"),
               {db.date(dtmPayStart), db.date(dtmPayThru), db.date(dtmPayPrior)});
}

double clsTCrules::varDateFirstOfWeek(double d, int n) {
    double day = d;
    for (int step = 0; step < 7; ++step) {
        if (weekday(day) == n) return day;
        day -= 1;
    }
    subReportError(QStringLiteral("clsTCRules"), QStringLiteral("Procedure"),
                   QStringLiteral("varDateFirstOfWeek"), QString(),
                   HxError(QStringLiteral("The week start %1 is not a weekday number from 1 to 7.").arg(n),
                           ErrNo::InvalidProcedureCall));
    return d;
}

double clsTCrules::dteStartOfWeek() {
    return varDateFirstOfWeek(Clock::today(), static_cast<uint8_t>(intWeekStart));
}

QStringList clsTCrules::describe() const {
    QStringList out;
    for (const RuleBinding &b : bindings())
        out << QLatin1String(b.property) + QStringLiteral(" = ") + b.show(*this);
    return out;
}

} // namespace hx
