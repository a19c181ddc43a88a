-- Tables of the suite's database that the poll log component reads and writes,
-- for the embedded SQLite engine. Storage convention: dates TEXT 'YYYY-MM-DD',
-- times of day TEXT 'HH:MM:SS' (24-hour), date-times TEXT 'YYYY-MM-DD HH:MM:SS',
-- booleans INTEGER 1/0. Identifiers are spelled as the code spells them.

CREATE TABLE "IMPORT" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "EMPLOYEE ID" INTEGER,
    "CLOCK ID" INTEGER,
    "IN DATE" TEXT,
    "IN TIME" TEXT,
    "DEPT ID" INTEGER,
    "DEPT NAME" TEXT,
    "DATAFLDEN" INTEGER DEFAULT 0,
    "DATAFLD" REAL,
    "TASK" REAL,
    "SIGN IN" INTEGER,
    "PunchType" INTEGER,
    "Overide" INTEGER,
    "Excused" INTEGER DEFAULT 0,
    "CLOCK NUMBER" INTEGER,
    "Edited" INTEGER DEFAULT 0
);

CREATE TABLE "PUNCH" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "EMPLOYEE ID" INTEGER,
    "IN DATE" TEXT,
    "IN TIME" TEXT,
    "OUT TIME" TEXT,
    "ODOW" INTEGER,
    "AdjustedDate" TEXT,
    "InPunchType" INTEGER,
    "OutPunchType" INTEGER,
    "InExcused" INTEGER DEFAULT 0,
    "OutExcused" INTEGER DEFAULT 0,
    "InOveride" INTEGER,
    "OutOveride" INTEGER,
    "InCode" INTEGER DEFAULT 0,
    "OutCode" INTEGER DEFAULT 0,
    "Schedule" INTEGER,
    "DATAFLD" REAL,
    "TASK" REAL,
    "DEPT NAME" TEXT,
    "CLOCK NUMBER" INTEGER,
    "EDIT FLAG" INTEGER DEFAULT 0,
    "CLOCK EDIT FLAG" INTEGER DEFAULT 0,
    "RecalcHrs" INTEGER DEFAULT 0,
    "NONWORKED" TEXT,
    "timein" TEXT,
    "timeout" TEXT,
    "OTRULES" REAL,
    "PAYRATE" REAL,
    "DEPT HOURS" REAL,
    "UseDiff" INTEGER DEFAULT 0,
    "LUNCHLEN" REAL,
    "LUNCH AT" REAL,
    "ERRORCODE" INTEGER DEFAULT 0
);

CREATE TABLE "EMPLOYEE" (
    "EMPLOYEE ID" INTEGER PRIMARY KEY,
    "CLOCK ID" INTEGER,
    "NEWBADGE" INTEGER DEFAULT 0,
    "LAST NAME" TEXT,
    "FIRST NAME" TEXT,
    "AccessControl" TEXT,
    "SORT2" TEXT,
    "SwipeAndGo" INTEGER DEFAULT 0,
    "SCHEDULE" INTEGER,
    "OLDSCHEDULE" INTEGER,
    "STATUS" INTEGER DEFAULT 1,
    "MSGCODE" INTEGER,
    "MESSAGE" TEXT
);

CREATE TABLE "DEPT" (
    "DEPT ID" INTEGER PRIMARY KEY,
    "DEPT NAME" TEXT,
    "DATAFLDEN" INTEGER DEFAULT 0,
    "STATUS" INTEGER DEFAULT 0
);

CREATE TABLE "DEPTQUAL" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "EMPLOYEE ID" INTEGER,
    "DEPT NAME" TEXT,
    "SEQUENCE" REAL,
    "OTRULES" REAL,
    "PAYRATE" REAL,
    "IREVLOW" TEXT,
    "IREVHI" TEXT,
    "OREVLOW" TEXT,
    "OREVHI" TEXT,
    "UseDiff" INTEGER DEFAULT 0,
    "LUNCHLEN" TEXT,
    "LUNCH AT" TEXT
);

CREATE TABLE "CLOCK" (
    "CLOCK NUMBER" INTEGER PRIMARY KEY,
    "CLOCK NAME" TEXT,
    "COMMS TYPE" TEXT,
    "AccessOnly" INTEGER DEFAULT 0,
    "status" INTEGER DEFAULT 0
);

