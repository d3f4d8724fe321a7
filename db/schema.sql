-- The results database as VX8 reads and writes it.
--
-- Production databases are created and upgraded by the separate administration program; this file
-- builds the same tables for the tests and the demo. Identifiers are unquoted, as the program's
-- statements spell them, so the server folds them to lower case: Instrument_information,
-- Instrument_Information and instrument_information are one table.
--
-- Value conventions: a missing number is -999, a placeholder date 1990-01-01 00:00:00, date-times
-- are local wall-clock times without a zone. Rows are found by their natural keys (select, then
-- edit or append); the unique indexes marked "guard" make a writer that duplicates rows fail loudly.
--
-- Schema version 23 (db_version). Columns written only for versions above 23 (kor7.livemode,
-- kor7.audiotst...) are present here as well.

SET client_encoding = 'UTF8';

-- Version of this schema and the lowest program version (hundredths) the database accepts.
CREATE TABLE db_version (
    db_version integer NOT NULL,
    vx8_req integer NOT NULL DEFAULT 0
);

-- E-mail notification settings the program copies into the docks; only the first row is read.
CREATE TABLE emailoptions (
    emailenabled boolean DEFAULT false,
    recipient1 text,
    addedmsgtext text,
    smtpipaddress text
);

-- Login users, maintained by the administration program; the password is compared as stored.
CREATE TABLE users (
    user_id text NOT NULL,
    password text NOT NULL DEFAULT '',
    technician boolean DEFAULT false,
    administrative boolean DEFAULT false
);

-- VOC list, read in voccode order; the templates index it by position.
CREATE TABLE voc_info (
    voc_infoidx serial PRIMARY KEY,
    voccode integer NOT NULL,
    longname text,
    shortname text,
    factor integer,
    warningalarm integer,
    dangeralarm integer,
    stelalarm integer,
    twaalarm integer
);

-- Instrument-type details: the default template of each type.
CREATE TABLE InstrDetails (
    InstrNumber integer NOT NULL,
    Instrument_Type text NOT NULL,
    DefaultTemplate integer NOT NULL DEFAULT 0
);

