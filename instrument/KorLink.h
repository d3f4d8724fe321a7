#pragma once

// TKorLink carries instrument commands to a portable gas detector and hands each reply back to
// whoever sent the command. The program's carrier is the dock pass-through: commands travel as
// user data through the dock that holds the instrument. A serial port (QSerialPort) serves the
// direct carriers; infrared sockets do not exist on this platform and report themselves
// unavailable.
//
// One command is outstanding at a time, with one reply timer. The timer is armed before the
// command is handed to the carrier, so a reply that comes back at once always finds it running.
// A reply whose message index answers another command (a late reply to a command that timed
// out) is dropped, so it can never be taken for the answer to the current one.

#include "instrument/KorFraming.h"

#include "docklink/CalderwickVX8Dock.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

class QSerialPort;

namespace vx8 {

class Prompter;

using TReceiveMsg = std::function<void(QObject* Sender, const QByteArray& Data)>;
using TLinkStatus = std::function<void(QObject* Sender, bool Status)>;
using TOnTimeOut = std::function<void(QObject* Sender, quint16 Error)>;
using TLinkNotify = std::function<void(QObject* Sender)>;

class TKorLink : public QObject
{
    Q_OBJECT

public:
    // Messages go to `prompter` (the program's prompter when null).
    explicit TKorLink(QObject* parent = nullptr, Prompter* prompter = nullptr);
    ~TKorLink() override;

    // ---- Events (one assignee each; assigning replaces the handler) -------------------------
    TReceiveMsg OnReceiveMsg;   // one reply (re-pointed by the protocol component per command)
    TReceiveMsg OnDebugReceive; // every reply as received, dropped ones included
    TReceiveMsg OnDebugSend;    // every command as sent
    TLinkStatus OnLinkUp;       // instrument connected (true)
    TLinkStatus OnLinkDown;     // instrument disconnected (false)
    TOnTimeOut OnTimeOut;       // the reply timer expired; Error is always 0
    TLinkNotify OnIrError;      // the infrared carrier failed (always, on this platform)
    TLinkNotify OnSendFailed;   // the carrier did not take the command (the timer is stopped)

    // ---- Properties -------------------------------------------------------------------------
    TKorType InstrumentType() const { return m_type; }
    void SetInstrumentType(TKorType type) { m_type = type; }
    int RS232Port() const { return m_rs232Port; }
    void SetRS232Port(int port) { m_rs232Port = port; }
    int RS232BaudRate() const { return m_baudRate; }
    void SetRS232BaudRate(int baud) { m_baudRate = baud; }
    // The serial device of RS232Port ("ttyS0" for port 1) unless set explicitly.
    QString SerialPortName() const;
    void SetSerialPortName(const QString& name) { m_serialPortName = name; }
    // The serial device of the infrared COM port the direct families fall back to (none by default).
    QString IrCommPortName() const { return m_irCommPortName; }
    void SetIrCommPortName(const QString& name) { m_irCommPortName = name; }
    int DefaultTimeOut() const { return m_defaultTimeOut; }
    void SetDefaultTimeOut(int timeOut) { m_defaultTimeOut = timeOut; }
    // Sends the text as a command with DefaultTimeOut.
    void SetText(const QByteArray& text) { SendMsg(text, m_defaultTimeOut); }

    TCalderwickVX8Dock* CalderwickVX8Dock() const { return m_dock; }
    void SetCalderwickVX8Dock(TCalderwickVX8Dock* dock);

    bool Connected() const { return m_connected && !m_closing; }
    // true: Connect(0); false: Disconnect(). Yields the link state after the request.
    QCoro::Task<bool> SetConnected(bool value);
    // Through a dock: enables it, puts it in slave mode and binds its instrument and user-data
    // events; Connected then follows the dock's instrument events. False when the dock could not
    // be enabled or did not accept slave mode within SlaveModeTimeOutMs.
    QCoro::Task<bool> Connect(int TimeOut = 0);
    // Through a dock the instrument is released by a queued "DSC"; Connected goes false when the
    // dock reports the instrument gone. Direct carriers close their port.
    void Disconnect();

    // Sends one command. For the indexed families the next message index is written over the
    // 4th byte first. False (with "SendMsg Error - Not Connected!") when not connected.
    // TimeOut > 0 is seconds, < 0 milliseconds (absolute value), 0 no time-out.
    bool SendMsg(QByteArray Msg, int TimeOut);
    static int timeOutMs(int TimeOut);

    // The index of the last indexed command ('9' before the first).
    char MessageIndex() const { return m_messageIndex; }
    // On (the default) a reply carrying another command's index is dropped. Off, every reply is
    // delivered as it arrives, whatever its index.
    bool CheckReplyIndex() const { return m_checkIndex; }
    void SetCheckReplyIndex(bool on) { m_checkIndex = on; }

    bool ReplyTimerActive() const { return m_replyTimer.isActive(); }
    int ReplyTimerInterval() const { return m_replyTimer.interval(); }
    void StopReplyTimer() { m_replyTimer.stop(); }

    int SlaveModeTimeOutMs() const { return m_slaveModeTimeOutMs; }
    void SetSlaveModeTimeOutMs(int ms) { m_slaveModeTimeOutMs = ms; }

    // Infrared sockets: none on this platform.
    static bool IrDAAvailable() { return false; }

private:
    Prompter& prompter() const;
    void bindDock();
    void unbindDock();
    void onInstrumentConnected();
    void onInstrumentDisconnected();
    void onUserData(const QByteArray& data);
    void onReplyTimer();
    void deliver(const QByteArray& data);
    bool isStaleReply(const QByteArray& data) const;

    QCoro::Task<bool> connectDock();
    bool connectSerial(const QString& portName, int baud);
    void onSerialData();
    void closeSerial();
    void setDirectState(bool connected);

    Prompter* m_prompter;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    TKorType m_type = TKorType::tpKor7;
    int m_rs232Port = 1;
    int m_baudRate = 9600;
    QString m_serialPortName;
    QString m_irCommPortName;
    int m_defaultTimeOut = 0;
    QPointer<TCalderwickVX8Dock> m_dock;
    bool m_dockBound = false;
    bool m_connected = false;
    bool m_closing = false;
    char m_messageIndex = '9';
    bool m_checkIndex = true;
    bool m_replyStarted = false; // a chunk of the current command's reply has been delivered
    quint64 m_sendGeneration = 0;
    int m_slaveModeTimeOutMs = 30000;
    QTimer m_replyTimer;

    std::unique_ptr<QSerialPort> m_serial;
    korframe::ReceiveBuffer m_receiveBuffer;
};

} // namespace vx8