CREATE TABLE "CKQUAL" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "CLOCK NUMBER" INTEGER,
    "EMPLOYEE ID" INTEGER,
    "STATUS" TEXT
);

CREATE TABLE "SCHEDULE" (
    "ScheduleNumber" INTEGER PRIMARY KEY,
    "ScheduleName" TEXT,
    "ScheduleEdited" INTEGER DEFAULT 0,
    "UOpen" INTEGER DEFAULT 0,
    "USchIn" TEXT,
    "UEarlyIn" TEXT,
    "ULateIn" TEXT,
    "USchLunchIn" TEXT,
    "UEarlyLunchIn" TEXT,
    "ULateLunchIn" TEXT,
    "USchOut" TEXT,
    "UEarlyOut" TEXT,
    "ULateOut" TEXT,
    "USchLunchOut" TEXT,
    "UEarlyLunchOut" TEXT,
    "ULateLunchOut" TEXT,
    "MOpen" INTEGER DEFAULT 0,
    "MSchIn" TEXT,
    "MEarlyIn" TEXT,
    "MLateIn" TEXT,
    "MSchLunchIn" TEXT,
    "MEarlyLunchIn" TEXT,
    "MLateLunchIn" TEXT,
    "MSchOut" TEXT,
    "MEarlyOut" TEXT,
    "MLateOut" TEXT,
    "MSchLunchOut" TEXT,
    "MEarlyLunchOut" TEXT,
    "MLateLunchOut" TEXT,
    "EOpen" INTEGER DEFAULT 0,
    "ESchIn" TEXT,
    "EEarlyIn" TEXT,
    "ELateIn" TEXT,
    "ESchLunchIn" TEXT,
    "EEarlyLunchIn" TEXT,
    "ELateLunchIn" TEXT,
    "ESchOut" TEXT,
    "EEarlyOut" TEXT,
    "ELateOut" TEXT,
    "ESchLunchOut" TEXT,
    "EEarlyLunchOut" TEXT,
    "ELateLunchOut" TEXT,
    "WOpen" INTEGER DEFAULT 0,
    "WSchIn" TEXT,
    "WEarlyIn" TEXT,
    "WLateIn" TEXT,
    "WSchLunchIn" TEXT,
    "WEarlyLunchIn" TEXT,
    "WLateLunchIn" TEXT,
    "WSchOut" TEXT,
    "WEarlyOut" TEXT,
    "WLateOut" TEXT,
    "WSchLunchOut" TEXT,
    "WEarlyLunchOut" TEXT,
    "WLateLunchOut" TEXT,
    "HOpen" INTEGER DEFAULT 0,
    "HSchIn" TEXT,
    "HEarlyIn" TEXT,
    "HLateIn" TEXT,
    "HSchLunchIn" TEXT,
    "HEarlyLunchIn" TEXT,
    "HLateLunchIn" TEXT,
    "HSchOut" TEXT,
    "HEarlyOut" TEXT,
    "HLateOut" TEXT,
    "HSchLunchOut" TEXT,
    "HEarlyLunchOut" TEXT,
    "HLateLunchOut" TEXT,
    "ROpen" INTEGER DEFAULT 0,
    "RSchIn" TEXT,
    "REarlyIn" TEXT,
    "RLateIn" TEXT,
    "RSchLunchIn" TEXT,
    "REarlyLunchIn" TEXT,
    "RLateLunchIn" TEXT,
    "RSchOut" TEXT,
    "REarlyOut" TEXT,
    "RLateOut" TEXT,
    "RSchLunchOut" TEXT,
    "REarlyLunchOut" TEXT,
    "RLateLunchOut" TEXT,
    "AOpen" INTEGER DEFAULT 0,
    "ASchIn" TEXT,
    "AEarlyIn" TEXT,
    "ALateIn" TEXT,
    "ASchLunchIn" TEXT,
    "AEarlyLunchIn" TEXT,
    "ALateLunchIn" TEXT,
    "ASchOut" TEXT,
    "AEarlyOut" TEXT,
    "ALateOut" TEXT,
    "ASchLunchOut" TEXT,
    "AEarlyLunchOut" TEXT,
    "ALateLunchOut" TEXT
);