-- Instrument templates. Integer settings: -999 leaves the instrument's value, -888 sets the
-- instrument default. Gas columns are named by the gas name; names that are not plain
-- identifiers ("CO+", "CO-", "Unknown (n)") have no columns.
CREATE TABLE Templates (
    TemplateID serial PRIMARY KEY,
    TemplateName text NOT NULL,
    apply_k7 boolean NOT NULL DEFAULT true,
    DownloadData boolean DEFAULT false,
    dlalmsonly boolean DEFAULT false,
    ClearDatalogger boolean DEFAULT false,
    ClearEventlogger boolean DEFAULT false,
    CalibrateDaysEnabled boolean DEFAULT false,
    updatestartscrns boolean DEFAULT false,
    InstrCalDueReminder integer DEFAULT -999,
    CalibrateDays integer DEFAULT -999,
    voccode integer DEFAULT -999,
    vocfactor integer DEFAULT -999,
    SamplingInterval integer DEFAULT -999,
    SecurityBeepInterval integer DEFAULT -999,
    StelTime integer DEFAULT -999,
    twahours integer DEFAULT -999,
    BumpInterval integer DEFAULT -999,
    LanguageCode integer DEFAULT -999,
    PeakReadingsEnabled integer DEFAULT -999,
    STELReadingsEnabled integer DEFAULT -999,
    TWAReadingsEnabled integer DEFAULT -999,
    AlarmLatch integer DEFAULT -999,
    CalLock integer DEFAULT -999,
    VibratingAlarm integer DEFAULT -999,
    avgeenabled integer DEFAULT -999,
    uselargeclamp integer DEFAULT -999,
    freshaircalonstart integer DEFAULT -999,
    enteruseronstart integer DEFAULT -999,
    -- oxygen
    O2ceilingalarm integer DEFAULT -999,
    O2lowalarm integer DEFAULT -999,
    -- combustible (codes 20-29, including 28 "CH4") and LEL code 42 (which also has STEL/TWA)
    LELwarningalarm integer DEFAULT -999,
    LELceilingalarm integer DEFAULT -999,
    LELstelalarm integer DEFAULT -999,
    LELtwaalarm integer DEFAULT -999,
    LELcalgasvalue integer DEFAULT -999,
    VOCwarningalarm integer DEFAULT -999,
    VOCceilingalarm integer DEFAULT -999,
    VOCstelalarm integer DEFAULT -999,
    VOCtwaalarm integer DEFAULT -999,
    VOCcalgasvalue integer DEFAULT -999,
    EXwarningalarm integer DEFAULT -999,
    EXceilingalarm integer DEFAULT -999,
    EXstelalarm integer DEFAULT -999,
    EXtwaalarm integer DEFAULT -999,
    EXcalgasvalue integer DEFAULT -999,
    CH4warningalarm integer DEFAULT -999,
    CH4ceilingalarm integer DEFAULT -999,
    CH4stelalarm integer DEFAULT -999,
    CH4twaalarm integer DEFAULT -999,
    CH4calgasvalue integer DEFAULT -999,
    CO2warningalarm integer DEFAULT -999,
    CO2ceilingalarm integer DEFAULT -999,
    CO2stelalarm integer DEFAULT -999,
    CO2twaalarm integer DEFAULT -999,
    CO2calgasvalue integer DEFAULT -999,
    COwarningalarm integer DEFAULT -999,
    COceilingalarm integer DEFAULT -999,
    COstelalarm integer DEFAULT -999,
    COtwaalarm integer DEFAULT -999,
    COcalgasvalue integer DEFAULT -999,
    H2Swarningalarm integer DEFAULT -999,
    H2Sceilingalarm integer DEFAULT -999,
    H2Sstelalarm integer DEFAULT -999,
    H2Stwaalarm integer DEFAULT -999,
    H2Scalgasvalue integer DEFAULT -999,
    SO2warningalarm integer DEFAULT -999,
    SO2ceilingalarm integer DEFAULT -999,
    SO2stelalarm integer DEFAULT -999,
    SO2twaalarm integer DEFAULT -999,
    SO2calgasvalue integer DEFAULT -999,
    Cl2warningalarm integer DEFAULT -999,
    Cl2ceilingalarm integer DEFAULT -999,
    Cl2stelalarm integer DEFAULT -999,
    Cl2twaalarm integer DEFAULT -999,
    Cl2calgasvalue integer DEFAULT -999,
    ClO2warningalarm integer DEFAULT -999,
    ClO2ceilingalarm integer DEFAULT -999,
    ClO2stelalarm integer DEFAULT -999,
    ClO2twaalarm integer DEFAULT -999,
    ClO2calgasvalue integer DEFAULT -999,
    NO2warningalarm integer DEFAULT -999,
    NO2ceilingalarm integer DEFAULT -999,
    NO2stelalarm integer DEFAULT -999,
    NO2twaalarm integer DEFAULT -999,
    NO2calgasvalue integer DEFAULT -999,
    NOwarningalarm integer DEFAULT -999,
    NOceilingalarm integer DEFAULT -999,
    NOstelalarm integer DEFAULT -999,
    NOtwaalarm integer DEFAULT -999,
    NOcalgasvalue integer DEFAULT -999,
    NH3warningalarm integer DEFAULT -999,
    NH3ceilingalarm integer DEFAULT -999,
    NH3stelalarm integer DEFAULT -999,
    NH3twaalarm integer DEFAULT -999,
    NH3calgasvalue integer DEFAULT -999,
    PH3warningalarm integer DEFAULT -999,
    PH3ceilingalarm integer DEFAULT -999,
    PH3stelalarm integer DEFAULT -999,
    PH3twaalarm integer DEFAULT -999,
    PH3calgasvalue integer DEFAULT -999,
    HCNwarningalarm integer DEFAULT -999,
    HCNceilingalarm integer DEFAULT -999,
    HCNstelalarm integer DEFAULT -999,
    HCNtwaalarm integer DEFAULT -999,
    HCNcalgasvalue integer DEFAULT -999,
    startscr1 text DEFAULT '',
    startscr2 text DEFAULT '',
    startscr3 text DEFAULT '',
    startscr4 text DEFAULT '',
    servscr1 text DEFAULT '',
    servscr2 text DEFAULT '',
    servscr3 text DEFAULT '',
    servscr4 text DEFAULT ''
);

