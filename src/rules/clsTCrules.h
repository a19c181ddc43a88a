#pragma once
// The site-wide time clock rules, loaded once from the single-row TCRULES
// table and only read afterwards.
#include "component/Database.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace hx {

class clsTCrules {
public:
    bool blnAutoLunchByDay = false;
    bool blnAutopollByInterval = false;
    bool blnAutopollImportNow = false;
    bool blnAutoPollMessages = false;
    bool blnDatafldOnIN = false;
    bool blnDatafldTotals = false;
    bool blnDaysWorked = false;
    bool blnEditOn = false;
    bool blnFlagEdits = false;
    bool blnFullDayAutolunch = false;
    bool blnShowMaterial = false;
    bool blnTaskOnIN = false;
    bool blnTaskTotals = false;
    bool blnTcMemos = false;
    bool blnUnlimitedSwipeNGo = false;
    bool blnUpToMin = false;
    bool blnValidateIO = false;
    double dblTerminalVersion = 0;
    double dtmDayStart = 0;
    double dtmLastPoll = 0;
    double dtmPayPrior = 0;
    double dtmPayStart = 0;
    double dtmPayThru = 0;
    int16_t intAccessRelayTime = 0;
    int16_t intDatafldFormat = 0;
    int16_t intHighWarning = 0;
    int16_t intIdDigits = 0;
    int16_t intLogFileDays = 0;
    int16_t intLowWarning = 0;
    int16_t intLunchAt = 0;
    int16_t intLunchlen = 0;
    int16_t intSemi1 = 0;
    int16_t intSemi2 = 0;
    int16_t intTaskAs = 0;
    int16_t intTaskFormat = 0;
    int16_t intWeekStart = 0;
    int32_t lngAutoPollRetries = 0;
    int32_t lngSwipeNGoThreshold = 0;
    float sngDayOT1 = 0;
    float sngDayOT2 = 0;
    float sngRateOT1 = 0;
    float sngRateOT2 = 0;
    float sngWeekOT1 = 0;
    float sngWeekOT2 = 0;
    QString strAccrueTitle1;
    QString strAccrueTitle2;
    QString strAccrueTitle3;
    QString strClockPrompt1;
    QString strClockPrompt2;
    QString strClockPrompt3;
    QString strDatafldTitle;
    QString strPayType;
    QString strRounding;
    QString strSort1;
    QString strSort2;
    QString strSort3;
    QString strTaskTitle;

    // Loads the lowest-ID row of TCRULES over gConn; an empty table gives the
    // defaults and a new pay-period row; any error gives the defaults.
    void ReadValues();
    // The most recent day, today included, whose weekday is intWeekStart.
    double dteStartOfWeek();
    // Every rule as "name = value", in declaration order.
    QStringList describe() const;

    // Exposed for the tests; private steps of ReadValues otherwise.
    void LoadRulesRow(const Recordset &rs);
    void SetDefaultRules();
    void InsertDefaultPayPeriod();
    // Latest date not after d whose weekday number is n; gives up after seven
    // steps (a week start outside 1 to 7), reports it and returns d.
    double varDateFirstOfWeek(double d, int n);
};

// The one rules object, loaded at start-up.
extern std::unique_ptr<clsTCrules> gTCRules;
// gTCRules, created (with empty-table defaults) when missing.
clsTCrules &rules();

} // namespace hx
