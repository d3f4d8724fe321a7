#pragma once

// The link to one docking station, over USB (a TUSBDevice) or Ethernet (two TCP sessions):
// dock commands with their acknowledgements, the dock's events, and the user-data channel that
// carries the instrument's traffic, kernel and firmware images and the test-record dump.
//
// Every operation that waits for the dock is a coroutine; nothing here blocks the event loop or
// nests one, so a slow or silent dock never delays another. Socket and USB notifications only
// queue the received bytes; they are parsed, and the events raised, from a queued call.

#include "AsyncWake.h"
#include "DockCodec.h"
#include "DockTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

namespace vx8 {

class Prompter;
class TUSBDevice;

class TCalderwickVX8Dock;

// Event types. Sender is always the dock link; every event has one assignee (assigning replaces
// the previous handler) and is raised only when assigned. TNotifyEvent is the same type as the
// USB device layer's.
using TNotifyEvent = std::function<void(QObject* sender)>;
using TGotGasReading = std::function<void(QObject* Sender, TGasReading& Reading)>;
using TTestResultEvent = std::function<void(QObject* Sender, TTestResult TestResult)>;
using TStateChange = std::function<void(QObject* Sender, TDockState State)>;
using TDebugMsgEvent = std::function<void(QObject* Sender, const QString& Msg)>;
using TInstrumentInserted = std::function<void(QObject* Sender, TInstState State)>;
using TOnSpanCalibration = std::function<void(QObject* Sender, TSpanCalDueTo Cause, TSensorFlags Sensors)>;
using TOnEmailDelivery = std::function<void(QObject* Sender, bool Sucessul)>;
using TOnBatteryStatus = std::function<void(QObject* Sender, bool Charging, bool Charged, quint16 Voltage)>;
using TUserData = std::function<void(QObject* Sender, const QByteArray& Data)>;
using TFlashProgressEvent = std::function<void(QObject* Sender, int Total, int Remain)>;
using TTCPError = std::function<void(QObject* Sender, int Channel, int Error, const QString& Description)>;

namespace dock {
// The Winsock-style code for a socket error (10061 refused, 10060 timed out, 10054 reset,
// 10057 not connected, 10065 host unreachable, ...). The frames compare these codes.
int winsockErrorCode(QAbstractSocket::SocketError error);
constexpr int WSAENOTCONN = 10057;
} // namespace dock

// State of the current command.
enum class TCmdState : quint8
{
    Idle = 0,
    Pending = 1,
    Acknowledged = 2,
    Failed = 3
};

// Durations of the link's waits and pauses (ms). The defaults are the dock's; tests shorten the
// pauses that only pace the dock.
struct DockTiming
{
    int tcpConnectMs = 5000;       // both sessions must be up within this
    int tcpChunkPauseMs = 50;      // pause after every 1024-byte user-data chunk
    int tcpAfterSendPauseMs = 100; // pause after a user-data message has been sent
    int drainMinMs = 10000;        // a send waits at most max(this, CommandTimeOut) to complete
    int sendRetries = 3;           // a chunk the socket refuses is tried this many times in all
    int holdSplitMs = 50;  // a reply or event cut short by the end of a chunk waits this long for its rest
    int dumpQuietMs = 200; // after the dump's ACK, capture goes on until user data is quiet this long
    int dumpQuietMaxMs = 2000; // ... but no longer than this
};

class TCalderwickVX8Dock : public QObject
{
    Q_OBJECT

public:
    static constexpr int UserDataBufferCap = 16777215;
    static constexpr int MaxUserDataMessage = 0xFFFFF;
    static constexpr int TcpUserChunk = 1024;
    static constexpr quint16 DefaultControlPort = 5004;
    static constexpr quint16 DefaultDataPort = 5005;

    // Messages go to `prompter` (the program's prompter when null).
    explicit TCalderwickVX8Dock(QObject* parent = nullptr, Prompter* prompter = nullptr);
    ~TCalderwickVX8Dock() override;

    // ---- Published properties ---------------------------------------------------------------
    QString LastCommand() const { return m_lastCommand; }
    void SetLastCommand(const QString& value) { m_lastCommand = value; }
    QString GetLastCommand() const { return m_lastCommand; }

    TUSBDevice* USBDevice() const { return m_usb; }
    // Stores the device (not owned); a device switches the link to USB, null to Ethernet.
    void SetUSBDevice(TUSBDevice* device);