-- Instrument option defaults, one row per instrument type.
CREATE TABLE instrdefaults (
    instrumenttype text NOT NULL,
    sampling_interval integer,
    security_interval integer,
    stelTime integer,
    twahours integer,
    instrcalduereminder integer,
    bumpinterval integer,
    PeakReadings integer,
    TWAReadings integer,
    STELReadings integer,
    LatchAlarm integer,
    CalLock integer,
    VibratingAlarm integer,
    avgeenabled integer,
    uselargeclamp integer,
    freshaircalonstart integer,
    enteruseronstart integer
);

-- Calibration-gas defaults (per gas name) and ranges (per gas setup component, lower case).
CREATE TABLE AutoCalGasRanges (
    InstrumentType text NOT NULL,
    LELDefaultAutoSpanCal integer,
    CH4DefaultAutoSpanCal integer,
    VOCDefaultAutoSpanCal integer,
    EXDefaultAutoSpanCal integer,
    CO2DefaultAutoSpanCal integer,
    CODefaultAutoSpanCal integer,
    H2SDefaultAutoSpanCal integer,
    SO2DefaultAutoSpanCal integer,
    Cl2DefaultAutoSpanCal integer,
    ClO2DefaultAutoSpanCal integer,
    NO2DefaultAutoSpanCal integer,
    NODefaultAutoSpanCal integer,
    NH3DefaultAutoSpanCal integer,
    PH3DefaultAutoSpanCal integer,
    HCNDefaultAutoSpanCal integer,
    o2minautospancal integer,
    o2maxautospancal integer,
    lelminautospancal integer,
    lelmaxautospancal integer,
    ch4minautospancal integer,
    ch4maxautospancal integer,
    vocminautospancal integer,
    vocmaxautospancal integer,
    exminautospancal integer,
    exmaxautospancal integer,
    co2minautospancal integer,
    co2maxautospancal integer,
    cominautospancal integer,
    comaxautospancal integer,
    h2sminautospancal integer,
    h2smaxautospancal integer,
    so2minautospancal integer,
    so2maxautospancal integer,
    cl2minautospancal integer,
    cl2maxautospancal integer,
    clo2minautospancal integer,
    clo2maxautospancal integer,
    no2minautospancal integer,
    no2maxautospancal integer,
    nominautospancal integer,
    nomaxautospancal integer,
    nh3minautospancal integer,
    nh3maxautospancal integer,
    ph3minautospancal integer,
    ph3maxautospancal integer,
    hcnminautospancal integer,
    hcnmaxautospancal integer,
    h2minautospancal integer,
    h2maxautospancal integer
);

-- Instrument register, one row per instrument type and serial.
CREATE TABLE Instrument_information (
    Instrument_type text NOT NULL,
    Serial_Number text NOT NULL,
    UserName text,
    Manager text,
    Owner text,
    Email1 text,
    Location text,
    Department text,
    ServiceHistory text,
    RevisionHistory text,
    O2_Name text,
    O2_Serial text,
    LEL_Name text,
    LEL_Serial text,
    HC_Name text,
    HC_Serial text,
    TOX1_Name text,
    TOX1_Serial text,
    TOX2_Name text,
    TOX2_Serial text,
    TOX3_Name text,
    TOX3_Serial text,
    CO2_Name text,
    CO2_Serial text,
    InstrPlaceInService timestamp without time zone,
    TemplateID integer DEFAULT 0,
    TemplateName text,
    Comments text,
    Rechargeable integer DEFAULT 0,
    Locked boolean DEFAULT false,
    Tagged boolean DEFAULT false,
    outofservice boolean DEFAULT false
);
CREATE UNIQUE INDEX instrument_information_guard ON Instrument_information (Instrument_type, Serial_Number);

