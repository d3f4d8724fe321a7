// The start-up of the main window: FormCreate, then tmrFormUploadTimer 500 ms later.
#include "app/FirmwareFiles.h"
#include "app/GlobalVars.h"
#include "app/AboutBox.h"
#include "app/MainWindow.h"
#include "app/StartUpForm.h"
#include "app/database/DatabaseChecks.h"
#include "common/db/ResultsDatabase.h"
#include "common/ProgramFolder.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "common/Trace.h"
#include "Version.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>

namespace vx8 {

namespace {
// major + decimal separator + minor read as a decimal number, in exact hundredths:
// minor 30 and minor 3 both give x.30.
int versionHundredths(int major, int minor)
{
    const QString digits = QString::number(minor);
    long long scale = 1;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        scale *= 10;
    }
    return int(major * 100 + (minor * 100LL + scale / 2) / scale);
}
} // namespace

void TfrmMain::FormCreate()
{
    LocalDebugString(QStringLiteral("FormCreate"));
    // 1. (AppException is installed by the program entry for the whole application.)
    ClosingInProgress = false;
    DockCount = 0;
    SetHourglass(true);

    // 2. Captions; the window stays disabled until the docks are loaded.
    FBaseCaption = QStringLiteral("VX8");
    setWindowTitle(FBaseCaption);
    About1->setText(QStringLiteral("About VX8..."));
    LedgraLaunch->setText(QStringLiteral("Database Manager..."));
    FennraLaunch->setText(QStringLiteral("Fennra II..."));
    ShutdownConfirmed = false;
    setEnabled(false);
    DBConnected = false;
    LaunchAdministrator = false;

    // 3. The ping component comes with the dock loading.

    // 4. The program version.
    const QString sep = QLocale::system().decimalPoint();
    const QString versionText = QString::number(VersionMajor) + sep + QString::number(VersionMinor);
    ProgramVersionNumber = QLocale::system().toDouble(versionText);
    ProgramVersionHundredths = versionHundredths(VersionMajor, VersionMinor);

    // 5. Sounds folder, global settings.
    SoundsFolder = programPath(QStringLiteral("Sounds/"));
    FGlobalVars = new TGlobalVars(this);
    FGlobalVars->FormatSettings = QLocale::system();

    // 6. Sibling programs.
    FGlobalVars->FennraLocation = ReadRegistryString(RegKey::Fennra, QStringLiteral("FennraIILoc"));
    FennraLaunch->setEnabled(!FGlobalVars->FennraLocation.isEmpty() &&
                             QFileInfo(joinPath(FGlobalVars->FennraLocation, QStringLiteral("FennraII.exe"))).isFile());
    FGlobalVars->LedgraLocation = ReadRegistryString(RegKey::Family, QStringLiteral("LedgraProLocation"));
    const bool ledgraInstalled =
        !FGlobalVars->LedgraLocation.isEmpty() &&
        QFileInfo(joinPath(FGlobalVars->LedgraLocation, QStringLiteral("Ledgra.exe"))).isFile();
    LedgraLaunch->setEnabled(ledgraInstalled);

    // 7. Login and debugging switches.
    LoginSuppressed =
        ReadRegistryString(RegKey::Family, QStringLiteral("SupressLogin")).toUpper() == QLatin1String("YES");
    EnhancedDebuggingOn =
        ReadRegistryString(RegKey::Family, QStringLiteral("EnhancedDebugging")).toUpper() == QLatin1String("YES");
    LocalDebugString(EnhancedDebuggingOn ? QStringLiteral("(EnhancedDebugging = true)")
                                         : QStringLiteral("(EnhancedDebugging = false)"));

    // 8. The results database.
    if (!ConnectResultsDatabase()) {
        Terminate();
        SetHourglass(false);
        return;
    }

    // 9. Without a hand-over: database checks, or the question what to do without a database.
    if (!LaunchAdministrator) {
        if (DBConnected) {
            if (!CheckResultsDatabase()) {
                Terminate();
                SetHourglass(false);
                return;
            }
            LatestDockFlashFile = GetLatestFlashVersion(&Prompter::instance());
            tmrFormUpload->start();
        } else if (!ledgraInstalled) {
            Prompter::instance().inform(
                QStringLiteral("The default database is has NOT been assigned or deleted (Database: ") +
                FDatabaseName +
                QStringLiteral(")!\r\n\r\nAdministrator will assign the default server and database.  This is "
                               "installed with Database Manager which is NOT installed yet. Please install "
                               "Database Manager, use Administrator to set the database default, then retry "
                               "VX8?"));
            Terminate();
            SetHourglass(false);
            return;
        } else {
            const bool launch = Prompter::instance().confirm(
                QStringLiteral("The default database is has NOT been assigned or deleted (Database: ") +
                FDatabaseName +
                QStringLiteral(")!  Vexa Adminstrator Pro will assign the default server and database.  After "
                               "the defaults are defined, try VX8 again.\r\n\r\nDo you want to launch Vexa "
                               "Adminstrator Pro?"));
            if (!launch) {
                Terminate();
                SetHourglass(false);
                return;
            }
            LaunchAdministrator = true;
        }
    }

    // 10. Printer set-up needs a printer.
    PrintSetup1->setEnabled(FOptions.printerInstalled());

    // 11. Hand-over or end.
    if (!DBConnected && !LaunchAdministrator) {
        Terminate();
    } else if (LaunchAdministrator) {
        tmrFormUpload->start();
        ShowStatus(0, QStringLiteral("Loading Vexa Adminstrator Pro, Please Wait..."));
        setEnabled(true);
    }
    SetHourglass(false);
}

