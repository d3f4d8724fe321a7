#include "instrument/KorLink.h"

#include "instrument/Kor7Codec.h"

#include "common/Prompter.h"
#include "common/Trace.h"
#include "docklink/CalderwickVX8Dock.h"
#if __has_include("transport/USBDevice.h")
#include "transport/USBDevice.h"
#define VX8_HAVE_USB_DEVICE 1
#endif

#include <QElapsedTimer>
#include <QSerialPort>

#include <qcoro/qcorotimer.h>

#include <chrono>

namespace vx8 {

using namespace std::chrono_literals;

namespace {
void trace(const QString& text)
{
    LocalDebugString(text, lcInstr());
}

// The position of the first reply marker in `data`, or -1.
int firstMarker(const QByteArray& data, int from = 0)
{
    int best = -1;
    for (const char* m : {"ACK", "NAK", "ECK"}) {
        const int p = data.indexOf(m, from);
        if (p >= 0 && (best < 0 || p < best))
            best = p;
    }
    return best;
}
} // namespace

TKorLink::TKorLink(QObject* parent, Prompter* prompter) : QObject(parent), m_prompter(prompter)
{
    m_replyTimer.setSingleShot(true);
    m_replyTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_replyTimer, &QTimer::timeout, this, &TKorLink::onReplyTimer);
}

TKorLink::~TKorLink()
{
    *m_alive = false;
    m_replyTimer.stop();
    unbindDock();
    closeSerial();
}

Prompter& TKorLink::prompter() const
{
    return m_prompter ? *m_prompter : Prompter::instance();
}

QString TKorLink::SerialPortName() const
{
    if (!m_serialPortName.isEmpty())
        return m_serialPortName;
    return QStringLiteral("ttyS%1").arg(qMax(0, m_rs232Port - 1));
}

void TKorLink::SetCalderwickVX8Dock(TCalderwickVX8Dock* dock)
{
    if (dock == m_dock)
        return;
    unbindDock();
    m_dock = dock;
}

int TKorLink::timeOutMs(int TimeOut)
{
    return TimeOut > 0 ? TimeOut * 1000 : -TimeOut;
}

// ---- Sending ---------------------------------------------------------------------------------

bool TKorLink::SendMsg(QByteArray Msg, int TimeOut)
{
    trace(QStringLiteral("SendMsg"));
    if (korframe::usesMessageIndex(m_type)) {
        m_messageIndex = kor7::nextIndex(m_messageIndex);
        Msg = kor7::withIndex(Msg, m_messageIndex);
    }
    if (!Connected()) {
        prompter().warn(QStringLiteral("SendMsg Error - Not Connected!"));
        return false;
    }
    ++m_sendGeneration;
    m_replyStarted = false;
    // The timer runs before the command leaves, so even an immediate reply finds it armed.
    const int ms = timeOutMs(TimeOut);
    if (ms > 0)
        m_replyTimer.start(ms);
    else
        m_replyTimer.stop();

    if (m_dock) {
        if (OnDebugSend)
            OnDebugSend(this, Msg);
        const quint64 generation = m_sendGeneration;
        auto alive = m_alive;
        QCoro::connect(m_dock->SendUserData(Msg), this, [this, alive, generation](bool sent) {
            if (!*alive || sent || generation != m_sendGeneration)
                return;
            trace(QStringLiteral("SendMsg: the dock did not take the command"));
            m_replyTimer.stop();
            if (OnSendFailed)
                OnSendFailed(this);
        });
        return true;
    }

    const auto frame = korframe::buildFrame(m_type, Msg);
    if (!frame) {
        m_replyTimer.stop();
        prompter().warn(QStringLiteral("Checksum overflow, the command was not sent."));
        return false;
    }
    if (OnDebugSend)
        OnDebugSend(this, *frame);
    if (!m_serial || !m_serial->isOpen() || m_serial->write(*frame) != frame->size()) {
        m_replyTimer.stop();
        if (OnSendFailed)
            OnSendFailed(this);
        return false;
    }
    return true;
}

void TKorLink::onReplyTimer()
{
    m_replyTimer.stop();
    trace(QStringLiteral("OnTimeOut"));
    if (OnTimeOut)
        OnTimeOut(this, 0);
}

// ---- Reception -------------------------------------------------------------------------------