-- One calibration record per instrument serial and test time.
CREATE TABLE kor7 (
    kor7idx serial PRIMARY KEY,
    Serial_Number text NOT NULL,
    Date_Time timestamp without time zone NOT NULL,
    FullCalDate timestamp without time zone,
    SystemCode text,
    ControllerID text,
    DockID text,
    Locked boolean DEFAULT false,
    ID_Num integer,
    OTP_Ver text,
    Software_Ver text,
    Voltage text,
    audiodbmin integer,
    audiodbmax integer,
    UserID text,
    RemindInterval integer,
    Settings integer,
    Security_Interval integer,
    Sampling_Interval integer,
    StelTime integer,
    PeakReadingsEnabled boolean,
    STELReadingsEnabled boolean,
    TWAReadingsEnabled boolean,
    AlarmLatch boolean,
    flags1 integer,
    BL_Timeout integer,
    Alarm_Freq1 integer,
    Alarm_Freq2 integer,
    TemplateName text,
    TemplateID integer,
    VibratingAlarm boolean,
    BumpInterval integer,
    totalruntime integer,
    turnontime timestamp without time zone,
    bumpdate timestamp without time zone,
    servicedate timestamp without time zone,
    servicereminder integer,
    twahours integer,
    avgeenabled boolean,
    uselargeclamp boolean,
    calduelockout boolean,
    freshaircalonstart boolean,
    enteruseronstart boolean,
    BumpTestOnly boolean,
    livemode integer,
    audiotstpeakright integer,
    audiotstmin integer,
    audiotstparmminright integer,
    audiotstparmminleft integer,
    audiotstparmspan integer
);
CREATE UNIQUE INDEX kor7_guard ON kor7 (Serial_Number, Date_Time);

-- One sensor record per test time, instrument and sensor.
CREATE TABLE SensorData (
    id serial PRIMARY KEY,
    Date_Time timestamp without time zone NOT NULL,
    Instrument_Type text NOT NULL,
    Instr_Serial_Number text NOT NULL,
    Sensor_Name text,
    Sensor_Serial text,
    sensor_type integer,
    voccode integer,
    wexpdate timestamp without time zone,
    UserID text,
    SystemCode text,
    CalGasLotNum text,
    CalGasPONum text,
    DockFirmware text,
    PCSoftwareVersion text,
    Manuf_Serial text,
    Manuf_Location text,
    Manuf_Date text,
    Warranty_Exp text,
    Sensor_Service_Date_Time timestamp without time zone,
    Zero_Date_Time1 timestamp without time zone,
    Zero_Date_Time2 timestamp without time zone,
    Zero_Date_Time3 timestamp without time zone,
    Zero_Date_Time4 timestamp without time zone,
    Zero_Date_Time5 timestamp without time zone,
    Zero_Date_Time6 timestamp without time zone,
    Zero_Date_Time7 timestamp without time zone,
    Zero_Date_Time8 timestamp without time zone,
    Span_Date_Time1 timestamp without time zone,
    Span_Date_Time2 timestamp without time zone,
    Span_Date_Time3 timestamp without time zone,
    Span_Date_Time4 timestamp without time zone,
    Span_Date_Time5 timestamp without time zone,
    Span_Date_Time6 timestamp without time zone,
    Span_Date_Time7 timestamp without time zone,
    Span_Date_Time8 timestamp without time zone,
    Temperature_Low_Alarm integer,
    Temperature_High_Alarm integer,
    Span_Cal_Gas_Type integer,
    Zero_Correct integer,
    Span_Correct integer,
    Min_Current_Delta integer,
    Min_Current_Delta2 integer,
    Max_Current_Delta integer,
    Warn_Low_Alarm integer,
    Warn_Stel_Alarm integer,
    Warn_Twa_Alarm integer,
    Warn_Ceiling_Alarm integer,
    Def2_Ceiling_Alarm integer,
    Def2_Stel_Alarm integer,
    Def2_Twa_Alarm integer,
    Sensor_Version integer,
    Min_Auto_Span_Cal integer,
    Min_Auto_Span_Cal2 integer,
    Max_Auto_Span_Cal integer,
    Max_Auto_Span_Cal2 integer,
    Min_Auto_Span_Time integer,
    Auto_Span_Stability integer,
    Prove_Time integer,
    Zero_Band integer,
    Span_Band integer,
    Min_Current integer,
    Max_Current integer,
    Info integer,
    Zero_Cal_Current integer,
    Span_Cal_Current integer,
    Def_Low_Alarm integer,
    Def_Ceiling_Alarm integer,
    Def_Stel_Alarm integer,
    Def_Twa_Alarm integer,
    TemplateName text,
    TemplateID integer,
    Low_Alarm integer,
    Ceiling_Alarm integer,
    Ceiling_Warning integer,
    Stel_Alarm integer,
    Twa_Alarm integer,
    Cal_Gas_Value integer,
    Cal_Gas_Concentration integer,
    Max_Possible_Span integer,
    Old_Span integer,
    BumpResponse integer,
    BumpTime integer,
    T63 integer,
    Sensor_Display_Order integer,
    BumpTestOnly boolean
);
CREATE INDEX sensordata_key ON SensorData (Date_Time, Instrument_Type, Instr_Serial_Number, Sensor_Name, Sensor_Serial);

