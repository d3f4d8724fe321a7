#pragma once

#include "app/AboutBox.h"
#include "app/RegistrySettings.h"
#include "app/StartUpForm.h"
#include "common/db/DBSettings.h"

#include <QCoroTask>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <array>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPrinter;
class QScrollArea;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace vx8 {

class TDockEnumerator;
class TfraDockInfo;
class TfraDockStatus;
class TfrmDockSetup;
class TGlobalVars;
class TUSBDevice;
class TfrmDBLogin;

// The main window: one page per dock frame, the summary column, the status bar and the menus; the
// ordered start-up (FormCreate, then tmrFormUploadTimer 500 ms later) and the close sequence that
// releases every dock before the program ends.
class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    // What the window needs from around it (tests replace parts of it).
    struct Options
    {
        // Creates the dock frames (tests hand in frames of their own).
        std::function<TfraDockInfo*(QWidget* parent)> dockFrameFactory;
        // Ends the message loop (default QCoreApplication::exit).
        std::function<void(int code)> terminate;
        // Whether a printer is installed (default PrinterInstalled()).
        std::function<bool()> printerInstalled;
        // The ping of a network dock: 2 answered, 1 no answer (default: an ICMP echo).
        std::function<QCoro::Task<quint8>(QString address, int timeoutMs)> ping;
        // Runs FormCreate from the constructor (the program does; tests may call it themselves).
        bool runFormCreate = true;
    };

    TfrmMain();
    explicit TfrmMain(Options options);
    ~TfrmMain() override;

    // The other windows the program entry creates after the main window.
    void SetStartUpWindow(TfrmStartUp1* splash) { frmStartUp1 = splash; }
    void SetAboutBox(TfrmAbout* about) { frmAbout = about; }
    void SetLoginDialog(TfrmDBLogin* login) { frmDBLogin = login; }

    // ---- start-up ----
    void FormCreate();
    void tmrFormUploadTimer();
    // The results database: connection parameters, connection check and, on failure, the question
    // whether to hand over to the administrator program. False when the program must end.
    bool ConnectResultsDatabase();
    // With a connected database: e-mail settings and the database version check. False when the
    // program must end.
    bool CheckResultsDatabase();
    // The three checks of the results database (app/database/DatabaseChecks.h), on DBSettings.
    bool CheckDBConnection(bool show);
    bool CheckDBVersion(int requiredDBVersion, int programVersionHundredths, int& dbVersion, int& requiredProgramVersion);
    bool GetEmailSettings(bool& enabled, QString& recipient, std::array<int, 4>& octets, QString& messageText);
    // The dock loading (DockLoading.cpp): dock definitions, frames, each live dock started in turn.
    void LoadAllDocks();
    QCoro::Task<> LoadAllDocksTask();
    bool InitializeDocks(int count);
    QCoro::Task<quint8> PingDock(int index);
    bool CheckCancelState(quint8 cancel);
    void ShowMainStatusMessage(QObject* sender);
    // The texts of the failure report.
    static QString PartialFailureText(int failed);
    static QString TotalFailureText(int failed);
    // Set by the Escape key while the docks load.
    bool FEscapePressed = false;
    // The attached USB docks: its DeviceList holds one device path per USB dock (refreshed when
    // the dock loading counts the docks).
    TUSBDevice* USBDevice1 = nullptr;
    // The dock loading has ended (also when it was left early).
    bool DocksLoaded = false;
    SettingsLoadResult LoadRegistryDefaults();
    bool SaveRegistryDefaults();
    // The program folder; there are no INI settings of the program's own to load.
    QString LoadINIDefaults();

    // ---- dock frames ----
    void CreateOneDockFrame(const QString& mode); // "LIVE" or "LISTENING"
    void DestroyOneDockFrame();
    void BadInstrSerialDock(TfraDockInfo* sender);

    // ---- sibling programs and firmware files ----
    bool LaunchExeName(const QString& exeName, int location);
    bool VexaAdmLaunch();

    // ---- menus ----
    void LedgraLaunchClick();
    void FennraLaunchClick();
    void PrintSetup1Click();
    void Exit1Click();
    void About1Click();
    void CheckForUpdate1Click();
    void CloseNow1Click();
    // The two guarded actions of the Tools menu: a rights check (login unless bypassed), then the
    // dialog. The options dialog and the dock set-up dialog are shown through these hooks.
    void Options1Click();
    void mnuNetworkDockSetup1Click();
    std::function<void()> ShowOptionsDialog;
    // Replaces the default of the dock set-up action (showing DockSetupWindow()).
    std::function<void()> ShowDockSetupDialog;
    // The network dock set-up window, made hidden on first use and kept until the main window goes.
    // Its discovery component (DockEnumerator1) registers every answer in the dock definitions,
    // also while the window is hidden: the dock loading starts a discovery round through it.
    TfrmDockSetup* DockSetupWindow();
    TDockEnumerator* DockEnumerator1();
    // Runs the login dialog modally (the rights checks of every guarded action use it).
    void ShowLoginDialog();