CREATE TABLE "JOB" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "JOB NUMBER" REAL,
    "JOB NAME" TEXT
);

CREATE TABLE "TASK" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "TASK NUMBER" REAL,
    "TASK NAME" TEXT
);

CREATE TABLE "CustomRound" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "MinuteMin" REAL,
    "MinuteMax" REAL,
    "NewMinuteValue" REAL,
    "Applies To" REAL
);

CREATE TABLE "CustomHours" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "HoursMin" REAL,
    "HoursMax" REAL,
    "HoursMultiply" REAL,
    "HoursConstant" REAL
);

CREATE TABLE "AccessPunch" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "Date" TEXT,
    "Time" TEXT,
    "SEQUENCE" TEXT,
    "Clock" INTEGER,
    "EmployeeClock" INTEGER,
    "type" INTEGER,
    "Valid" INTEGER DEFAULT 0,
    "Failure" INTEGER
);

CREATE TABLE "TCRULES" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "FullDayAutoLunch" INTEGER DEFAULT 0,
    "AutoPollByInterval" INTEGER DEFAULT 0,
    "AutoPollImportNow" INTEGER DEFAULT 0,
    "blnAutoPollMessages" INTEGER DEFAULT 0,
    "DATAFLD INPUT" INTEGER DEFAULT 0,
    "DATAFLD TOTALS" INTEGER DEFAULT 0,
    "DAYS WORKED" INTEGER DEFAULT 0,
    "EDITON" INTEGER DEFAULT 1,
    "FLAG EDITS" INTEGER DEFAULT 1,
    "ShowMaterial" INTEGER DEFAULT 0,
    "TASK INPUT" INTEGER DEFAULT 0,
    "TASK TOTALS" INTEGER DEFAULT 0,
    "TCMEMOS" INTEGER DEFAULT 0,
    "blnUnlimitedSwipeNGo" INTEGER DEFAULT 0,
    "UpToMin" INTEGER DEFAULT 0,
    "VALIO" INTEGER DEFAULT 1,
    "TerminalVersion" REAL DEFAULT 0,
    "DAY START" TEXT,
    "LastPoll" TEXT,
    "LAST START" TEXT,
    "PAY START" TEXT,
    "PAY END" TEXT,
    "AccessRelayTime" INTEGER DEFAULT 0,
    "DATAFLD FORMAT" INTEGER DEFAULT 0,
    "WARNING" INTEGER DEFAULT 0,
    "IdDigits" INTEGER DEFAULT 0,
    "POLL LOG FOR" INTEGER DEFAULT 0,
    "LESS WARN" INTEGER DEFAULT 0,
    "LUNCH AT" INTEGER DEFAULT 0,
    "LUNCHLEN" INTEGER DEFAULT 0,
    "SEMI 1" INTEGER DEFAULT 0,
    "SEMI 2" INTEGER DEFAULT 0,
    "TASKAS" INTEGER DEFAULT 0,
    "TASK FORMAT" INTEGER DEFAULT 0,
    "WEEK START" INTEGER DEFAULT 0,
    "AutoPollRetrys" INTEGER DEFAULT 0,
    "lngSgThreshold" INTEGER DEFAULT 0,
    "DAY OT1" REAL DEFAULT 0,
    "DAY OT2" REAL DEFAULT 0,
    "RATE OT1" REAL DEFAULT 1.5,
    "RATE OT2" REAL DEFAULT 0,
    "WEEK OT1" REAL DEFAULT 40,
    "WEEK OT2" REAL DEFAULT 0,
    "A1TITLE" TEXT DEFAULT 'ACCRUAL1',
    "A2TITLE" TEXT DEFAULT 'ACCRUAL2',
    "A3TITLE" TEXT DEFAULT 'ACCRUAL3',
    "SPROMPT1" TEXT DEFAULT 'ENTER ID NUMBER',
    "SPROMPT2" TEXT DEFAULT 'ENTER ID NUMBER',
    "SPROMPT3" TEXT DEFAULT 'ENTER ID NUMBER',
    "DFLDTITLE" TEXT DEFAULT 'DATAFLD',
    "PAY TYPE" TEXT DEFAULT 'Custom',
    "ROUNDING" TEXT,
    "SORT 1" TEXT DEFAULT 'SORT1',
    "SORT 2" TEXT DEFAULT 'SORT2',
    "SORT 3" TEXT DEFAULT 'SORT3',
    "TASKTITLE" TEXT
);

