// LoadRegistryDefaults and SaveRegistryDefaults against a real registry file in a temporary
// program folder.
#include "app/AppException.h"
#include "app/GlobalVars.h"
#include "app/RegistrySettings.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace vx8;

namespace {

// "Name=Value" entries of the program key, or "QC:Name=Value" for the QC key.
void writeRegistry(const QStringList& entries)
{
    for (const QString& e : entries) {
        QString key = RegKey::Program;
        QString rest = e;
        if (rest.startsWith(QLatin1String("QC:"))) {
            key = RegKey::QC;
            rest = rest.mid(3);
        } else if (rest.startsWith(QLatin1String("FLASH:"))) {
            key = RegKey::Flash;
            rest = rest.mid(6);
        }
        const qsizetype eq = rest.indexOf(u'=');
        QVERIFY(WriteRegistryString(key, rest.left(eq), rest.mid(eq + 1)));
    }
}

QString field(const TGlobalVars& v, const QString& name)
{
    if (name == QLatin1String("SoftwareType")) return QString::number(v.SoftwareType);
    if (name == QLatin1String("DockTimeout")) return QString::number(v.DockTimeout);
    if (name == QLatin1String("InstrCommandTimeout")) return QString::number(v.InstrCommandTimeout);
    if (name == QLatin1String("CalDueReminderInterval")) return QString::number(v.CalDueReminderInterval);
    if (name == QLatin1String("NetworkVerificationInMinutes")) return QString::number(v.NetworkVerificationInMinutes);
    if (name == QLatin1String("ListeningModeInterval")) return QString::number(v.ListeningModeInterval);
    if (name == QLatin1String("ListeningModeUnits")) return QString::number(v.ListeningModeUnits);
    if (name == QLatin1String("QC02GasValue")) return QString::number(v.QC02GasValue);
    if (name == QLatin1String("FlashInstr")) return v.FlashInstr;
    if (name == QLatin1String("SkipCal")) return v.SkipCal;
    if (name == QLatin1String("CalNow")) return v.CalNow;
    if (name == QLatin1String("SetO2GasCalFlag")) return v.SetO2GasCalFlag;
    if (name == QLatin1String("CalGasLotNum")) return v.CalGasLotNum;
    if (name == QLatin1String("CalGasPONum")) return v.CalGasPONum;
    if (name == QLatin1String("PrintCalCerticate")) return v.PrintCalCerticate;
    if (name == QLatin1String("PrintBumpCerticate")) return v.PrintBumpCerticate;
    if (name == QLatin1String("PlaySoundOnFault")) return v.PlaySoundOnFault;
    if (name == QLatin1String("FaultSoundFile")) return v.FaultSoundFile;
    if (name == QLatin1String("SerialUpdateMode")) return v.SerialUpdateMode ? "true" : "false";
    if (name == QLatin1String("InstrFlashAvailable")) return v.InstrFlashAvailable ? "true" : "false";
    if (name == QLatin1String("QCDir")) return v.QCDir;
    return QStringLiteral("?unknown field ") + name;
}

struct Env
{
    UnattendedPrompter prompter;
    bool printer = false;
    bool flashFound = false;
    SettingsEnvironment env()
    {
        prompter.setEcho(false);
        SettingsEnvironment e;
        e.prompter = &prompter;
        e.printerInstalled = [this] { return printer; };
        e.latestInstrFlash = [this](QString& file, QString& folder) {
            folder = QStringLiteral("/opt/kor7");
            if (flashFound) {
                file = QStringLiteral("/opt/kor7/k7.bin");
            }
            return flashFound;
        };
        e.programFile = QCoreApplication::applicationFilePath();
        return e;
    }
};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void emptyRegistryGivesDefaults();
    void loadRules_data();
    void loadRules();
    void networkVerificationWriteBack_data();
    void networkVerificationWriteBack();
    void qcModeWithoutFolderKeyThrowsAndWritesNothing();
    void qcModeFolder_data();
    void qcModeFolder();
    void faultSoundMustExist();
    void gasSetupDate_data();
    void gasSetupDate();
    void saveWritesTheTableAndNothingElse();
    void saveQcMode();
    void saveNothingWhenNeverLoaded();
    void saveReportsFailedWrites();
};