bool TKorLink::isStaleReply(const QByteArray& data) const
{
    if (!m_checkIndex || !korframe::usesMessageIndex(m_type) || m_replyStarted)
        return false;
    const int p = firstMarker(data);
    return p >= 0 && p + 3 < data.size() && data[p + 3] != m_messageIndex;
}

void TKorLink::onUserData(const QByteArray& data)
{
    trace(QStringLiteral("OnRcvUserData"));
    QByteArray reply = data;
    if (isStaleReply(reply)) {
        if (OnDebugReceive)
            OnDebugReceive(this, reply);
        // Two replies may share a chunk: keep the one that answers the current command.
        int p = firstMarker(reply);
        int next = -1;
        while ((p = firstMarker(reply, p + 3)) >= 0) {
            if (p + 3 < reply.size() && reply[p + 3] == m_messageIndex) {
                next = p;
                break;
            }
        }
        if (next < 0) {
            LocalDebugString(QStringLiteral("Reply to another command dropped (index %1 expected): %2")
                                 .arg(QChar(m_messageIndex))
                                 .arg(QString::fromLatin1(reply.toHex(' '))),
                             lcInstr());
            return;
        }
        reply = reply.mid(next);
        m_replyTimer.stop();
        m_replyStarted = true;
        if (Connected() && OnReceiveMsg)
            OnReceiveMsg(this, reply);
        return;
    }
    m_replyTimer.stop();
    m_replyStarted = true;
    deliver(reply);
}

void TKorLink::deliver(const QByteArray& data)
{
    if (!Connected())
        return;
    if (OnDebugReceive)
        OnDebugReceive(this, data);
    if (OnReceiveMsg) {
        TReceiveMsg handler = OnReceiveMsg; // the handler may re-point the event
        handler(this, data);
    }
}

// ---- Dock pass-through -----------------------------------------------------------------------

void TKorLink::bindDock()
{
    if (!m_dock)
        return;
    auto alive = m_alive;
    m_dock->OnInstrumentConnected = [this, alive](QObject*) {
        if (*alive)
            onInstrumentConnected();
    };
    m_dock->OnInstrumentDisconnected = [this, alive](QObject*) {
        if (*alive)
            onInstrumentDisconnected();
    };
    m_dock->OnRcvUserData = [this, alive](QObject*, const QByteArray& data) {
        if (*alive)
            onUserData(data);
    };
    m_dockBound = true;
}

void TKorLink::unbindDock()
{
    if (m_dock && m_dockBound) {
        m_dock->OnInstrumentConnected = nullptr;
        m_dock->OnInstrumentDisconnected = nullptr;
        m_dock->OnRcvUserData = nullptr;
    }
    m_dockBound = false;
}

void TKorLink::onInstrumentConnected()
{
    trace(QStringLiteral("OnInstrumentConnected"));
    m_connected = true;
    m_closing = false;
    m_replyStarted = false;
    if (OnLinkUp)
        OnLinkUp(this, true);
}

void TKorLink::onInstrumentDisconnected()
{
    trace(QStringLiteral("OnInstrumentDisconnected"));
    m_connected = false;
    m_closing = false;
    m_replyTimer.stop();
    if (OnLinkDown)
        OnLinkDown(this, false);
}

QCoro::Task<bool> TKorLink::SetConnected(bool value)
{
    if (value)
        co_return co_await Connect(0);
    Disconnect();
    co_return Connected();
}

QCoro::Task<bool> TKorLink::Connect(int TimeOut)
{
    trace(QStringLiteral("Connect"));
    if (m_dock)
        co_return co_await connectDock();
    if (m_type == TKorType::tpKor6)
        co_return connectSerial(SerialPortName(), m_baudRate);
    // The other families look for an infrared socket first; there is none here.
    trace(QStringLiteral("Connect: infrared sockets are not available on this platform"));
    if (OnIrError)
        OnIrError(this);
    if (m_irCommPortName.isEmpty()) {
        if (TimeOut > 0)
            m_replyTimer.start(timeOutMs(TimeOut)); // reports the failed connect as a time-out
        co_return false;
    }
    co_return connectSerial(m_irCommPortName, 115200);
}