-- The register of the poll records met in the last year, shared by every
-- host on the database. The key leads with the moment, for the pruning.
CREATE TABLE "PrevPunch" (
    "Sequence" TEXT NOT NULL,
    "PunchDate" TEXT NOT NULL,
    "Checksum" TEXT NOT NULL
);

-- One row per import: when, where, by whom, what it read and did, and how
-- it ended (saved, saved_with_errors, not_saved).
CREATE TABLE "PollImportRun" (
    "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
    "Started" TEXT NOT NULL,
    "Finished" TEXT NOT NULL,
    "Host" TEXT,
    "User" TEXT,
    "Source" TEXT,
    "Files" TEXT,
    "RecordsRead" INTEGER,
    "RecordsSkippedSeen" INTEGER,
    "BadLines" INTEGER,
    "PunchesNew" INTEGER,
    "DuplicatesRemoved" INTEGER,
    "PairsOpened" INTEGER,
    "PairsClosed" INTEGER,
    "ScheduledPairs" INTEGER,
    "RowsRecalculated" INTEGER,
    "Employees" INTEGER,
    "EarliestPunch" TEXT,
    "Errors" TEXT,
    "Seconds" REAL,
    "Outcome" TEXT NOT NULL,
    "Cause" TEXT,
    "ExitStatus" INTEGER
);

-- The last upgrade step the database has taken.
CREATE TABLE "SchemaVersion" (
    "Version" INTEGER NOT NULL
);

CREATE INDEX "POLLIMPORTRUN_STARTED" ON "PollImportRun" ("Started");
CREATE UNIQUE INDEX "PREVPUNCH_KEY" ON "PrevPunch" ("PunchDate", "Sequence", "Checksum");
CREATE INDEX "IMPORT_BADGE" ON "IMPORT" ("CLOCK ID", "IN DATE", "IN TIME", "ID");
CREATE INDEX "IMPORT_EMPLOYEE" ON "IMPORT" ("EMPLOYEE ID", "IN DATE", "IN TIME", "ID");
CREATE INDEX "PUNCH_EMPLOYEE_IN" ON "PUNCH" ("EMPLOYEE ID", "IN DATE", "IN TIME");
CREATE INDEX "PUNCH_EMPLOYEE_OPEN" ON "PUNCH" ("EMPLOYEE ID", "IN DATE", "IN TIME") WHERE "OUT TIME" IS NULL;
CREATE INDEX "PUNCH_RECALC" ON "PUNCH" ("EMPLOYEE ID", "IN DATE", "IN TIME") WHERE "RecalcHrs" = 1;
CREATE INDEX "PUNCH_SCHEDULED" ON "PUNCH" ("IN DATE") WHERE "InCode" = 4;
CREATE INDEX "EMPLOYEE_CLOCK_ID" ON "EMPLOYEE" ("CLOCK ID");
CREATE INDEX "EMPLOYEE_NEWBADGE" ON "EMPLOYEE" ("NEWBADGE");
CREATE INDEX "DEPT_NAME" ON "DEPT" ("DEPT NAME");
CREATE INDEX "DEPTQUAL_EMPLOYEE" ON "DEPTQUAL" ("EMPLOYEE ID", "SEQUENCE", "DEPT NAME");
CREATE INDEX "DEPTQUAL_EMPLOYEE_DEPT" ON "DEPTQUAL" ("EMPLOYEE ID", "DEPT NAME");
CREATE INDEX "CKQUAL_STATUS" ON "CKQUAL" ("STATUS");
CREATE INDEX "JOB_NUMBER" ON "JOB" ("JOB NUMBER");
CREATE INDEX "TASK_NUMBER" ON "TASK" ("TASK NUMBER");
CREATE INDEX "ACCESSPUNCH_EVENT" ON "AccessPunch" ("Date", "Time", "SEQUENCE", "Clock");