    bool Enabled() const { return IsEnabled(); }
    QCoro::Task<bool> SetEnabled(bool value) { return EnableDock(value); }
    bool IsEnabled() const;

    QDateTime DateTime() const { return m_dateTime; }
    void SetDateTimeField(const QDateTime& value) { m_dateTime = value; }

    quint32 DataloggerSize() const { return quint32(m_userDataBuffer.size()); }
    TDockState DockState() const { return m_dockState; }
    void SetDockState(TDockState value) { m_dockState = value; }
    TTestResult TestResult() const { return m_testResult; }
    void SetTestResult(TTestResult value) { m_testResult = value; }

    int CommandTimeOut() const { return m_commandTimer.interval(); }
    void SetCommandTimeOut(int ms) { SetTimerInterval(ms); }
    int ReadTimerInterval() const { return m_commandTimer.interval(); }
    // Changing the interval of a running timer restarts it.
    void SetTimerInterval(int ms);

    QString FlashFileName() const { return m_flashFileName; }
    void SetFlashFileName(const QString& value) { m_flashFileName = value; }
    QString EthernetAddress() const { return m_ethernetAddress; }
    void SetEthernetAddress(const QString& value) { m_ethernetAddress = value; }
    // The dock's ports are 5004 (control) and 5005 (user data); tests may point them elsewhere.
    void SetPorts(quint16 controlPort, quint16 dataPort);

    // Test-record pass/fail word and instrument flags.
    bool PassFailGlobal() const { return GetTestPassFail(15); }
    bool PassFailAudio() const { return GetTestPassFail(14); }
    bool PassFailVibrator() const { return GetTestPassFail(13); }
    bool PassFailVisual() const { return GetTestPassFail(12); }
    bool PassFailZero() const { return GetTestPassFail(11); }
    bool PassFailBumpOnly() const { return GetTestPassFail(10); }
    bool PumpInstalled() const { return GetFlagValue(15); }
    bool RechargeableBattery() const { return GetFlagValue(14); }
    bool VibratorInstalled() const { return GetFlagValue(13); }

    // Dock setting bits of the configuration record.
#define VX8_DOCK_SETTING(Name, Bit)                                                                          \
    bool Name() const                                                                                        \
    {                                                                                                        \
        return GetDockSetting(Bit);                                                                          \
    }                                                                                                        \
    void Set##Name(bool value)                                                                               \
    {                                                                                                        \
        SetDockSetting(Bit, value);                                                                          \
    }
    VX8_DOCK_SETTING(Sol1Installed, 0)
    VX8_DOCK_SETTING(Sol2Installed, 1)
    VX8_DOCK_SETTING(Sol3Installed, 2)
    VX8_DOCK_SETTING(Sol4Installed, 3)
    VX8_DOCK_SETTING(EthernetInstalled, 5)
    VX8_DOCK_SETTING(ResumeInstrumentOFF, 6)
    VX8_DOCK_SETTING(ResumeInstrumentON, 7)
    VX8_DOCK_SETTING(UseDHCP, 8)
    VX8_DOCK_SETTING(WritePIN, 9)
    VX8_DOCK_SETTING(CheckPIN, 10)
    VX8_DOCK_SETTING(UseCal_Interval, 11)
    VX8_DOCK_SETTING(Enable_Emailing, 12)
    VX8_DOCK_SETTING(OptimizeO2Bump, 13)
    VX8_DOCK_SETTING(AirInletIs0Air, 14)
    VX8_DOCK_SETTING(Gas1Enabled, 16)
    VX8_DOCK_SETTING(Gas2Enabled, 17)
    VX8_DOCK_SETTING(Gas3Enabled, 18)
    VX8_DOCK_SETTING(Gas4Enabled, 19)
    VX8_DOCK_SETTING(AutoTimeCal1, 20)
    VX8_DOCK_SETTING(AutoTimeCal2, 21)
    VX8_DOCK_SETTING(AutoTimeCal3, 22)
#undef VX8_DOCK_SETTING

