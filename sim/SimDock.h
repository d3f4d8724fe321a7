#pragma once

#include "SimInstrument.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

namespace vx8::sim {

class SimServer;
class SimUsbDevice;

enum class SimChannel
{
    Control,
    Data
};

// One injected fault. Triggers: the n-th time (occurrence, 1-based; 0 every time) a command
// whose mnemonic starts with `command` arrives on `channel`, or the dock's own test reaching the
// state `testStep`. Kinds: "noReply", "nak", "cut" (keep `bytes`), "split" (at `at`, second part
// `ms` later), "merge" (held and written together with the next chunk of the channel, or alone
// after `ms` when > 0), "double" (the reply twice in one write), "delay" (`ms`), "close" (closes
// `closeChannel`, default the command's channel), "vanish" (the dock disappears), "stop" (the
// dock's test sequence stops where it is), "replace" (the reply becomes the bytes of `hex`),
// "append" / "prepend" (the bytes of `hex` written in the same chunk after / before the reply).
struct SimFault
{
    QString kind;
    QString command;
    SimChannel channel = SimChannel::Control;
    int occurrence = 1;
    int count = 1;
    int testStep = -1;
    int bytes = -1;
    int at = -1;
    int ms = 0;
    QString closeChannel;
    QByteArray bytesHex; // "replace": the reply instead; "append": added to the reply; "prepend"
    int seen = 0;
    int applied = 0;
    static SimFault fromJson(const QJsonObject& o);
    // Empty when the fault can be used; otherwise what is wrong with it.
    static QString check(const QJsonObject& o);
};

// A simulated dock: its configuration, stored test records, clock, display, pump and test
// sequence, the instrument it holds, and its two channels (TCP 5004/5005 on its own loopback
// address, or the four pipes of an in-process USB device). Event-driven only: an idle dock has
// no running timer.
class SimDock : public QObject
{
    Q_OBJECT
public:
    SimDock(SimServer* server, const QJsonObject& setup, int index);
    ~SimDock() override;

    bool start(QString* error);
    void stop();

    // Identity and transport.
    quint32 serial() const { return m_serial; }
    QHostAddress address() const { return m_address; }
    quint16 controlPort() const;
    quint16 dataPort() const;
    bool isUsb() const { return m_usb != nullptr; }
    SimUsbDevice* usbDevice() const { return m_usb.get(); }
    bool controlConnected() const;
    bool dataConnected() const;

    // State, as the application last left it.
    QByteArray configuration() const; // 504 bytes as REE would return them now
    void setConfiguration(const QByteArray& image);
    QList<QByteArray> storedRecords() const { return m_records; }
    void setStoredRecords(const QList<QByteArray>& records) { m_records = records; }
    QByteArray lastTestRecord() const { return m_lastTest; }
    SimInstrument* instrument() const { return m_instrument.get(); }
    // The instrument last docked, also after it was removed (null before the first).
    SimInstrument* lastInstrument() const { return m_lastInstrument.get(); }
    bool instrumentConnected() const { return m_connected; }
    bool testRunning() const { return m_testRunning; }
    bool isBusy() const { return m_testRunning || m_restarting; }
    bool isSlave() const { return m_slave; }
    QString lcdLine(int line) const { return m_lcd.value(line); }
    int pumpSpeed() const { return m_pumpSpeed; }
    int pumpChannel() const { return m_pumpChannel; }
    QDateTime clock() const;
    int firmwareVersion() const { return m_firmware; }
    QString flashDateText() const { return m_flashText; }
    QByteArray receivedKernel() const { return m_kernel; }
    QByteArray receivedFlash() const { return m_flash; }
    int restarts() const { return m_restartCount; }
    bool isVanished() const { return m_vanished; }
    QList<int> testSteps() const { return m_stepsSent; }
    // Timers of the dock that are running; 0 for an idle dock (nothing polls).
    int activeTimers() const;

    // What a test (or the scenario's timeline) does to the dock.
    void dockInstrument(const QJsonObject& instrumentSpec);
    void removeInstrument();
    // False (and the fault ignored) when SimFault::check finds it wrong.
    bool addFault(const QJsonObject& fault, QString* error = nullptr);
    // Empty when the dock's setup (faults, timeline) can be used; otherwise what is wrong.
    static QString checkSetup(const QJsonObject& setup);
    void clearFaults() { m_faults.clear(); }
    void vanish();
    void reappear();
    void closeChannel(SimChannel channel);
    void sendEvent(char code, const QByteArray& payload = {});

