#pragma once

#include "dockframe/DockController.h"
#include "dockframe/DockFrameView.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;

namespace vx8 {

class DockLinkAdapter;
class LedIndicator;
class Pinger;
class Prompter;
class TCalderwickVX8Dock;
class TInstrumentView;
class TKor7;
class TKorLink;
class TUSBDevice;
class TfraDockStatus;

// The controller frame of one dock: one per live dock, and one that serves every listening dock.
// The main window creates it hidden on a hidden tab, starts it, shuts its dock down when it is
// idle and frees it at the end of the close sequence.
//
// The frame is the view: its logic (start-up dialogue, dock events, worker thread) is the
// TDockController it owns, which shows everything through the DockFrameView this frame
// implements. Every change to one of the frame's LEDs is made to the summary frame's LED of the
// same name as well, in the same order.
// Holds the frame's logic, constructed before the frame's members that refer to its fields.
struct FrameCoreHolder
{
    explicit FrameCoreHolder(Prompter* prompter) : FCore(std::make_unique<TDockController>(nullptr, prompter)) {}
    std::unique_ptr<TDockController> FCore;
};

class TfraDockInfo : public QWidget, protected FrameCoreHolder, public DockFrameView
{
    Q_OBJECT
public:
    explicit TfraDockInfo(QWidget* parent = nullptr, Prompter* prompter = nullptr);
    ~TfraDockInfo() override;

    // The logic and state of the frame.
    TDockController& Core() { return *FCore; }
    const TDockController& Core() const { return *FCore; }

    // Frame state the main window reads and sets (the controller's fields).
    bool& FFrameActive;
    bool& FIdle;
    bool& FShutDownDone;
    bool& FShuttingDown;
    bool& FStartUpCancel;
    bool& FFirmwareUploaded;
    QString& FDockDescription;
    bool FConfigChanged = false; // the dock configuration was edited and not yet sent
    // True while the start-up download and firmware check run; StartUpDownloadingChanged follows it.
    bool StartUpDownloading() const { return FCore->StartUpDownloading(); }

    // Raised when the frame wants the main window to show its page for a bad serial number.
    std::function<void(TfraDockInfo* sender)> OnBadInstrSerial;

    // The dock link (owned).
    TCalderwickVX8Dock* VexaExpressDock1 = nullptr;
    // The dock's USB device (owned), the dock link's USB device from construction on. The main
    // window frees it for a network dock (ReleaseUSBDevice) and names the device of a USB dock.
    TUSBDevice* USBDevice1 = nullptr;
    // A network dock: the link's USB device nil and the frame's own device freed.
    void ReleaseUSBDevice();
    // Set through FFlashUploading while a firmware upgrade of the dock runs.
    bool& FFlashUploading;
    // The instrument link through the dock link (owned), and the instrument protocol on it.
    TKorLink* KorLink1 = nullptr;
    TKor7* Mellic1 = nullptr;
    // The ICMP echo of the network supervision (the controller's).
    Pinger* FPing = nullptr;
    // Stands in for the hidden certificate frame until the certificates are built.
    QWidget* FCertificate = nullptr;
    // The frame's pop-up menu: "Debug Window" (enabled while the debug window exists), "Exit".
    QMenu* PopupMenu1 = nullptr;
    QAction* DebugWindow1 = nullptr;
    QAction* Exit1 = nullptr;
    void DebugWindow1Click();

    QTimer* tmr_NetworkActivity = nullptr; // network supervision of an idle network dock
    QTimer* tmr_ListeningMode = nullptr;   // query rounds of the listening docks

    // ---- components ----
    QTabWidget* pgeDockInfo = nullptr;
    QWidget* tsExpressDock = nullptr;
    QWidget* tsInstrument = nullptr;
    QGroupBox* gbMLStatus = nullptr;
    LedIndicator* ledMLDetected = nullptr;
    LedIndicator* ledMLConnected = nullptr;
    LedIndicator* ledMLProcessing = nullptr;
    LedIndicator* ledMLCalComplete = nullptr;
    LedIndicator* ledMLFaulted = nullptr;
    LedIndicator* ledBattStatus = nullptr;
    LedIndicator* ledACPower = nullptr;
    QLabel* lblBatteryStatus = nullptr;
    QGroupBox* gbTestDetails = nullptr;
    QPlainTextEdit* memInProcess = nullptr;
    QStatusBar* stbAction = nullptr;
    QLabel* stbPanel[3] = {nullptr, nullptr, nullptr};
    QLabel* lbl_Info = nullptr;
    QGroupBox* gbGasReadings = nullptr;
    QLabel* lblGasReadings = nullptr;
    QLabel* lblGasReadingStatus = nullptr;
    QGroupBox* gbDockEepromDownload = nullptr;
    QGroupBox* gbDockData = nullptr;
    QGroupBox* gbDockActions = nullptr;
    QGroupBox* gbLCDDisplay = nullptr;
    QLabel* lblLCDDisplay = nullptr;
    QGroupBox* gbDockCalInterval = nullptr;
    QComboBox* cboDockCalInterval = nullptr;
    QGroupBox* gbAccessPin = nullptr;
    QGroupBox* gbDockAdvanced = nullptr;
    QPushButton* cmd_Advanced = nullptr;
    QPushButton* cmd_TestIPAddress = nullptr;
    QPushButton* cmd_Ethernet = nullptr;
    QWidget* cbGetConfig = nullptr;
    // The instrument configuration pages (hidden until an instrument has been read).
    TInstrumentView* pgSensorData = nullptr;