    // ---- State ------------------------------------------------------------------------------
    TCmdState CmdState() const
    {
        return m_cmdState;
    }
    dock::ReplyKind ReplyKind() const
    {
        return m_replyKind;
    }
    const dock::AdcValues& AdcCounts() const
    {
        return m_adcCounts;
    }
    const dock::AdcValues& AdcPeaks() const
    {
        return m_adcPeaks;
    }
    // False when the last "ADC" failed: AdcCounts (and LithiumBatVoltage) are from before it.
    bool AdcCountsFresh() const
    {
        return m_adcFresh;
    }
    QString FlashDateTimeText() const
    {
        return m_flashDateTimeText;
    }
    QString LCDText() const
    {
        return m_lcdText;
    }
    bool DockBusy() const
    {
        return m_dockBusy;
    }
    TSpanCalDueTo SpanCause() const
    {
        return m_spanCause;
    }
    TSensorFlags SpanSensors() const
    {
        return m_spanSensors;
    }

    vx8::DockConfigRecord& DockConfigRecord()
    {
        return m_config;
    }
    const vx8::DockConfigRecord& DockConfigRecord() const
    {
        return m_config;
    }
    vx8::TestRecord& TestRecord()
    {
        return m_testRecord;
    }
    const vx8::TestRecord& TestRecord() const
    {
        return m_testRecord;
    }

    // The program's e-mail settings; when enabled they fill the configuration's e-mail fields
    // before every "WEE" (a read leaves only filler there).
    void SetEmailSettings(const dock::DockEmailSettings& settings)
    {
        m_email = settings;
    }
    const dock::DockEmailSettings& EmailSettings() const
    {
        return m_email;
    }

    // User-data capture (test-record dump).
    bool CaptureUserData() const
    {
        return m_capture;
    }
    // Starting a capture empties the buffer.
    void SetCaptureUserData(bool on);
    const QByteArray& UserDataBuffer() const
    {
        return m_userDataBuffer;
    }

    // Firmware programming mode: user data counts as flash acknowledgements.
    bool FlashMode() const
    {
        return m_flashMode;
    }
    void SetFlashMode(bool on);
    qint32 FlashAckCount() const
    {
        return m_flashAckCount;
    }
    void SetFlashAckCount(qint32 value)
    {
        m_flashAckCount = value;
    }
    // A flash acknowledgement reported an erase ("B") or write ("F") error since flash mode began.
    bool FlashErrorSeen() const
    {
        return m_flashError;
    }
    bool DataSentFlag() const
    {
        return m_dataSent;
    }

    const DockTiming& Timing() const
    {
        return m_timing;
    }
    void SetTiming(const DockTiming& timing)
    {
        m_timing = timing;
    }

    // ---- Link operations --------------------------------------------------------------------
    // Opens or closes the transport when `Enable` differs from IsEnabled; yields IsEnabled.
    QCoro::Task<bool> EnableDock(bool Enable);
    // Sends one command and waits for its outcome; true only if acknowledged. `kind` selects how
    // the acknowledgement's payload is decoded and is bound only when the command is sent.
    QCoro::Task<bool> ExecuteCommand(QByteArray Command, dock::ReplyKind kind = dock::ReplyKind::None);
    // Writes bytes on the control channel and marks the command pending.
    void SendControlData(const QByteArray& Data);
    // Sends bytes on the user-data channel; false when anything was not sent.
    QCoro::Task<bool> SendUserData(QByteArray Data);
    // USB: bytes still queued on the user-data out pipe; Ethernet: 0.
    int UserDataBufferCount() const;
    static void ReverseData(char* buffer, int count);

