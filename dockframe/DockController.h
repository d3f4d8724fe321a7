#pragma once

#include "DockFrameTypes.h"
#include "DockFrameView.h"
#include "DockLinkPort.h"
#include "GenericThread.h"
#include "Pinger.h"

#include "common/DebugSink.h"
#include "common/db/DBSettings.h"
#include "instrument/VocList.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vx8 {

class Prompter;

// The logic of one dock frame (TfraDockInfo): its private state, its worker thread, the start-up
// dialogue with the dock, and the handlers of the dock events that are not the test cycle. It
// shows everything through a DockFrameView and asks through a Prompter; it owns no widget.
class TDockController : public QObject
{
    Q_OBJECT
public:
    TDockController(DockFrameView* view, Prompter* prompter, QObject* parent = nullptr);
    ~TDockController() override;

    void SetView(DockFrameView* view) { m_view = view; }
    Prompter* Prompt() const { return m_prompter; }

    // The dock link; not owned (the frame owns the link and outlives this object's use of it).
    void SetLink(DockLinkPort* link) { m_link = link; }
    DockLinkPort* Link() const { return m_link; }

    // ---- Hooks filled by the frame's owner and by the other parts of the frame ----------------
    std::function<DockFrameSettings()> Settings;
    // Dock definitions: by serial text and by address.
    std::function<DockDescriptionInfo(const QString& serialText)> GetDockDescriptionBySerial;
    std::function<DockDescriptionInfo(const QString& address)> GetDockDescriptionByAddress;
    // Registers the dock in the dock definitions.
    std::function<void(const QString& serialText, const QString& address, bool overEthernet,
                       bool ethernetInstalled, const QString& description)>
        UpdateDockInfo;
    std::function<void()> ShowDockConfiguration; // the dock configuration view
    std::function<void()> DockConfigUpdated;
    std::function<void()> HideSplash;
    // Download of the dock's stored test records (results database).
    std::function<QCoro::Task<bool>()> DockDownload;
    // The dock firmware check run once after the start-up; clears FStartUpDownloading when done.
    std::function<QCoro::Task<void>()> FirmwareCheck;
    // Input box: text entered, or nothing when cancelled.
    std::function<std::optional<QString>(const QString& title, const QString& prompt, const QString& def)> InputBox;
    // The database update job of a finished instrument, started on channel 2 at Cmd_Disc.
    std::function<TGenericThread::Work2Fn()> MakeDatabaseUpdateJob;
    // Sensor slot 0 holds an O2 sensor that still needs its nitrogen calibration.
    std::function<bool()> O2NeedsNitrogenCal;
    std::function<void()> PlayFaultSound;

    // ---- The operations the main window calls ---------------------------------------------------
    QCoro::Task<bool> DockEnable();
    // The start-up dialogue. The page control, tab and status frame of the arguments belong to the
    // view; the index is kept for selecting the tab.
    QCoro::Task<bool> DockStartUp(bool enable, const QString& flashFileName, int pageIndex);
    void UpdateScreenInfo(const QString& calNow, const QString& skipCal);
    static QString ScreenInfoText(const QString& calNow, const QString& skipCal, const QString& o2Flag);

    // ---- Dock events ----------------------------------------------------------------------------
    void VexaExpressDock1xStateChange(int state);
    void VexaExpressDock1xInstrumentConnected();
    void VexaExpressDock1xDeviceInRange();
    void VexaExpressDock1xDeviceRemoved();
    void VexaExpressDock1DeviceInserted(int instState);
    void VexaExpressDock1xFailedToConnect();
    void VexaExpressDock1xCmdTimeOut();
    void USBDevice1DebugOnPipeData(int channel, int bytes);

    // ---- USB events (the frame's TUSBDevice) ------------------------------------------------------
    // The dock's USB device has gone: no data seen, the frame idle; unless a dock firmware upload
    // or its verification runs (FFlashUploading, FFirmwareUploaded), the warning "USB Cable has
    // been disconnected from Dock " + serial + ". This Dock will be removed."; the dock's tab and
    // its summary frame are hidden, the frame itself stays.
    void USBDevice1DeviceRemoved();
    // A pipe keeps failing while the device is still there: "USB Device Error:" + the system's
    // text for the error, in the debug window (and the trace).
    void USBDevice1PipeError(int pipe, int error);
    // A pipe could not be opened: traced only.
    void USBDevice1OpenPipeError(int pipe, int error, const QString& pipePath);
    // The debug-window line of a pipe error.
    static QString UsbDeviceErrorLine(int error);
    // The warning shown when the USB cable of a dock is pulled.
    static QString UsbRemovedText(const QString& dockSerialText);

    // The text of a dock state in the process log; empty for states above 34.
    static QString DockStateText(int state);

    TGenericThread& Worker() { return *m_worker; }

