-- A small results database for the tests and the demo: schema version 23, login users with each
-- right, e-mail settings, the VOC list, one template and the instrument defaults for the Kor7 ('K7').

SET client_encoding = 'UTF8';

INSERT INTO db_version (db_version, vx8_req) VALUES (23, 230);

INSERT INTO emailoptions (emailenabled, recipient1, addedmsgtext, smtpipaddress)
VALUES (true, 'gas-safety@localhost', 'Message from the VX8 test workstation', '127.0.0.1');

-- user_id / password: a plain user, a technician, an administrator, and one with both rights
-- (administrative wins). Passwords are kept as the administration program keeps them.
INSERT INTO users (user_id, password, technician, administrative) VALUES
    ('user', 'User1pw', false, false),
    ('tech', 'Tech2pw', true, false),
    ('admin', 'Admin3pw', false, true),
    ('both', 'Both4pw', true, true);

INSERT INTO voc_info (voccode, longname, shortname, factor, warningalarm, dangeralarm, stelalarm, twaalarm) VALUES
    (0, 'Isobutylene', 'IBUT', 100, 1000, 2000, 1000, 1000),
    (1, 'Acetone', 'ACET', 117, 5000, 10000, 7500, 5000),
    (2, 'Benzene', 'BENZ', 53, 5, 10, 25, 5),
    (3, 'Toluene', 'TOLU', 50, 500, 1000, 1500, 500);

INSERT INTO Templates (TemplateName, apply_k7) VALUES ('Generic(No Change)', true);

INSERT INTO InstrDetails (InstrNumber, Instrument_Type, DefaultTemplate)
SELECT 15, 'K7', TemplateID FROM Templates WHERE TemplateName = 'Generic(No Change)';

INSERT INTO instrdefaults (instrumenttype, sampling_interval, security_interval, stelTime, twahours,
    instrcalduereminder, bumpinterval, PeakReadings, TWAReadings, STELReadings, LatchAlarm, CalLock,
    VibratingAlarm, avgeenabled, uselargeclamp, freshaircalonstart, enteruseronstart)
VALUES ('K7', 60, 0, 15, 8, 180, 30, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0);

-- Calibration-gas defaults in raw instrument units (the resolution of each gas).
INSERT INTO AutoCalGasRanges (InstrumentType,
    LELDefaultAutoSpanCal, CH4DefaultAutoSpanCal, VOCDefaultAutoSpanCal, EXDefaultAutoSpanCal,
    CO2DefaultAutoSpanCal, CODefaultAutoSpanCal, H2SDefaultAutoSpanCal, SO2DefaultAutoSpanCal,
    Cl2DefaultAutoSpanCal, ClO2DefaultAutoSpanCal, NO2DefaultAutoSpanCal, NODefaultAutoSpanCal,
    NH3DefaultAutoSpanCal, PH3DefaultAutoSpanCal, HCNDefaultAutoSpanCal,
    o2minautospancal, o2maxautospancal, lelminautospancal, lelmaxautospancal,
    ch4minautospancal, ch4maxautospancal, vocminautospancal, vocmaxautospancal,
    exminautospancal, exmaxautospancal, co2minautospancal, co2maxautospancal,
    cominautospancal, comaxautospancal, h2sminautospancal, h2smaxautospancal,
    so2minautospancal, so2maxautospancal, cl2minautospancal, cl2maxautospancal,
    clo2minautospancal, clo2maxautospancal, no2minautospancal, no2maxautospancal,
    nominautospancal, nomaxautospancal, nh3minautospancal, nh3maxautospancal,
    ph3minautospancal, ph3maxautospancal, hcnminautospancal, hcnmaxautospancal,
    h2minautospancal, h2maxautospancal)
VALUES ('K7',
    50, 2500, 1000, 1000,
    2500, 1000, 250, 50,
    100, 100, 100, 250,
    250, 50, 100,
    0, 300, 10, 100,
    500, 5000, 10, 10000,
    10, 10000, 100, 5000,
    10, 5000, 10, 1000,
    10, 1000, 10, 500,
    10, 500, 10, 1000,
    10, 1000, 10, 1000,
    10, 500, 10, 500,
    10, 5000);