-- One row per test.
CREATE TABLE results (
    id serial PRIMARY KEY,
    SystemCode text,
    Test_Report text,
    Result text,
    Date_Time timestamp without time zone NOT NULL,
    Serial_Number text NOT NULL,
    Model integer NOT NULL
);
CREATE UNIQUE INDEX results_guard ON results (Date_Time, Model, Serial_Number);

-- Instrument event log: one row per event, per-slot values in eventsensors.
CREATE TABLE eventdata (
    evtidx serial PRIMARY KEY,
    instrument_type text NOT NULL,
    instr_serial_number text NOT NULL,
    starttime timestamp without time zone,
    stoptime timestamp without time zone,
    duration integer,
    voccode integer,
    comments text
);
CREATE INDEX eventdata_key ON eventdata (instr_serial_number, starttime);

CREATE TABLE eventsensors (
    evtsenidx serial PRIMARY KEY,
    evtidx integer NOT NULL,
    senid integer,
    sensorslot integer,
    sensor_name text,
    sensor_serial text,
    pmax integer,
    pmin integer,
    pavg integer
);
CREATE INDEX eventsensors_key ON eventsensors (evtidx, sensorslot);

-- Instrument sessions with their per-sensor summaries.
CREATE TABLE sesdata (
    sesidx serial PRIMARY KEY,
    instrument_type text NOT NULL,
    instr_serial_number text NOT NULL,
    starttime timestamp without time zone,
    stoptime timestamp without time zone,
    usertext text,
    locationtext text,
    userid integer,
    locationid integer,
    settings integer,
    software_ver text,
    alarmflags integer,
    alarmstatus1 integer,
    alarmstatus2 integer,
    numofpts integer,
    voccode integer,
    sampleint integer,
    tempmin integer,
    tempmax integer,
    lelgascode integer,
    ppmperlel integer,
    comments text
);
CREATE INDEX sesdata_key ON sesdata (instr_serial_number, starttime);

CREATE TABLE sessensors (
    sessensorsidx serial PRIMARY KEY,
    sesidx integer NOT NULL,
    senid integer,
    sensorslot integer,
    sensor_name text,
    sensor_serial text,
    instr_serial_number text,
    instrument_type text,
    pmax integer,
    pmin integer,
    pavg integer,
    stel integer,
    twa integer,
    dangeralmlow integer,
    warnalmlow integer,
    warnalmhigh integer,
    dangeralmhigh integer,
    stelalm integer,
    twaalm integer,
    lastzero timestamp without time zone,
    lastspan timestamp without time zone,
    needscal integer,
    sensoralms integer
);
CREATE INDEX sessensors_key ON sessensors (sesidx, sensorslot, senid);

-- Data-logger records of a session with their per-sensor values.
CREATE TABLE dldata (
    dlidx serial PRIMARY KEY,
    sesidx integer NOT NULL,
    rectime timestamp without time zone,
    tempmin integer,
    tempmax integer,
    batt integer,
    alarmstatus1 integer,
    alarmstatus2 integer,
    alarmstatus3 integer,
    alarmstatus4 integer
);
CREATE INDEX dldata_sesidx ON dldata (sesidx);

CREATE TABLE dlsensors (
    dlsensorsidx serial PRIMARY KEY,
    sesidx integer NOT NULL,
    dlidx integer NOT NULL,
    senid integer,
    sensor_name text,
    sensor_serial text,
    pmax integer,
    pmin integer,
    pavg integer,
    stel integer,
    twa integer,
    alarmflags integer
);
CREATE INDEX dlsensors_sesidx ON dlsensors (sesidx);