void TestSettings::emptyRegistryGivesDefaults()
{
    test::TempHome home;
    TGlobalVars vars;
    Env e;
    const SettingsLoadResult r = LoadRegistryDefaults(vars, e.env());
    QVERIFY(r.proceed);
    QCOMPARE(r.captionSuffix, QString());
    QCOMPARE(vars.SoftwareType, 10);
    QCOMPARE(vars.DockTimeout, 10);
    QCOMPARE(vars.InstrCommandTimeout, 30);
    QCOMPARE(vars.CalDueReminderInterval, 30);
    QCOMPARE(vars.NetworkVerificationInMinutes, 5);
    QCOMPARE(vars.ListeningModeInterval, 10);
    QCOMPARE(vars.ListeningModeUnits, 1);
    for (const QString& flag : {vars.FlashInstr, vars.SkipCal, vars.CalNow, vars.SetO2GasCalFlag,
                                vars.PrintCalCerticate, vars.PrintBumpCerticate, vars.PlaySoundOnFault}) {
        QCOMPARE(flag, QStringLiteral("False"));
    }
    QCOMPARE(vars.CalGasLotNum, QStringLiteral("N/A"));
    QCOMPARE(vars.CalGasPONum, QStringLiteral("N/A"));
    QCOMPARE(vars.FaultSoundFile, QString());
    QVERIFY(!vars.InstrFlashAvailable);
    QVERIFY(vars.SettingsLoaded);
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("NetworkVerificationInMinutes")), QStringLiteral("5"));
    // No firmware wanted: no message. No gas setup file: no gas date.
    QCOMPARE(e.prompter.records().size(), 0);
    QCOMPARE(vars.GasIniDate, TGlobalVars::initialDate());
}

void TestSettings::loadRules_data()
{
    QTest::addColumn<QStringList>("registry");
    QTest::addColumn<bool>("printer");
    QTest::addColumn<bool>("flashFound");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("message"); // a prompt text expected, or empty for none

    auto row = [](const char* name, QStringList reg, const char* f, const char* expected, bool printer = false,
                  bool flash = false, const char* message = "") {
        QTest::newRow(name) << reg << printer << flash << QString::fromLatin1(f) << QString::fromLatin1(expected)
                            << QString::fromLatin1(message);
    };
    row("type 0 keeps 10", {"SoftwareType=0"}, "SoftwareType", "10");
    row("type abc keeps 10", {"SoftwareType=abc"}, "SoftwareType", "10");
    row("type 100", {"SoftwareType=100"}, "SoftwareType", "100");
    row("type 300 serial mode", {"SoftwareType=300"}, "SerialUpdateMode", "true");
    row("type -1 keeps 10", {"SoftwareType=-1"}, "SoftwareType", "10");
    row("type 65546 keeps 10", {"SoftwareType=65546"}, "SoftwareType", "10");
    row("type 55 unknown keeps 10", {"SoftwareType=55"}, "SoftwareType", "10");
    row("dock timeout 7", {"DockTimeout=7"}, "DockTimeout", "7");
    row("dock timeout blank", {"DockTimeout= "}, "DockTimeout", "10");
    row("dock timeout 0", {"DockTimeout=0"}, "DockTimeout", "10");
    row("dock timeout -5", {"DockTimeout=-5"}, "DockTimeout", "10");
    row("dock timeout 7.5", {"DockTimeout=7.5"}, "DockTimeout", "10");
    row("dock timeout huge", {"DockTimeout=99999999999999999999999"}, "DockTimeout", "2147483");
    row("instr timeout 3000000000", {"InstrCommandTimeout=3000000000"}, "InstrCommandTimeout", "2147483");
    row("instr timeout 12", {"InstrCommandTimeout=12"}, "InstrCommandTimeout", "12");
    row("instr timeout x", {"InstrCommandTimeout=x"}, "InstrCommandTimeout", "30");
    row("reminder 200", {"CalDueReminderInterval=200"}, "CalDueReminderInterval", "200");
    row("reminder -3", {"CalDueReminderInterval=-3"}, "CalDueReminderInterval", "30");
    row("listening 60", {"ListeningModeInterval=60"}, "ListeningModeInterval", "60");
    row("listening -60", {"ListeningModeInterval=-60"}, "ListeningModeInterval", "10");
    row("listening huge", {"ListeningModeInterval=4000000000"}, "ListeningModeInterval", "35791");
    row("units 2", {"ListeningModeUnits=2"}, "ListeningModeUnits", "2");
    row("units 0", {"ListeningModeUnits=0"}, "ListeningModeUnits", "1");
    row("verification 15", {"NetworkVerificationInMinutes=15"}, "NetworkVerificationInMinutes", "15");
    row("verification 0", {"NetworkVerificationInMinutes=0"}, "NetworkVerificationInMinutes", "5");
    row("verification -7", {"NetworkVerificationInMinutes=-7"}, "NetworkVerificationInMinutes", "5");
    row("verification huge", {"NetworkVerificationInMinutes=999999999"}, "NetworkVerificationInMinutes", "35791");
    row("flag trimmed", {"SkipCal= True "}, "SkipCal", "True");
    row("flag lower case kept", {"CalNow=true"}, "CalNow", "true");
    row("flag empty", {"SetO2GasCalFlag="}, "SetO2GasCalFlag", "False");
    row("lot cleaned", {"CalGasLotNum=  AB-12 (x) 7 "}, "CalGasLotNum", "AB-12 x 7");
    row("lot only dropped chars", {"CalGasLotNum=()<>"}, "CalGasLotNum", "N/A");
    row("order with comma and quote", {"CalGasPONum=PO 1,2 \"q\""}, "CalGasPONum", "PO 1,2 q");
    row("flash wanted, no file", {"FlashInstr=True"}, "FlashInstr", "False", false, false,
        "Flash File for KOR7 not found, flashing disabled!");
    row("flash wanted, file", {"FlashInstr=True"}, "FlashInstr", "True", false, true);
    row("flash file available", {}, "InstrFlashAvailable", "true", false, true);
    row("cal cert, no printer", {"PrintCalCerticate=True", "PrintBumpCerticate=False"}, "PrintCalCerticate",
        "False", false, false,
        "There is no defined default printer.  All print options will be disabled until a default printer is "
        "installed.");
    row("bump cert, no printer, both off", {"PrintBumpCerticate=True", "PrintCalCerticate=True"},
        "PrintBumpCerticate", "False");
    row("bump cert with printer", {"PrintBumpCerticate=True"}, "PrintBumpCerticate", "True", true);
    row("qc value not read outside QC", {"QC:QC02GasValue=21"}, "QC02GasValue", "18");
}