    // ---- Dock commands ----------------------------------------------------------------------
    QCoro::Task<bool> GetAdcCounts();
    QCoro::Task<bool> GetAdcPeaks();
    QCoro::Task<bool> ResetAdcPeaks();
    QCoro::Task<bool> GetDateTime();
    QCoro::Task<bool> SetDateTime(QDateTime Value);
    QCoro::Task<bool> GetConfiguration();
    QCoro::Task<bool> WriteConfiguration();
    QCoro::Task<bool> GetTestRecord();
    // Dumps every stored test record into UserDataBuffer.
    QCoro::Task<bool> GetTestRecords();
    QCoro::Task<bool> ClearTestRecords(int Count);
    QCoro::Task<bool> PerFormTest(quint8 Mode);
    // The out-parameters must outlive the co_await.
    QCoro::Task<bool> GetIsDockBusy(bool& Busy);
    QCoro::Task<bool> SetDockMode(bool Slave, bool& Busy);
    QCoro::Task<bool> SetLCDText(int Line, QString Text);
    QCoro::Task<bool> SetLCD0(QString Text)
    {
        return SetLCDText(0, std::move(Text));
    }
    QCoro::Task<bool> SetLCD1(QString Text)
    {
        return SetLCDText(1, std::move(Text));
    }
    QCoro::Task<bool> ReadLCDText(int Line, QString& Text);
    QCoro::Task<QString> FLCDLine0();
    QCoro::Task<QString> FLCDLine1();
    // The LCDLine0Text / LCDLine1Text properties: reading asks the dock, writing sets the line.
    QCoro::Task<QString> LCDLine0Text()
    {
        return FLCDLine0();
    }
    QCoro::Task<QString> LCDLine1Text()
    {
        return FLCDLine1();
    }
    QCoro::Task<bool> SetLCDLine0Text(QString Text)
    {
        return SetLCD0(std::move(Text));
    }
    QCoro::Task<bool> SetLCDLine1Text(QString Text)
    {
        return SetLCD1(std::move(Text));
    }
    QCoro::Task<bool> SetPumpStatus(int Speed, quint8 Channel);
    QCoro::Task<bool> DisconnectInstrument();
    QCoro::Task<bool> StartIrDASearch();
    QCoro::Task<bool> SendTestEmail();
    QCoro::Task<bool> SendENQ();
    QCoro::Task<bool> GetFlashDateTime(QString& Text);
    // Sends "ADC" and returns channel 1 × 300 div 768 (hundredths of a volt), from the counts
    // of before when the command failed (see AdcCountsFresh).
    QCoro::Task<int> LithiumBatVoltage();
    QCoro::Task<int> BatteryVoltage()
    {
        return LithiumBatVoltage();
    }

    // ---- Record accessors (no traffic) ------------------------------------------------------
    bool GetDockSetting(int n) const
    {
        return dock::dockSetting(m_config.SettingFlags, n);
    }
    void SetDockSetting(int n, bool value)
    {
        m_config.SettingFlags = dock::withDockSetting(m_config.SettingFlags, n, value);
    }
    bool GetTestPassFail(int n) const
    {
        return dock::bitOf(m_testRecord.PassFailFlags, n);
    }
    bool GetFlagValue(int n) const
    {
        return dock::bitOf(m_testRecord.InstrumentFlags, n);
    }
    bool PassFailBump(int s) const;
    int PassFailSpan(int s) const;
    bool PassFailSensorZero(int s) const;
    int SpanFaultCause(int s) const;
    QDateTime TestRecordDateTime() const
    {
        return dock::FromCalderVX8Time(m_testRecord.TestTime);
    }
    static QDateTime FromCalderVX8Time(quint32 Seconds)
    {
        return dock::FromCalderVX8Time(Seconds);
    }
    static QDate FromInstrumentDate(quint16 Days)
    {
        return dock::FromInstrumentDate(Days);
    }
    // Decodes dump entry `Index` into TestRecord; false (record unchanged) unless all its 276
    // bytes were captured.
    bool LoadRecord(int Index);
    // Sets MicGain from the sound level measured at the dock's microphone and the audio peak.
    bool CalibrateAudioGain(double Level);

    // ---- Events -----------------------------------------------------------------------------
    TGotGasReading OnGotGasReading;
    TNotifyEvent OnPumpLowFlow;
    TNotifyEvent OnInstrumentConnected;
    TNotifyEvent OnInstrumentDisconnected;
    TTestResultEvent OnTestCompleted;
    TNotifyEvent OnDeviceInRange;
    TNotifyEvent OnDeviceRemoved;
    TNotifyEvent OnFailedToConnect;
    TStateChange OnStateChange;
    TDebugMsgEvent OnDebugMessage;
    TInstrumentInserted OnDeviceInserted;
    TOnSpanCalibration OnSpanCalibration;
    TNotifyEvent OnMultipleTCPConnections;
    TOnEmailDelivery OnEmailDelivered;
    TOnBatteryStatus OnBatteryStatus;
    TNotifyEvent OnCmdTimeOut;
    TUserData OnRcvUserData;
    TUserData OnDebugRcvControlData;
    TUserData OnDebugSndControlData;
    TUserData OnDebugRcvUserData;
    TFlashProgressEvent OnFlashProgress;
    TTCPError OnTCPError;
    TNotifyEvent OnTCPConnected;
    TNotifyEvent OnTCPClosed;

private:
    enum class Channel : quint8
    {
        Control,
        User
    };
    struct Chunk
    {
        Channel channel;
        QByteArray bytes;
        bool tcp;
    };