bool TfrmMain::ConnectResultsDatabase()
{
    LocalDebugString(QStringLiteral("ConnectResultsDatabase"));
    // 8. Parameters (only with a server name), the stored password decrypted.
    DBConnected = false;
    DBSettings = ReadDBSettings(&Prompter::instance());
    FDatabaseName = DBSettings.DatabaseName;
    db::ResultsDatabase::setSettings(DBSettings);
    db::ResultsDatabase::setConnected(false);
    db::ResultsDatabase::setDbVersion(0);
    if (!DBSettings.isAssigned()) {
        // Server, database, port or user missing: no connection is tried (step 9 tells the user).
        return true;
    }
    if (CheckDBConnection(false)) {
        DBConnected = true;
        db::ResultsDatabase::setConnected(true);
        return true;
    }
    const Prompter::Button answer = Prompter::instance().ask(
        Prompter::Kind::Error,
        QStringLiteral("The connection to database server or the Vexa database has failed!  The program cannot start "
                       "until it is resolved!  Do you want to start Administrator to try to resolve the problem?"),
        Prompter::Yes | Prompter::No, Prompter::No);
    if (answer == Prompter::Yes) {
        LaunchAdministrator = true;
        return true;
    }
    return false;
}

bool TfrmMain::CheckResultsDatabase()
{
    LocalDebugString(QStringLiteral("CheckResultsDatabase"));
    // The e-mail settings first, then the version check (a refusal ends the program).
    GetEmailSettings(FGlobalVars->EmailEnabled, FGlobalVars->EmailRecipient, FGlobalVars->SmtpAddress,
                     FGlobalVars->EmailMessageText);
    if (!CheckDBVersion(RequiredDBVersion, ProgramVersionHundredths, DBVersion, DBRequiredVersion)) {
        return false;
    }
    stbAction->setToolTip(ServerVersion);
    return true;
}

bool TfrmMain::CheckDBConnection(bool show)
{
    return vx8::CheckDBConnection(DBSettings, show, Prompter::instance());
}

bool TfrmMain::CheckDBVersion(int requiredDBVersion, int programVersionHundredths, int& dbVersion,
                              int& requiredProgramVersion)
{
    QString serverVersion;
    const bool ok = CheckDBVersionHundredths(DBSettings, DBConnected, requiredDBVersion, programVersionHundredths,
                                             dbVersion, requiredProgramVersion, serverVersion, Prompter::instance());
    db::ResultsDatabase::setDbVersion(dbVersion);
    db::ResultsDatabase::setRequiredProgramVersion(requiredProgramVersion);
    if (ok) {
        ServerVersion = serverVersion;
        DBSettings.ServerVersion = serverVersion;
        db::ResultsDatabase::setServerVersion(serverVersion);
    }
    return ok;
}

bool TfrmMain::GetEmailSettings(bool& enabled, QString& recipient, std::array<int, 4>& octets, QString& messageText)
{
    TEmailSettings email;
    const bool ok = vx8::GetEmailSettings(DBSettings, DBConnected, email, Prompter::instance());
    enabled = email.Enabled;
    recipient = email.Recipient;
    messageText = email.MessageText;
    for (size_t k = 0; k < 4; ++k) {
        octets[k] = email.SmtpAddress[k];
    }
    return ok;
}

void TfrmMain::tmrFormUploadTimer()
{
    LocalDebugString(QStringLiteral("tmrFormUploadTimer"));
    // 1.
    tmrFormUpload->stop();
    // 2. Hand over to the administrator program; no dock is touched.
    if (LaunchAdministrator) {
        VexaAdmLaunch();
        close();
        return;
    }
    // 3. (The options dialog's dock-update callback is given with the options dialog.)
    // 4. Settings. A QC mode without its folder key throws, which ends in AppException.
    const SettingsLoadResult loaded = LoadRegistryDefaults();
    if (!loaded.proceed) {
        Terminate();
        return;
    }
    // 5. QC mode: the template for this run.
    if (FGlobalVars->SoftwareType == SoftwareTypes::QC) {
        // The template selection comes with the templates; until then the generic one is used.
        const QString templateName = FGlobalVars->TemplateName;
        if (templateName == QLatin1String("CANCEL")) {
            close();
            return;
        }
        setWindowTitle(windowTitle() + QStringLiteral(" - [ Template: ") + templateName + QStringLiteral(" ]"));
    }
    // 6.
    LoadAllDocks();
}


SettingsLoadResult TfrmMain::LoadRegistryDefaults()
{
    SettingsEnvironment env;
    env.prompter = &Prompter::instance();
    env.printerInstalled = FOptions.printerInstalled;
    env.latestInstrFlash = [](QString& file, QString& folder) {
        return GetLatestInstrFlash(file, folder, Prompter::instance());
    };
    env.programFile = QCoreApplication::applicationFilePath();
    const SettingsLoadResult result = vx8::LoadRegistryDefaults(*FGlobalVars, env);
    setWindowTitle(windowTitle() + result.captionSuffix);
    return result;
}

bool TfrmMain::SaveRegistryDefaults()
{
    return FGlobalVars && vx8::SaveRegistryDefaults(*FGlobalVars, Prompter::instance());
}

QString TfrmMain::LoadINIDefaults()
{
    return programFolder();
}

} // namespace vx8