void TestSettings::loadRules()
{
    QFETCH(QStringList, registry);
    QFETCH(bool, printer);
    QFETCH(bool, flashFound);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QFETCH(QString, message);
    test::TempHome home;
    writeRegistry(registry);
    TGlobalVars vars;
    Env e;
    e.printer = printer;
    e.flashFound = flashFound;
    const SettingsLoadResult r = LoadRegistryDefaults(vars, e.env());
    QVERIFY(r.proceed);
    QCOMPARE(::field(vars, field), expected);
    if (!message.isEmpty()) {
        QVERIFY2(e.prompter.texts().contains(message), qPrintable(e.prompter.texts().join(u'|')));
    }
}

void TestSettings::networkVerificationWriteBack_data()
{
    QTest::addColumn<QString>("stored"); // "<missing>" for no value
    QTest::addColumn<QString>("afterLoad");
    QTest::newRow("missing") << "<missing>" << "5";
    QTest::newRow("x is rewritten") << "x" << "5";
    QTest::newRow("0 is not rewritten") << "0" << "0";
    QTest::newRow("12 stays") << "12" << "12";
}

void TestSettings::networkVerificationWriteBack()
{
    QFETCH(QString, stored);
    QFETCH(QString, afterLoad);
    test::TempHome home;
    if (stored != QLatin1String("<missing>")) {
        writeRegistry({QStringLiteral("NetworkVerificationInMinutes=") + stored});
    }
    writeRegistry({QStringLiteral("NetworkVerifyInterval=3")});
    TGlobalVars vars;
    Env e;
    LoadRegistryDefaults(vars, e.env());
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("NetworkVerificationInMinutes")), afterLoad);
    QVERIFY(!Registry::machine().value(RegKey::Program, QStringLiteral("NetworkVerifyInterval")).has_value());
}