    // The instrument firmware file handed to the frame's instrument component.
    void SetInstrFlashFileName(const QString& file) { FInstrFlashFileName = file; }
    const QString& InstrFlashFileName() const { return FInstrFlashFileName; }

    // The dock's serial number from its configuration (0 before the configuration was read).
    virtual quint32 DockSerialNumber() const { return FCore->FDockSerial; }
    // True while the frame's dock link is enabled.
    virtual bool DockLinkEnabled() const;
    // Releases the dock: pump off ("PSS" 0 0), back to master mode ("MST"), link disabled.
    virtual QCoro::Task<> ShutDownDock();

    // Where the start-up writes: the main window's status bar and its busy look.
    std::function<void(int panel, const QString& text)> MainStatus;
    std::function<void(bool busy, bool bold)> MainStatusBusyLook;

    // ---- operations the main window calls ----
    virtual QCoro::Task<bool> DockEnable();
    virtual QCoro::Task<bool> DockStartUp(QTabWidget* pageControl, QWidget* dockTab, bool enable,
                                          const QString& flashFileName, TfraDockStatus* statusFrame,
                                          int pageIndex);
    void UpdateScreenInfo(const QString& calNow, const QString& skipCal);
    // Scrolls the process log to its caret (a tab's OnEnter/OnShow).
    void UpdateMemoLocation();
    // Entering the page control, entering or showing the instrument page: the newest log lines
    // come into view.
    void tsInstrumentShow();
    // Keeps the frame at its parent's width (the frame's layouts keep its pages and boxes sized).
    void FrameResize();
    void SetStatusFrame(TfraDockStatus* statusFrame);
    TfraDockStatus* StatusFrame() const { return FStatusFrame; }

    // ---- DockFrameView ----
    void ShowMainStatus(int panel, const QString& text) override;
    void SetMainStatusBusyLook(bool busy, bool bold) override;
    void SetBusyCursor(bool busy) override;
    void ShowFrameStatus(int panel, const QString& text) override;
    void SetFrameStatusHint(const QString& hint) override;
    void AddLogLine(const QString& line) override;
    QString LastLogLine() const override;
    void SetLedOn(FrameLed led, bool on) override;
    void SetLedColor(FrameLed led, const QColor& color) override;
    void SetLedBlinking(FrameLed led, bool blinking) override;
    void SetLedHint(FrameLed led, const QString& hint) override;
    void PrepareForStartUp() override;
    void PrepareConfigurationRead(bool shopOrQc) override;
    void SetInfoText(const QString& text) override;
    void SetDockPageCaption(const QString& caption) override;
    void SetDockPageHint(const QString& hint) override;
    void SetDockTab(const QString& caption, const QString& hint) override;
    void SetStatusFrameCaption(const QString& caption) override;
    void SetStatusFrameHint(const QString& hint) override;
    void ShowFrameAndSelectTab(int pageIndex) override;
    void SetGasReadingStatus(const QString& text, const QColor& color, const QString& hint) override;
    void ApplySoftwareType(int softwareType) override;
    void HideDockTabAndStatusFrame() override;

    // The LEDs of one name: this frame's and the summary frame's (either may be null).
    LedIndicator* OwnLed(FrameLed led) const;
    LedIndicator* SummaryLed(FrameLed led) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void bindLinkEvents();
    void createInstrumentComponents();
    void createUsbDevice();
    void clearUsbHandlers();

    std::unique_ptr<DockLinkAdapter> FPort;
    QPointer<QTabWidget> FDockPages;
    QPointer<QWidget> FDockTab;
    QPointer<TfraDockStatus> FStatusFrame;
    int FCursorDepth = 0;
    QString FInstrFlashFileName;
};

} // namespace vx8