    // ---- Debug window writers -------------------------------------------------------------------
    // Control data the dock link received / sent: time + ": Dock(" + serial + ") Received Data: "
    // (or "Sent Data: ") + the data as received; "Dock(N/A)" while the serial is unknown.
    void VexaExpressDock1xDebugRcvControlData(const QByteArray& data);
    void VexaExpressDock1xDebugSndControlData(const QByteArray& data);
    // Instrument-link frames: time + ": KOR7(" + nine-digit serial + ") Data Received: " (or
    // ") Data Sent: ") + the data; "KOR7(N/A)" while the instrument serial is unknown.
    void KorLink1DebugReceive(const QByteArray& data);
    void KorLink1DebugSend(const QByteArray& data);
    // Appends a line to the debug window (nothing without one), clearing it first when it holds
    // more than 500 lines and `capped` is set.
    void WriteDebugLine(const QString& line, bool capped = true);
    // The debug window the writers use: the one set here, else the program's (null when none).
    DebugSink* DebugWindow() const { return m_debugSink ? m_debugSink : DebugSink::program(); }
    void SetDebugSink(DebugSink* sink) { m_debugSink = sink; }
    // The texts of the traffic lines (serial texts empty while unknown).
    static QString DockTrafficLine(const QString& time, const QString& dockSerial, bool received,
                                   const QByteArray& data);
    static QString InstrumentTrafficLine(const QString& time, const QString& instrSerial, bool received,
                                         const QByteArray& data);

    // ---- VOC list ---------------------------------------------------------------------------------
    // The results database the VOC list is loaded from (nothing set: no database).
    std::function<TDBSettings()> ResultsDatabase;
    // The VOC gas names of the results database, loaded afresh by every start-up (empty without
    // a database; the start-up does not wait for it).
    TVocList FVocList;
    // Clears the list and loads it on a thread of its own; VocListLoaded reports the outcome.
    void LoadVocList();
    bool VocListLoading() const { return m_vocLoads > 0; }

    // The ICMP echo of the network supervision.
    Pinger* FPing = nullptr;

    // ---- Private state of the frame (named as the frame names it) -------------------------------
    bool FFrameActive = false;
    bool gDockStartUpCompleted = false;
    quint8 FRestartState = 0;
    bool FIdle = false;
    bool FDataSeen = false;
    bool FShuttingDown = false;
    bool FShutDownDone = false;
    int FPageIndex = 0;
    QString FFlashFileName;
    quint32 FDockSerial = 0;
    QString FDockSerialText;
    QString FDockFirmware = QStringLiteral("N/A");
    QString FDockDescription;
    QString FEthernetAddress;
    bool FViaEthernet = false;
    quint8 FPingResult = 0;
    bool FStartUpCancel = false;
    bool FFirmwareUploaded = false;
    // A firmware upgrade of this dock is under way (set and cleared by the dock firmware upload).
    bool FFlashUploading = false;
    quint8 FTestState = TestState::isDisconnected;
    bool FInstrumentOnline = false;
    quint8 FLastDockState = 0;
    quint8 FInsertStatus = 0;
    quint32 FInstrSerial = 0; // instrument serial from the unit memory; 0 while unknown
    int FRemovedShown = 0;
    bool FMemoryDownload = false;
    bool FTestCompleted = false;
    QDateTime StartUpBegan, StartUpCompleted;

    bool StartUpDownloading() const { return m_startUpDownloading; }
    void SetStartUpDownloading(bool on);

    // tmr_NetworkActivity (network supervision) and tmrFlashUpload.
    QTimer tmr_NetworkActivity;
    QTimer tmrFlashUpload;

signals:
    void StartUpDownloadingChanged(bool downloading);
    // A VOC list load ended: ok is false when the results database could not be read.
    void VocListLoaded(bool ok, const QString& error);

public:
    // The two 30-second windows of the start-up (free dock, slave mode), the pause between its
    // polls and the pause before the second configuration read. Tests shorten them.
    std::chrono::milliseconds FreeDockWindow{30000};
    std::chrono::milliseconds PollInterval{100};
    std::chrono::milliseconds RetryPause{1000};
    static constexpr int ProgramProtocolVersion = 1;
    inline static const QString DownloadAddress = QStringLiteral("www.calderwick.com/downloads");

private:
    QCoro::Task<bool> startUp(quint64 generation, bool enable, const QString& flashFileName, int pageIndex);
    QCoro::Task<int> configuredSteps(quint64 generation, const DockFrameSettings& s);
    static qint64 wholeSecondsLeft(const QDeadlineTimer& deadline, std::chrono::milliseconds window);
    QCoro::Task<int> waitForFreeDock(quint64 generation); // 1 free, 0 busy, -1 abandoned
    QCoro::Task<int> slaveDock(quint64 generation);
    bool stillCurrent(const QPointer<TDockController>& self, quint64 generation) const;
    void tmrFlashUploadTimer();
    DockFrameSettings settings() const;
    void resumeTick();
    void addLogAndLastAction(const QString& line);
    void waitForVocLoads();

    DockFrameView* m_view;
    Prompter* m_prompter;
    DockLinkPort* m_link = nullptr;
    std::unique_ptr<TGenericThread> m_worker;
    quint64 m_generation = 0;
    bool m_startUpDownloading = false;
    bool m_configRead = false;
    DebugSink* m_debugSink = nullptr;
    quint64 m_vocGeneration = 0;
    int m_vocLoads = 0;
    QList<QThread*> m_vocThreads; // loads still running (waited for on destruction)
};

} // namespace vx8