void TestSettings::qcModeWithoutFolderKeyThrowsAndWritesNothing()
{
    test::TempHome home;
    writeRegistry({QStringLiteral("SoftwareType=999"), QStringLiteral("DockTimeout=4"),
                   QStringLiteral("CalGasLotNum=LOT7")});
    QFile f(home.registryPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    TGlobalVars vars;
    Env e;
    QString message;
    try {
        LoadRegistryDefaults(vars, e.env());
    } catch (const AppError& err) {
        message = err.message();
    }
    QCOMPARE(message, QStringLiteral(
                          "*** \"QCDir\" registry key does not exist.  Contact supervisor for assistance. ***"));
    QVERIFY(!vars.SettingsLoaded);
    // The close sequence that follows must not overwrite the stored values with defaults.
    QVERIFY(!SaveRegistryDefaults(vars, e.prompter));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void TestSettings::qcModeFolder_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::newRow("folder exists") << true;
    QTest::newRow("folder missing") << false;
}

void TestSettings::qcModeFolder()
{
    QFETCH(bool, folderExists);
    test::TempHome home;
    const QString qc = home.path(QStringLiteral("qc"));
    if (folderExists) {
        QVERIFY(QDir().mkpath(qc));
    }
    writeRegistry({QStringLiteral("SoftwareType=999"), QStringLiteral("QC:QCDir=") + qc,
                   QStringLiteral("QC:QC02GasValue=21")});
    TGlobalVars vars;
    Env e;
    const SettingsLoadResult r = LoadRegistryDefaults(vars, e.env());
    QCOMPARE(r.captionSuffix, QStringLiteral(" (QC)"));
    QCOMPARE(vars.QCDir, qc);
    QCOMPARE(vars.QC02GasValue, 21);
    QCOMPARE(r.proceed, folderExists);
    const QString missing = QStringLiteral("The QC Directory CANNOT BE FOUND (QC Dir: ") + qc +
                            QStringLiteral(")!\n\r\n\rQC Mode CANNOT function properly.  Please contact your "
                                           "Supervisor for assistance!");
    QCOMPARE(e.prompter.texts().contains(missing), !folderExists);
}

void TestSettings::faultSoundMustExist()
{
    test::TempHome home;
    QVERIFY(home.writeFile(QStringLiteral("Sounds/alarm.wav"), "RIFF"));
    writeRegistry({QStringLiteral("FaultSoundFile=alarm.wav")});
    {
        TGlobalVars vars;
        Env e;
        LoadRegistryDefaults(vars, e.env());
        QCOMPARE(vars.FaultSoundFile, QStringLiteral("alarm.wav"));
    }
    writeRegistry({QStringLiteral("FaultSoundFile=gone.wav")});
    TGlobalVars vars;
    Env e;
    LoadRegistryDefaults(vars, e.env());
    QCOMPARE(vars.FaultSoundFile, QString());
}

void TestSettings::gasSetupDate_data()
{
    QTest::addColumn<int>("fileDaysAfter");  // gas setup file date relative to GasIniDate, in days
    QTest::addColumn<int>("fileHoursAfter"); // and hours
    QTest::addColumn<bool>("warning");
    QTest::newRow("same day later") << 0 << 3 << false;
    QTest::newRow("next day") << 1 << 0 << true;
    QTest::newRow("a day earlier") << -1 << 0 << false;
}

void TestSettings::gasSetupDate()
{
    QFETCH(int, fileDaysAfter);
    QFETCH(int, fileHoursAfter);
    QFETCH(bool, warning);
    test::TempHome home;
    const QDateTime stored(QDate(2025, 3, 10), QTime(8, 0, 0));
    const QLocale locale = QLocale::system();
    writeRegistry({QStringLiteral("GasIniDate=") + formatGasDate(stored, locale)});
    QVERIFY(home.writeFile(QStringLiteral("VX8GasSetup.ini"), "[Gas]\n"));
    const QDateTime fileDate = stored.addDays(fileDaysAfter).addSecs(fileHoursAfter * 3600);
    {
        QFile f(home.path(QStringLiteral("VX8GasSetup.ini")));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(fileDate, QFileDevice::FileModificationTime));
    }
    TGlobalVars vars;
    Env e;
    LoadRegistryDefaults(vars, e.env());
    QCOMPARE(vars.GasIniDate, stored);
    QCOMPARE(e.prompter.records().size(), warning ? 1 : 0);
    if (warning) {
        QVERIFY(e.prompter.texts().first().startsWith(QStringLiteral("A new gas setup file has been installed")));
        QCOMPARE(vars.GasFileDate, fileDate);
    } else {
        QCOMPARE(vars.GasFileDate, TGlobalVars::initialDate());
    }
    // The stored date survives a save unchanged.
    QVERIFY(SaveRegistryDefaults(vars, e.prompter));
    QCOMPARE(parseGasDate(ReadRegistryString(RegKey::Program, QStringLiteral("GasIniDate")), locale), stored);
}