    template <typename F, typename... A> void raise(const F& handler, A&&... args)
    {
        if (handler) {
            F copy = handler; // the handler may re-assign the event while it runs
            copy(this, std::forward<A>(args)...);
        }
    }

    Prompter& prompter() const;
    void showMessage(const QString& text, bool warning = false);

    // Reception.
    void queueChunk(Channel channel, QByteArray bytes, bool tcp);
    void scheduleProcessing();
    void processInbox();
    void handleControlChunk(const QByteArray& chunk);
    void flushHeldControl();
    void applyParsed(const dock::ParsedChunk& parsed);
    void handleEvent(const dock::DockEvent& ev);
    void handleReply(const dock::DockReply& reply);
    void handleUserChunk(const QByteArray& chunk, bool tcp);
    void handleFlashAck(const QByteArray& chunk, bool count);
    void onUserData(const QByteArray& chunk);
    void onCommandTimeout();

    // Command outcome.
    void finishCommandWait();
    void linkLost();

    // Waits until cond() holds, every state change re-checking it; false on time-out or when the
    // link object is gone.
    QCoro::Task<bool> waitUntil(std::function<bool()> cond, int timeoutMs);
    void notifyState();

    // TCP.
    void setupSocket(QTcpSocket& socket, int channel);
    bool tcpWrite(QTcpSocket& socket, int channel, const QByteArray& bytes);
    void onSessionConnected();
    void onSessionClosed();
    void drainSockets();
    QCoro::Task<bool> enableTcp();
    void disableTcp();
    QCoro::Task<bool> sendUserDataTcp(QByteArray data);

    // USB.
    void bindUsbDevice();
    bool usbConnected() const;
    bool usbHalted() const;
    int usbSend(int pipe, const QByteArray& bytes);
    int usbOutputCount(int pipe) const;
    QCoro::Task<bool> enableUsb();
    void disableUsb();
    void onUsbPipeData(int pipe);
    void watchUsbPipes();
    void usbPipeSettled();

    Prompter* m_prompter;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    DockTiming m_timing;

    QTimer m_commandTimer;
    QTcpSocket m_controlSocket;
    QTcpSocket m_dataSocket;
    quint16 m_controlPort = DefaultControlPort;
    quint16 m_dataPort = DefaultDataPort;
    bool m_tcpClosedOwed = false; // a session connected since OnTCPClosed was last raised
    TUSBDevice* m_usb = nullptr;
    QPointer<QObject> m_usbGuard; // m_usb, while it exists
    bool m_usbLinkUp = false;

    QString m_ethernetAddress;
    TCmdState m_cmdState = TCmdState::Idle;
    dock::ReplyKind m_replyKind = dock::ReplyKind::None;
    dock::WakePtr m_commandWait;
    QList<dock::WakePtr> m_stateWaiters;
    QString m_lastCommand;
    dock::AdcValues m_adcCounts{};
    dock::AdcValues m_adcPeaks{};
    bool m_adcFresh = false;
    QDateTime m_dateTime;
    QString m_flashDateTimeText;
    QString m_lcdText;
    QString m_flashFileName;
    bool m_flashMode = false;
    qint32 m_flashAckCount = 0;
    bool m_flashError = false;
    bool m_dataSent = false;
    vx8::DockConfigRecord m_config;
    vx8::TestRecord m_testRecord;
    dock::DockEmailSettings m_email;
    QByteArray m_userDataBuffer;
    bool m_capture = false;
    bool m_captureOverflow = false;
    QElapsedTimer m_lastUserData;
    TDockState m_dockState = TDockState::Cmd_Enq;
    TTestResult m_testResult = TTestResult::NO_ERROR;
    TSpanCalDueTo m_spanCause = TSpanCalDueTo::Span_CalFlag;
    TSensorFlags m_spanSensors;
    bool m_dockBusy = false;

    QList<Chunk> m_inbox;
    bool m_processScheduled = false;
    QByteArray m_heldControl; // a token cut short by the end of its chunk
    QTimer m_holdTimer;
};

} // namespace vx8