    // Entry points of the transports (TCP sockets, USB pipes).
    void receive(SimChannel channel, const QByteArray& bytes);
    void answerDiscovery(const QHostAddress& to, quint16 port);

signals:
    void commandReceived(const QString& mnemonic);
    void instrumentCommandReceived(const QString& mnemonic);
    void testCompleted(int result);
    void vanished();
    void restarted();

private:
    enum class Kernel
    {
        None,
        FirstBlock,
        WaitLkr,
        SecondBlock,
        Running,
        Flashing
    };

    void write(SimChannel ch, const QByteArray& bytes);
    void writeNow(SimChannel ch, const QByteArray& bytes);
    void deliver(SimChannel ch, const QByteArray& reply, SimFault* fault);
    SimFault* matchFault(SimChannel ch, const QByteArray& mnemonic);
    SimFault* matchStepFault(int state);
    void note(const QString& text, SimChannel ch = SimChannel::Control);
    QString channelName(SimChannel ch) const;

    void processControl();
    static int controlLength(const QByteArray& buf);
    void handleCommand(const QByteArray& cmd);
    QByteArray commandReply(const QByteArray& cmd, const QByteArray& m);
    void dumpRecords(SimFault* fault);
    void processData();
    void handleKernelData(const QByteArray& bytes);

    void acceptConnection(SimChannel ch);
    QTcpSocket*& socketFor(SimChannel ch);
    void startServers(QString* error, bool* ok);
    void dropTransport();

    void announce();
    void endSession(bool disc);
    void startTest();
    void abortTest(int result);
    void nextStep();
    void finishTest(int result);
    QByteArray buildLiveRecord(int result, bool calibration);
    QByteArray gasEvent(bool withGas) const;
    void scheduleTimeline();
    void runTimelineEntry(const QJsonObject& e);
    void restartDock(bool newFirmware);
    int scaled(int ms) const;
    void later(int ms, std::function<void()> fn);

    SimServer* m_server;
    QJsonObject m_setup;
    quint32 m_serial = 0;
    QHostAddress m_address;
    quint16 m_ctlPortWanted = 5004, m_dataPortWanted = 5005;
    QTcpServer* m_ctlServer = nullptr;
    QTcpServer* m_dataServer = nullptr;
    QTcpSocket* m_ctl = nullptr;
    QTcpSocket* m_data = nullptr;
    QUdpSocket* m_udp = nullptr;
    std::unique_ptr<SimUsbDevice> m_usb;
    bool m_vanished = false;
    bool m_started = false;

    QByteArray m_ctlBuf, m_dataBuf;
    QTimer m_ctlGap, m_dataGap;
    QByteArray m_held[2];
    QTimer m_heldTimer[2];

    QByteArray m_config;
    QList<QByteArray> m_records;
    quint32 m_firstRecord = 0;
    int m_recordCountOverride = -1;
    QByteArray m_lastTest;
    int m_firmware = 756;
    int m_protocol = 1;
    QString m_flashText;
    QList<int> m_adc, m_peaks;
    QStringList m_lcd;
    int m_pumpSpeed = 0, m_pumpChannel = 0;
    qint64 m_clockBase = 0;
    QElapsedTimer m_clockRun;
    bool m_slave = false;

    std::shared_ptr<SimInstrument> m_instrument, m_lastInstrument;
    bool m_announced = false;
    bool m_connected = false;
    int m_generation = 0;

    bool m_testRunning = false;
    bool m_standalone = false;
    bool m_calibration = false;
    quint8 m_failedBumpMask = 0;
    int m_plannedResult = 0;
    struct Step
    {
        int state;
        QList<QByteArray> events;
        int endResult = -1; // the test ends with this result after the step
    };
    QList<Step> m_steps;
    int m_stepIndex = 0;
    QList<int> m_stepsSent;
    QTimer m_stepTimer;

    Kernel m_kernelState = Kernel::None;
    QByteArray m_kernel, m_flash;
    int m_flashAcks = 0;
    bool m_restarting = false;
    int m_restartCount = 0;

    QList<SimFault> m_faults;
    QJsonArray m_timeline;
    int m_timelineIndex = 0;
    QTimer m_timelineTimer;
    QElapsedTimer m_sinceStart;
};

} // namespace vx8::sim