    // ---- close sequence ----
    QCoro::Task<> FormClose();
    void tmrShutdownTimer();

    // Status bar: panel 0 the current action, panel 1 database and network notes. Every text also
    // goes to the prompter's status (the unattended log).
    void ShowStatus(int panel, const QString& text);
    QString StatusText(int panel) const;

    // Brings the window to the front (a second start of the program asks for it).
    void RaiseFromSecondStart();

    bool TerminateRequested() const { return FTerminateRequested; }
    int ExitCode() const { return FExitCode; }
    bool CloseSequenceRunning() const { return FCloseSequenceRunning; }

    // ---- components ----
    QTabWidget* pgVexaExpressDocks = nullptr;
    QScrollArea* DockStatusBox = nullptr;
    QLabel* imgDock = nullptr;
    QStatusBar* stbAction = nullptr;
    QPlainTextEdit* RemoteList = nullptr;
    QTimer* tmrFormUpload = nullptr;
    QTimer* tmrShutdown = nullptr;
    QAction* LedgraLaunch = nullptr;
    QAction* FennraLaunch = nullptr;
    QAction* PrintSetup1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* mnuNetworkDockSetup1 = nullptr;
    QAction* Options1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* SearchforHelpOn1 = nullptr;
    QAction* HowtoUseHelp1 = nullptr;
    QAction* CheckForUpdate1 = nullptr;
    QAction* About1 = nullptr;
    QAction* CloseNow1 = nullptr;
    QAction* Exit2 = nullptr;
    QMenu* PopupMenu1 = nullptr;

    // ---- application-wide state ----
    QList<TfraDockInfo*> DockFrames;
    QList<TfraDockStatus*> DockStatusFrames;
    QList<QWidget*> DockTabs;
    int DockCount = 0;
    int LiveDockCount = 0;
    int ListeningDockCount = 0;
    int DocksReady = 0;
    int DocksFailed = 0;
    bool DocksLoading = false;
    bool NewNetworkDocks = false;
    bool NetworkDocksEnabled = false;
    bool DBConnected = false;
    bool LaunchAdministrator = false;
    bool LoginSuppressed = false;
    bool EnhancedDebuggingOn = false;
    QString ProgramVersion;
    QString ProgramVersionFull;
    QString LatestDockFlashFile;
    bool ShutdownConfirmed = false;
    quint8 PingReply = 0;
    int BadSerialDockIndex = 0;

    // The program version as a number (major + decimal separator + minor, 2.30 giving 2.3) and
    // the same in exact hundredths (230), which the database version check compares.
    double ProgramVersionNumber = 0;
    int ProgramVersionHundredths = 0;
    // The database name the start-up messages show (empty when none is set).
    QString FDatabaseName;
    // The results database: connection settings (password decrypted), schema version read (0 until
    // read), the lowest program version it accepts (hundredths) and the server's version text.
    TDBSettings DBSettings;
    int DBVersion = 0;
    int DBRequiredVersion = 0;
    QString ServerVersion;
    QString SoundsFolder;

    // Private in spirit: set while the close sequence runs its shutdown pass.
    bool ClosingInProgress = false;

    TGlobalVars* globalVars() const { return FGlobalVars; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

public:
    void FormResize();

private:
    void buildMenus();
    void buildLayout();
    void Terminate(int code = 0);
    void SetHourglass(bool on);
    void SetStatusColour(bool red);
    bool AllFramesIdle() const;
    QCoro::Task<> ShutDownIdleDocks();
    void FinishClose();

    Options FOptions;
    TGlobalVars* FGlobalVars = nullptr;
    TfrmDBLogin* frmDBLogin = nullptr;
    QPointer<TfrmStartUp1> frmStartUp1;
    QPointer<TfrmAbout> frmAbout;
    QPointer<TfrmDockSetup> frmDockSetup;
    QPointer<TDockEnumerator> FDockEnumerator;
    QLabel* FPanel0 = nullptr;
    QLabel* FPanel1 = nullptr;
    QWidget* FClient = nullptr;
    QVBoxLayout* FStatusColumn = nullptr;
    std::unique_ptr<QPrinter> FPrinter;
    bool FTerminateRequested = false;
    int FExitCode = 0;
    bool FHourglass = false;
    bool FStatusRed = false;
    bool FCloseSequenceRunning = false;
    bool FCloseAccepted = false;
    bool FCloseWhileLoading = false;
    QString FBaseCaption;
};

// The program's main window (nullptr before it exists and after it is gone).
TfrmMain* frmMain();

// True when the printer list is not empty.
bool PrinterInstalled();

} // namespace vx8