QCoro::Task<bool> TKorLink::connectDock()
{
    auto alive = m_alive;
    QPointer<TCalderwickVX8Dock> dock = m_dock;
    // Bound first, so an instrument reported while the dock is being set up is not missed.
    bindDock();
    if (!dock->IsEnabled()) {
        const bool enabled = co_await dock->EnableDock(true);
        if (!*alive || !dock)
            co_return false;
        if (!enabled) {
            trace(QStringLiteral("Connect: the dock could not be enabled"));
            co_return false;
        }
    }
#ifdef VX8_HAVE_USB_DEVICE
    // The owner of the dock's USB device lets its transfers run.
    if (TUSBDevice* usb = dock->USBDevice())
        usb->SetHalted(false);
#endif
    // Let the dock settle before asking for slave mode.
    co_await QCoro::sleepFor(50ms);
    if (!*alive || !dock)
        co_return false;

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        bool busy = true;
        const bool answered = co_await dock->SetDockMode(true, busy);
        if (!*alive || !dock)
            co_return false;
        if (answered && !busy)
            break;
        if (waited.elapsed() >= m_slaveModeTimeOutMs) {
            LocalDebugString(QStringLiteral("Connect: the dock did not accept slave mode within %1 s")
                                 .arg(m_slaveModeTimeOutMs / 1000.0),
                             lcInstr());
            co_return false;
        }
        co_await QCoro::sleepFor(answered ? 200ms : 500ms);
        if (!*alive || !dock)
            co_return false;
    }
    co_return true;
}

void TKorLink::Disconnect()
{
    trace(QStringLiteral("Disconnect"));
    if (m_dock) {
        // Queued: the instrument is released after the current event has finished.
        QPointer<TCalderwickVX8Dock> dock = m_dock;
        QTimer::singleShot(0, this, [dock] {
            if (dock)
                QCoro::connect(dock->DisconnectInstrument(), dock.data(), [](bool) {});
        });
        return;
    }
    closeSerial();
}

// ---- Direct serial carrier -------------------------------------------------------------------

bool TKorLink::connectSerial(const QString& portName, int baud)
{
    closeSerial();
    m_serial = std::make_unique<QSerialPort>();
    m_serial->setPortName(portName);
    m_serial->setBaudRate(baud);
    m_serial->setDataBits(QSerialPort::Data8);
    m_serial->setParity(QSerialPort::NoParity);
    m_serial->setStopBits(QSerialPort::OneStop);
    m_serial->setFlowControl(QSerialPort::NoFlowControl);
    connect(m_serial.get(), &QSerialPort::readyRead, this, [this] {
        // Parsed from the event loop, never inside the notification.
        QMetaObject::invokeMethod(this, &TKorLink::onSerialData, Qt::QueuedConnection);
    });
    connect(m_serial.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::ResourceError) {
            trace(QStringLiteral("Serial port lost"));
            QMetaObject::invokeMethod(this, &TKorLink::closeSerial, Qt::QueuedConnection);
        }
    });
    if (!m_serial->open(QIODevice::ReadWrite)) {
        LocalDebugString(
            QStringLiteral("Cannot open serial port %1: %2").arg(portName, m_serial->errorString()),
            lcInstr());
        m_serial.reset();
        setDirectState(false);
        return false;
    }
    m_receiveBuffer = {};
    setDirectState(true);
    return true;
}

void TKorLink::closeSerial()
{
    if (!m_serial)
        return;
    m_serial->disconnect(this);
    m_serial->close();
    m_serial.reset();
    setDirectState(false);
}

void TKorLink::setDirectState(bool connected)
{
    const bool was = m_connected;
    m_connected = connected;
    m_closing = false;
    if (was == connected)
        return;
    if (connected && OnLinkUp)
        OnLinkUp(this, true);
    if (!connected) {
        m_replyTimer.stop();
        if (OnLinkDown)
            OnLinkDown(this, false);
    }
}

void TKorLink::onSerialData()
{
    if (!m_serial)
        return;
    const QByteArray data = m_serial->readAll();
    if (data.isEmpty())
        return;
    if (!korframe::isFramed(m_type)) {
        onUserData(data);
        return;
    }
    m_receiveBuffer.add(data);
    if (m_receiveBuffer.bytes.size() > korframe::MaxReceiveBuffer) {
        m_receiveBuffer = {};
        m_replyTimer.stop();
        return;
    }
    while (auto message = korframe::GetTessaryMsg(m_receiveBuffer, m_type)) {
        m_replyTimer.stop();
        deliver(*message);
        if (!m_receiveBuffer.bytes.contains(korframe::EndChar))
            break;
        m_receiveBuffer.frameComplete = true;
    }
}

} // namespace vx8