void TestSettings::saveWritesTheTableAndNothingElse()
{
    test::TempHome home;
    writeRegistry({QStringLiteral("ListeningModeInterval=20"), QStringLiteral("SetO2GasCalFlag=True")});
    TGlobalVars vars;
    Env e;
    LoadRegistryDefaults(vars, e.env());
    vars.DockTimeout = 7;
    vars.CalGasLotNum = QStringLiteral("LOT, \"7\" \\ 8");
    vars.ListeningModeInterval = 44;      // written by the dock set-up dialog, not here
    vars.NetworkVerificationInMinutes = 9; // same
    vars.SetO2GasCalFlag = QStringLiteral("False"); // never written
    QVERIFY(SaveRegistryDefaults(vars, e.prompter));

    const QList<Registry::Key> keys = [&] {
        QFile f(home.registryPath());
        f.open(QIODevice::ReadOnly);
        return Registry::parse(QString::fromUtf8(f.readAll()));
    }();
    QStringList names;
    for (const auto& k : keys) {
        if (k.name.compare(RegKey::Program, Qt::CaseInsensitive) == 0) {
            for (const auto& v : k.values) {
                names << v.first;
            }
        } else {
            QVERIFY2(k.values.isEmpty(), qPrintable(k.name));
        }
    }
    names.sort();
    QStringList expected = {"SoftwareType", "InstrCommandTimeout", "CalDueReminderInterval", "FlashInstr",
                            "PlaySoundOnFault", "FaultSoundFile", "CalGasLotNum", "CalGasPONum",
                            "PrintCalCerticate", "PrintBumpCerticate", "DockTimeout", "SkipCal", "CalNow",
                            // present before the save:
                            "ListeningModeInterval", "SetO2GasCalFlag", "NetworkVerificationInMinutes"};
    expected.sort();
    QCOMPARE(names, expected);
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("DockTimeout")), QStringLiteral("7"));
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("CalGasLotNum")), QStringLiteral("LOT, \"7\" \\ 8"));
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("ListeningModeInterval")), QStringLiteral("20"));
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("SetO2GasCalFlag")), QStringLiteral("True"));
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("NetworkVerificationInMinutes")), QStringLiteral("5"));
    // GasIniDate is 1990: not written.
    QVERIFY(!Registry::machine().value(RegKey::Program, QStringLiteral("GasIniDate")).has_value());
}

void TestSettings::saveQcMode()
{
    test::TempHome home;
    const QString qc = home.path(QStringLiteral("qc"));
    QVERIFY(QDir().mkpath(qc));
    writeRegistry({QStringLiteral("SoftwareType=999"), QStringLiteral("QC:QCDir=") + qc,
                   QStringLiteral("QC:QC02GasValue=21")});
    TGlobalVars vars;
    Env e;
    LoadRegistryDefaults(vars, e.env());
    QVERIFY(SaveRegistryDefaults(vars, e.prompter));
    QCOMPARE(ReadRegistryString(RegKey::QC, QStringLiteral("QCO2CalGasValue")), QStringLiteral("21"));
    QCOMPARE(ReadRegistryString(RegKey::QC, QStringLiteral("QCDir")), qc);
    // The next start still reads the value under its reading name.
    QCOMPARE(ReadRegistryString(RegKey::QC, QStringLiteral("QC02GasValue")), QStringLiteral("21"));
    // A QC folder that went away is not written back.
    QVERIFY(QDir(qc).removeRecursively());
    vars.QCDir = qc + QStringLiteral("-changed");
    QVERIFY(SaveRegistryDefaults(vars, e.prompter));
    QCOMPARE(ReadRegistryString(RegKey::QC, QStringLiteral("QCDir")), qc);
}

void TestSettings::saveNothingWhenNeverLoaded()
{
    test::TempHome home;
    writeRegistry({QStringLiteral("SoftwareType=100"), QStringLiteral("DockTimeout=3")});
    TGlobalVars vars; // the hand-over to the administrator program never loads the settings
    UnattendedPrompter p;
    p.setEcho(false);
    QVERIFY(!SaveRegistryDefaults(vars, p));
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("SoftwareType")), QStringLiteral("100"));
    QCOMPARE(ReadRegistryString(RegKey::Program, QStringLiteral("DockTimeout")), QStringLiteral("3"));
    QVERIFY(!Registry::machine().value(RegKey::Program, QStringLiteral("CalGasLotNum")).has_value());
}

void TestSettings::saveReportsFailedWrites()
{
    test::TempHome home;
    TGlobalVars vars;
    Env e;
    LoadRegistryDefaults(vars, e.env());
    e.prompter.clear();
    // A registry path whose folder cannot be created: every write fails.
    QVERIFY(home.writeFile(QStringLiteral("blocker"), "x"));
    qputenv("VX8_REGISTRY", home.path(QStringLiteral("blocker/registry.reg")).toLocal8Bit());
    QVERIFY(!SaveRegistryDefaults(vars, e.prompter));
    const QStringList texts = e.prompter.texts();
    QCOMPARE(texts.size(), 13);
    QCOMPARE(texts.first(), QStringLiteral("Could not update Registry with updated \"Software Type\" value!"));
    QCOMPARE(texts.at(1), QStringLiteral("Could not update Registry with updated \"Instrument Command Timeout\" value!"));
    QCOMPARE(texts.last(), QStringLiteral("Could not update Registry with updated \"Cal Now\" value!"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
