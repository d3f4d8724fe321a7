#include "CalderwickVX8Dock.h"

#include "common/Prompter.h"
#include "common/Trace.h"

#include <QDeadlineTimer>

#include <qcoro/qcorotimer.h>

#include <algorithm>
#include <chrono>

namespace vx8 {

using namespace std::chrono_literals;

namespace dock {

int winsockErrorCode(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061; // WSAECONNREFUSED
    case QAbstractSocket::RemoteHostClosedError:
        return 10054; // WSAECONNRESET
    case QAbstractSocket::HostNotFoundError:
        return 11001; // WSAHOST_NOT_FOUND
    case QAbstractSocket::SocketAccessError:
        return 10013; // WSAEACCES
    case QAbstractSocket::SocketResourceError:
        return 10055; // WSAENOBUFS
    case QAbstractSocket::SocketTimeoutError:
        return 10060; // WSAETIMEDOUT
    case QAbstractSocket::DatagramTooLargeError:
        return 10040; // WSAEMSGSIZE
    case QAbstractSocket::NetworkError:
        return 10065; // WSAEHOSTUNREACH
    case QAbstractSocket::AddressInUseError:
        return 10048; // WSAEADDRINUSE
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049; // WSAEADDRNOTAVAIL
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045; // WSAEOPNOTSUPP
    case QAbstractSocket::UnfinishedSocketOperationError:
        return 10036; // WSAEINPROGRESS
    case QAbstractSocket::OperationError:
        return WSAENOTCONN;
    default:
        return 10022; // WSAEINVAL
    }
}

} // namespace dock

TCalderwickVX8Dock::TCalderwickVX8Dock(QObject* parent, Prompter* prompter)
    : QObject(parent), m_prompter(prompter)
{
    m_commandTimer.setSingleShot(true);
    m_commandTimer.setInterval(10000);
    connect(&m_commandTimer, &QTimer::timeout, this, &TCalderwickVX8Dock::onCommandTimeout);
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, &TCalderwickVX8Dock::flushHeldControl);
    setupSocket(m_controlSocket, 0);
    setupSocket(m_dataSocket, 1);
    connect(&m_dataSocket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_dataSocket.bytesToWrite() == 0) {
            m_dataSent = true;
            notifyState();
        }
    });
}

TCalderwickVX8Dock::~TCalderwickVX8Dock()
{
    m_controlSocket.disconnect(this);
    m_dataSocket.disconnect(this);
    if (IsEnabled()) {
        if (m_usb)
            disableUsb();
        else
            disableTcp();
    }
    *m_alive = false;
    linkLost();
    for (const auto& w : std::as_const(m_stateWaiters))
        dock::wake(w, false);
    m_stateWaiters.clear();
}

Prompter& TCalderwickVX8Dock::prompter() const
{
    return m_prompter ? *m_prompter : Prompter::instance();
}

// Messages are shown from the event loop, never from inside the link's own processing, so that
// a modal box cannot nest the dispatcher in itself.
void TCalderwickVX8Dock::showMessage(const QString& text, bool warning)
{
    LocalDebugString(QStringLiteral("TCalderwickVX8Dock message: ") + text, lcDock());
    QPointer<TCalderwickVX8Dock> self(this);
    Prompter* p = &prompter();
    QMetaObject::invokeMethod(
        this,
        [p, text, warning] {
            if (warning)
                p->warn(text);
            else
                p->error(text);
        },
        Qt::QueuedConnection);
}

void TCalderwickVX8Dock::SetTimerInterval(int ms)
{
    m_commandTimer.setInterval(qMax(1, ms));
}

void TCalderwickVX8Dock::SetPorts(quint16 controlPort, quint16 dataPort)
{
    m_controlPort = controlPort;
    m_dataPort = dataPort;
}

bool TCalderwickVX8Dock::IsEnabled() const
{
    if (m_usb)
        return m_usbLinkUp && usbConnected();
    return m_controlSocket.state() == QAbstractSocket::ConnectedState &&
           m_dataSocket.state() == QAbstractSocket::ConnectedState;
}

void TCalderwickVX8Dock::SetCaptureUserData(bool on)
{
    if (on && !m_capture) {
        m_userDataBuffer.clear();
        m_captureOverflow = false;
    }
    m_capture = on;
}

void TCalderwickVX8Dock::SetFlashMode(bool on)
{
    if (on && !m_flashMode)
        m_flashError = false;
    m_flashMode = on;
}

void TCalderwickVX8Dock::ReverseData(char* buffer, int count)
{
    if (buffer && count > 1)
        std::reverse(buffer, buffer + count);
}

// ---- Waiting --------------------------------------------------------------------------------

void TCalderwickVX8Dock::notifyState()
{
    const auto waiters = std::exchange(m_stateWaiters, {});
    for (const auto& w : waiters)
        dock::wake(w, true);
}

QCoro::Task<bool> TCalderwickVX8Dock::waitUntil(std::function<bool()> cond, int timeoutMs)
{
    const auto alive = m_alive;
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    for (;;) {
        if (!*alive)
            co_return false;
        if (cond())
            co_return true;
        if (deadline.hasExpired())
            co_return false;
        const dock::WakePtr w = dock::makeWake();
        m_stateWaiters.append(w);
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [w] { dock::wake(w, false); });
        timer.start(int(qMax<qint64>(1, deadline.remainingTime())));
        co_await dock::awaitWake(w);
    }
}

// ---- Commands -------------------------------------------------------------------------------

QCoro::Task<bool> TCalderwickVX8Dock::ExecuteCommand(QByteArray Command, dock::ReplyKind kind)
{
    if (m_cmdState == TCmdState::Pending) {
        // "Can't Send, Pending Command": nothing is sent and nothing is shown.
        LocalDebugString(QStringLiteral("TCalderwickVX8Dock.ExecuteCommand - Can't Send, Pending Command ") +
                             QString::fromLatin1(Command.left(3)),
                         lcDock());
        co_return false;
    }
    const auto alive = m_alive;
    if (!m_commandTimer.isActive())
        m_commandTimer.start(); // a running timer is not restarted
    m_replyKind = kind;         // bound only now that the command is really sent
    const dock::WakePtr wait = dock::makeWake();
    m_commandWait = wait;
    SendControlData(Command);
    if (Command.size() > 2)
        m_lastCommand = QString::fromLatin1(Command.left(3)).toUpper();
    if (m_cmdState == TCmdState::Pending && !IsEnabled())
        linkLost();
    finishCommandWait();
    const bool result = co_await dock::awaitWake(wait);
    if (!*alive)
        co_return false;
    co_return result;
}

// Ends the wait of the command in flight once it is no longer pending: true exactly when it was
// acknowledged. The outcome is fixed here, so a link lost after the ACK cannot undo it.
void TCalderwickVX8Dock::finishCommandWait()
{
    if (!m_commandWait || m_cmdState == TCmdState::Pending)
        return;
    dock::wake(std::exchange(m_commandWait, {}), m_cmdState == TCmdState::Acknowledged);
}

// The link went down: a command still pending fails.
void TCalderwickVX8Dock::linkLost()
{
    if (m_cmdState == TCmdState::Pending) {
        m_commandTimer.stop();
        m_cmdState = TCmdState::Failed;
    }
    finishCommandWait();
    notifyState();
}

void TCalderwickVX8Dock::SendControlData(const QByteArray& Data)
{
    raise(OnDebugSndControlData, Data);
    if (!m_usb) {
        m_cmdState = TCmdState::Pending;
        tcpWrite(m_controlSocket, 0, Data);
        return;
    }
    if (IsEnabled()) {
        if (usbHalted())
            showMessage(QStringLiteral("Cant Send, Usb Device is Halted!"), true);
        m_cmdState = TCmdState::Pending;
        usbSend(3, Data);
        return;
    }
    m_cmdState = TCmdState::Failed;
    showMessage(QStringLiteral("Send Error, Dock not Enabled!"));
}

void TCalderwickVX8Dock::onCommandTimeout()
{
    m_cmdState = TCmdState::Idle;
    m_commandTimer.stop();
    if (m_commandWait)
        dock::wake(std::exchange(m_commandWait, {}), false);
    LocalDebugString(QStringLiteral("TCalderwickVX8Dock.CommandTimerTimer - time-out of ") + m_lastCommand,
                     lcDock());
    raise(OnCmdTimeOut);
}

// ---- Reception ------------------------------------------------------------------------------

void TCalderwickVX8Dock::queueChunk(Channel channel, QByteArray bytes, bool tcp)
{
    if (bytes.isEmpty())
        return;
    m_inbox.append(Chunk{channel, std::move(bytes), tcp});
    scheduleProcessing();
}

void TCalderwickVX8Dock::scheduleProcessing()
{
    if (m_processScheduled)
        return;
    m_processScheduled = true;
    QMetaObject::invokeMethod(this, &TCalderwickVX8Dock::processInbox, Qt::QueuedConnection);
}

void TCalderwickVX8Dock::processInbox()
{
    m_processScheduled = false;
    const auto alive = m_alive;
    // Chunks are taken one at a time, so a handler that waits (or shows a modal box) and lets
    // this run again nested continues with the later chunks in order.
    while (*alive && !m_inbox.isEmpty()) {
        const Chunk c = m_inbox.takeFirst();
        if (c.channel == Channel::Control)
            handleControlChunk(c.bytes);
        else
            handleUserChunk(c.bytes, c.tcp);
    }
}

void TCalderwickVX8Dock::handleControlChunk(const QByteArray& chunk)
{
    raise(OnDebugRcvControlData, chunk);
    QByteArray data = std::exchange(m_heldControl, {}) + chunk;
    m_holdTimer.stop();
    const dock::ParsedChunk parsed = dock::parseControlChunk(data, m_replyKind, false);
    if (parsed.consumed < data.size()) {
        m_heldControl = data.mid(parsed.consumed);
        m_holdTimer.start(qMax(1, m_timing.holdSplitMs));
    }
    applyParsed(parsed);
}

// The rest of a token cut short did not come: decode what there is.
void TCalderwickVX8Dock::flushHeldControl()
{
    if (m_heldControl.isEmpty())
        return;
    const QByteArray data = std::exchange(m_heldControl, {});
    LocalDebugString(QStringLiteral("TCalderwickVX8Dock.OnControlData - incomplete reply or event: ") +
                         QString::fromLatin1(data.left(40).toHex()),
                     lcDock());
    applyParsed(dock::parseControlChunk(data, m_replyKind, true));
}

void TCalderwickVX8Dock::applyParsed(const dock::ParsedChunk& parsed)
{
    if (parsed.droppedEvents > 0)
        LocalDebugString(QStringLiteral("TCalderwickVX8Dock.OnControlData - %1 event(s) ignored")
                             .arg(parsed.droppedEvents),
                         lcDock());
    if (parsed.strayReplies > 0)
        LocalDebugString(
            QStringLiteral("TCalderwickVX8Dock.OnControlData - %1 further reply token(s) ignored")
                .arg(parsed.strayReplies),
            lcDock());
    const auto alive = m_alive;
    for (const dock::DockEvent& ev : parsed.events) {
        handleEvent(ev);
        if (!*alive)
            return;
    }
    if (parsed.reply)
        handleReply(*parsed.reply);
}

void TCalderwickVX8Dock::handleEvent(const dock::DockEvent& ev)
{
    switch (ev.code) {
    case '0':
        raise(OnPumpLowFlow);
        break;
    case '1':
        raise(OnInstrumentConnected);
        break;
    case '2':
        raise(OnInstrumentDisconnected);
        break;
    case '3':
        m_testResult = TTestResult(ev.value);
        raise(OnTestCompleted, m_testResult);
        break;
    case '4':
        raise(OnDeviceInRange);
        break;
    case '5':
        raise(OnDeviceRemoved);
        break;
    case '6':
        raise(OnFailedToConnect);
        break;
    case '7':
        m_dockState = TDockState(ev.value);
        raise(OnStateChange, m_dockState);
        break;
    case '8':
        raise(OnDebugMessage, QString::fromLatin1(ev.text));
        break;
    case '9': {
        TGasReading reading = ev.reading;
        raise(OnGotGasReading, reading);
        break;
    }
    case 'A':
        raise(OnDeviceInserted, TInstState(ev.value));
        break;
    case 'B':
        m_spanCause = TSpanCalDueTo(ev.value);
        m_spanSensors = TSensorFlags{ev.sensors};
        raise(OnSpanCalibration, m_spanCause, m_spanSensors);
        break;
    case 'C':
        raise(OnMultipleTCPConnections);
        break;
    case 'D':
        raise(OnEmailDelivered, ev.flag);
        break;
    case 'E':
        raise(OnBatteryStatus, ev.flag, !ev.flag, ev.voltage);
        break;
    default:
        break;
    }
}

void TCalderwickVX8Dock::handleReply(const dock::DockReply& reply)
{
    if (m_cmdState != TCmdState::Pending)
        LocalDebugString(
            QStringLiteral("TCalderwickVX8Dock.OnControlData - reply with no command pending (last ") +
                m_lastCommand + QLatin1Char(')'),
            lcDock());
    m_commandTimer.stop();
    if (!reply.ack) {
        m_cmdState = TCmdState::Failed;
        finishCommandWait();
        return;
    }
    m_cmdState = TCmdState::Acknowledged;
    const QByteArray& p = reply.payload;
    bool ok = true;
    switch (m_replyKind) {
    case dock::ReplyKind::None:
        break;
    case dock::ReplyKind::AdcCounts:
        if (auto v = dock::decodeAdc(p)) {
            m_adcCounts = *v;
            m_adcFresh = true;
        } else
            ok = false;
        break;
    case dock::ReplyKind::AdcPeaks:
        if (auto v = dock::decodeAdc(p))
            m_adcPeaks = *v;
        else
            ok = false;
        break;
    case dock::ReplyKind::Clock: {
        const dock::ClockReply c = dock::decodeClock(p);
        if (!c.complete)
            ok = false;
        else if (c.value)
            m_dateTime = *c.value;
        else
            showMessage(QStringLiteral("Error encoding date time!"));
        break;
    }
    case dock::ReplyKind::Configuration:
        if (auto r = dock::decodeConfiguration(p))
            m_config = *r;
        else
            ok = false;
        break;
    case dock::ReplyKind::Test:
        if (auto r = dock::decodeTestRecord(p))
            m_testRecord = *r;
        else
            ok = false;
        break;
    case dock::ReplyKind::Busy:
        if (auto b = dock::decodeBusy(p))
            m_dockBusy = *b;
        else
            ok = false;
        break;
    case dock::ReplyKind::FlashDateText:
        m_flashDateTimeText = dock::decodeFlashDateText(p);
        break;
    case dock::ReplyKind::LcdText:
        if (auto t = dock::decodeLcdText(p))
            m_lcdText = *t;
        else
            ok = false;
        break;
    }
    if (!ok) {
        LocalDebugString(
            QStringLiteral("TCalderwickVX8Dock.OnControlData - reply to %1 too short or malformed (%2 bytes)")
                .arg(m_lastCommand)
                .arg(p.size()),
            lcDock());
        m_cmdState = TCmdState::Failed;
    }
    finishCommandWait();
}

void TCalderwickVX8Dock::handleUserChunk(const QByteArray& chunk, bool tcp)
{
    m_lastUserData.start();
    if (tcp) {
        raise(OnDebugRcvUserData, chunk);
        if (chunk.size() <= 2) {
            // Short chunks are dropped; in flash mode they are still looked at for error marks.
            if (m_flashMode)
                handleFlashAck(chunk, false);
            return;
        }
    }
    if (m_flashMode)
        handleFlashAck(chunk, true);
    else
        onUserData(chunk);
}

void TCalderwickVX8Dock::handleFlashAck(const QByteArray& chunk, bool count)
{
    if (chunk.size() >= 100)
        return;
    if (chunk.contains('B')) {
        m_flashError = true;
        showMessage(QStringLiteral("Error erasing Flash!"));
    }
    if (chunk.contains('F')) {
        m_flashError = true;
        showMessage(QStringLiteral("Error writing Flash!"));
    }
    if (count)
        m_flashAckCount += qint32(chunk.size());
}

void TCalderwickVX8Dock::onUserData(const QByteArray& chunk)
{
    if (chunk.isEmpty())
        return;
    if (!m_capture) {
        raise(OnRcvUserData, chunk);
        return;
    }
    if (m_captureOverflow)
        return;
    const qsizetype room = UserDataBufferCap - m_userDataBuffer.size();
    m_userDataBuffer.append(chunk.constData(), qMin(room, chunk.size()));
    if (m_userDataBuffer.size() >= UserDataBufferCap) {
        m_captureOverflow = true;
        showMessage(QStringLiteral("Buffer overflow!"));
    }
}

// ---- User data out --------------------------------------------------------------------------

QCoro::Task<bool> TCalderwickVX8Dock::SendUserData(QByteArray Data)
{
    if (Data.size() > MaxUserDataMessage) {
        showMessage(QStringLiteral("Error, Message too long!"));
        co_return false;
    }
    if (!IsEnabled()) {
        showMessage(QStringLiteral("Send Error, Dock not Enabled!"));
        co_return false;
    }
    if (m_usb) {
        const bool sent = usbSend(0, Data) >= 0;
        co_return sent&& IsEnabled();
    }
    co_return co_await sendUserDataTcp(std::move(Data));
}

QCoro::Task<bool> TCalderwickVX8Dock::sendUserDataTcp(QByteArray data)
{
    const auto alive = m_alive;
    const int total = int(data.size());
    const int drainMs = qMax(m_timing.drainMinMs, CommandTimeOut());
    auto sentOrGone = [this] {
        return m_dataSent || m_dataSocket.state() != QAbstractSocket::ConnectedState;
    };
    int sent = 0;
    int failures = 0;
    if (total <= TcpUserChunk) {
        m_dataSent = false;
        if (!tcpWrite(m_dataSocket, 1, data)) {
            showMessage(QStringLiteral("Error sending data on TCP!"));
            co_return false;
        }
        sent = total;
    } else {
        while (sent < total && IsEnabled()) {
            const QByteArray chunk = data.mid(sent, TcpUserChunk);
            m_dataSent = false;
            if (!tcpWrite(m_dataSocket, 1, chunk)) {
                showMessage(QStringLiteral("Error sending data on TCP!"));
                if (++failures >= qMax(1, m_timing.sendRetries))
                    co_return false;
            } else {
                failures = 0;
                sent += int(chunk.size());
            }
            // (co_await is kept out of conditions: GCC 12 miscompiles it there.)
            const bool drained = co_await waitUntil(sentOrGone, drainMs);
            if (!drained) {
                if (*alive)
                    LocalDebugString(
                        QStringLiteral("TCalderwickVX8Dock.SendUserData - send did not complete"), lcDock());
                co_return false;
            }
            if (!*alive)
                co_return false;
            raise(OnFlashProgress, total, total - sent);
            co_await QCoro::sleepFor(std::chrono::milliseconds(qMax(0, m_timing.tcpChunkPauseMs)));
            if (!*alive)
                co_return false;
        }
    }
    const bool drained = co_await waitUntil(sentOrGone, drainMs);
    if (!drained || !*alive)
        co_return false;
    co_await QCoro::sleepFor(std::chrono::milliseconds(qMax(0, m_timing.tcpAfterSendPauseMs)));
    if (!*alive)
        co_return false;
    co_return sent == total&& m_dataSent&& IsEnabled();
}

int TCalderwickVX8Dock::UserDataBufferCount() const
{
    return m_usb ? usbOutputCount(0) : 0;
}

// ---- Enable / disable -----------------------------------------------------------------------

void TCalderwickVX8Dock::SetUSBDevice(TUSBDevice* device)
{
    if (device == m_usb)
        return;
    if (m_usb && IsEnabled())
        disableUsb();
    m_usb = device;
    m_usbLinkUp = false;
    if (m_usb)
        bindUsbDevice();
}

QCoro::Task<bool> TCalderwickVX8Dock::EnableDock(bool Enable)
{
    if (Enable == IsEnabled())
        co_return IsEnabled();
    if (m_usb) {
        if (Enable)
            co_return co_await enableUsb();
        disableUsb();
    } else {
        if (Enable)
            co_return co_await enableTcp();
        disableTcp();
    }
    m_commandTimer.stop(); // a stale timer would otherwise cut the next command short
    m_cmdState = TCmdState::Idle;
    finishCommandWait();
    co_return IsEnabled();
}

// ---- TCP ------------------------------------------------------------------------------------

void TCalderwickVX8Dock::setupSocket(QTcpSocket& socket, int channel)
{
    QTcpSocket* s = &socket;
    connect(s, &QTcpSocket::readyRead, this, [this, s, channel] {
        queueChunk(channel == 0 ? Channel::Control : Channel::User, s->readAll(), true);
    });
    connect(s, &QTcpSocket::connected, this, [this] {
        // Raised once, by the connection that completes the pair.
        m_tcpClosedOwed = true;
        if (IsEnabled())
            QMetaObject::invokeMethod(this, &TCalderwickVX8Dock::onSessionConnected, Qt::QueuedConnection);
        notifyState();
    });
    connect(s, &QTcpSocket::disconnected, this, [this] {
        QMetaObject::invokeMethod(this, &TCalderwickVX8Dock::onSessionClosed, Qt::QueuedConnection);
        notifyState();
    });
    connect(s, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState) { notifyState(); });
    connect(s, &QTcpSocket::errorOccurred, this, [this, s, channel](QAbstractSocket::SocketError error) {
        // A peer that closes the session is reported as the session closing, not as an error.
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;
        const int code = dock::winsockErrorCode(error);
        const QString text = s->errorString();
        QMetaObject::invokeMethod(
            this, [this, channel, code, text] { raise(OnTCPError, channel, code, text); },
            Qt::QueuedConnection);
        notifyState();
    });
}

bool TCalderwickVX8Dock::tcpWrite(QTcpSocket& socket, int channel, const QByteArray& bytes)
{
    if (socket.state() != QAbstractSocket::ConnectedState) {
        raise(OnTCPError, channel, dock::WSAENOTCONN, QStringLiteral("Socket is not connected"));
        return false;
    }
    return socket.write(bytes) == bytes.size();
}

void TCalderwickVX8Dock::drainSockets()
{
    if (m_controlSocket.bytesAvailable() > 0)
        queueChunk(Channel::Control, m_controlSocket.readAll(), true);
    if (m_dataSocket.bytesAvailable() > 0)
        queueChunk(Channel::User, m_dataSocket.readAll(), true);
}

void TCalderwickVX8Dock::onSessionConnected()
{
    if (!m_usb && IsEnabled())
        raise(OnTCPConnected);
}

void TCalderwickVX8Dock::onSessionClosed()
{
    if (m_usb)
        return;
    // What arrived before the close is handled first: an acknowledgement that came with the
    // close still completes its command.
    drainSockets();
    processInbox();
    const bool controlUp = m_controlSocket.state() != QAbstractSocket::UnconnectedState;
    const bool dataUp = m_dataSocket.state() != QAbstractSocket::UnconnectedState;
    if (!controlUp && !dataUp) {
        linkLost();
        if (std::exchange(m_tcpClosedOwed, false))
            raise(OnTCPClosed);
        return;
    }
    linkLost();
    // Losing one session takes the whole link down; the other's close notification follows.
    if (controlUp)
        m_controlSocket.abort();
    if (dataUp)
        m_dataSocket.abort();
}

QCoro::Task<bool> TCalderwickVX8Dock::enableTcp()
{
    const auto alive = m_alive;
    m_controlSocket.abort();
    m_dataSocket.abort();
    m_heldControl.clear();
    m_controlSocket.connectToHost(m_ethernetAddress, m_controlPort);
    m_dataSocket.connectToHost(m_ethernetAddress, m_dataPort);
    auto settled = [this] {
        if (IsEnabled())
            return true;
        // Both attempts over (each connected or given up): nothing more will change.
        const auto done = [](const QTcpSocket& s) {
            return s.state() == QAbstractSocket::ConnectedState ||
                   s.state() == QAbstractSocket::UnconnectedState;
        };
        return done(m_controlSocket) && done(m_dataSocket);
    };
    co_await waitUntil(settled, m_timing.tcpConnectMs);
    if (!*alive)
        co_return false;
    if (!IsEnabled()) {
        // No half-open link: a session that did connect is flushed and closed.
        for (QTcpSocket* s : {&m_controlSocket, &m_dataSocket}) {
            if (s->state() == QAbstractSocket::ConnectedState) {
                s->flush();
                s->disconnectFromHost();
            } else if (s->state() != QAbstractSocket::UnconnectedState) {
                s->abort();
            }
        }
        LocalDebugString(QStringLiteral("TCalderwickVX8Dock.EnableDock - no link to ") + m_ethernetAddress,
                         lcDock());
    }
    co_return IsEnabled();
}

void TCalderwickVX8Dock::disableTcp()
{
    m_controlSocket.disconnectFromHost();
    m_dataSocket.disconnectFromHost();
    if (m_controlSocket.state() != QAbstractSocket::UnconnectedState)
        m_controlSocket.abort();
    if (m_dataSocket.state() != QAbstractSocket::UnconnectedState)
        m_dataSocket.abort();
    linkLost();
}

// ---- Dock commands --------------------------------------------------------------------------

QCoro::Task<bool> TCalderwickVX8Dock::GetAdcCounts()
{
    const auto alive = m_alive;
    const bool ok = co_await ExecuteCommand(dock::cmdGetAdcCounts(), dock::ReplyKind::AdcCounts);
    if (!*alive)
        co_return false;
    if (!ok)
        m_adcFresh = false;
    co_return ok;
}

QCoro::Task<bool> TCalderwickVX8Dock::GetAdcPeaks()
{
    return ExecuteCommand(dock::cmdGetAdcPeaks(), dock::ReplyKind::AdcPeaks);
}

QCoro::Task<bool> TCalderwickVX8Dock::ResetAdcPeaks()
{
    return ExecuteCommand(dock::cmdResetAdcPeaks(), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::GetDateTime()
{
    return ExecuteCommand(dock::cmdGetDateTime(), dock::ReplyKind::Clock);
}

QCoro::Task<bool> TCalderwickVX8Dock::SetDateTime(QDateTime Value)
{
    const QByteArray command = dock::cmdSetDateTime(Value);
    if (command.isEmpty()) {
        LocalDebugString(QStringLiteral("TCalderwickVX8Dock.SetDateTime - no clock value for ") +
                             Value.toString(Qt::ISODate),
                         lcDock());
        co_return false;
    }
    m_dateTime = Value;
    co_return co_await ExecuteCommand(command, dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::GetConfiguration()
{
    return ExecuteCommand(dock::cmdGetConfiguration(), dock::ReplyKind::Configuration);
}

QCoro::Task<bool> TCalderwickVX8Dock::WriteConfiguration()
{
    // A read leaves filler in the e-mail fields; with e-mailing configured the program's own
    // settings go there, or every write would send the filler back to the dock.
    if (m_email.Enabled)
        dock::applyEmailSettings(m_config, m_email);
    return ExecuteCommand(dock::cmdWriteConfiguration(m_config), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::GetTestRecord()
{
    return ExecuteCommand(dock::cmdGetTestRecord(), dock::ReplyKind::Test);
}

QCoro::Task<bool> TCalderwickVX8Dock::GetTestRecords()
{
    if (m_cmdState == TCmdState::Pending) // refused: capture and time-out stay as they are
        co_return false;
    const auto alive = m_alive;
    m_capture = false;
    SetCaptureUserData(true);
    if (m_config.RecordCount >= 1 && m_config.RecordCount <= 1400)
        m_userDataBuffer.reserve(qsizetype(m_config.RecordCount) * dock::TestRecordSize);
    const int timeout = CommandTimeOut();
    SetTimerInterval(timeout + 35000);
    const bool ok = co_await ExecuteCommand(dock::cmdGetTestRecords(), dock::ReplyKind::None);
    if (!*alive)
        co_return false;
    if (ok) {
        // The records come on the user-data channel and the ACK on the control channel, which
        // are not ordered against each other: go on capturing until the data has been quiet.
        QElapsedTimer since;
        since.start();
        if (!m_lastUserData.isValid())
            m_lastUserData.start();
        while (since.elapsed() < m_timing.dumpQuietMaxMs && m_lastUserData.elapsed() < m_timing.dumpQuietMs) {
            co_await QCoro::sleepFor(std::chrono::milliseconds(qMax(1, m_timing.dumpQuietMs / 4)));
            if (!*alive)
                co_return false;
        }
    }
    m_capture = false;
    SetTimerInterval(timeout);
    co_return ok;
}

QCoro::Task<bool> TCalderwickVX8Dock::ClearTestRecords(int Count)
{
    const QByteArray command = dock::cmdClearTestRecords(Count);
    if (command.isEmpty())
        co_return false;
    co_return co_await ExecuteCommand(command, dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::PerFormTest(quint8 Mode)
{
    return ExecuteCommand(dock::cmdPerformTest(Mode), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::GetIsDockBusy(bool& Busy)
{
    const auto alive = m_alive;
    const bool ok = co_await ExecuteCommand(dock::cmdGetIsDockBusy(), dock::ReplyKind::Busy);
    if (!*alive) {
        Busy = true;
        co_return false;
    }
    if (!ok)
        m_dockBusy = true;
    Busy = m_dockBusy;
    co_return ok;
}

QCoro::Task<bool> TCalderwickVX8Dock::SetDockMode(bool Slave, bool& Busy)
{
    const auto alive = m_alive;
    const bool ok = co_await ExecuteCommand(dock::cmdSetDockMode(Slave), dock::ReplyKind::Busy);
    if (!*alive) {
        Busy = true;
        co_return false;
    }
    if (!ok)
        m_dockBusy = true;
    Busy = m_dockBusy;
    co_return ok;
}

QCoro::Task<bool> TCalderwickVX8Dock::SetLCDText(int Line, QString Text)
{
    return ExecuteCommand(dock::cmdSetLCDText(Line, Text), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::ReadLCDText(int Line, QString& Text)
{
    Text.clear();
    if (!IsEnabled())
        co_return false;
    const auto alive = m_alive;
    const bool ok = co_await ExecuteCommand(dock::cmdReadLCDText(Line), dock::ReplyKind::LcdText);
    if (!*alive)
        co_return false;
    if (ok)
        Text = m_lcdText;
    co_return ok;
}

QCoro::Task<QString> TCalderwickVX8Dock::FLCDLine0()
{
    QString text;
    co_await ReadLCDText(0, text);
    co_return text;
}

QCoro::Task<QString> TCalderwickVX8Dock::FLCDLine1()
{
    QString text;
    co_await ReadLCDText(1, text);
    co_return text;
}

QCoro::Task<bool> TCalderwickVX8Dock::SetPumpStatus(int Speed, quint8 Channel)
{
    return ExecuteCommand(dock::cmdSetPumpStatus(Speed, Channel), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::DisconnectInstrument()
{
    return ExecuteCommand(dock::cmdDisconnectInstrument(), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::StartIrDASearch()
{
    return ExecuteCommand(dock::cmdStartIrDASearch(), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::SendTestEmail()
{
    return ExecuteCommand(dock::cmdSendTestEmail(), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::SendENQ()
{
    return ExecuteCommand(dock::cmdSendENQ(), dock::ReplyKind::None);
}

QCoro::Task<bool> TCalderwickVX8Dock::GetFlashDateTime(QString& Text)
{
    const auto alive = m_alive;
    const bool ok = co_await ExecuteCommand(dock::cmdGetFlashDateTime(), dock::ReplyKind::FlashDateText);
    if (!*alive)
        co_return false;
    Text = m_flashDateTimeText;
    co_return ok;
}

QCoro::Task<int> TCalderwickVX8Dock::LithiumBatVoltage()
{
    const auto alive = m_alive;
    co_await GetAdcCounts();
    if (!*alive)
        co_return 0;
    co_return dock::lithiumBatVoltage(m_adcCounts);
}

// ---- Record accessors -----------------------------------------------------------------------

bool TCalderwickVX8Dock::PassFailBump(int s) const
{
    return s >= 0 && s < 7 && dock::passFailBump(m_testRecord.Sensors[std::size_t(s)].SensorStatus);
}

int TCalderwickVX8Dock::PassFailSpan(int s) const
{
    return s >= 0 && s < 7 ? dock::passFailSpan(m_testRecord.Sensors[std::size_t(s)].SensorStatus) : 0;
}

bool TCalderwickVX8Dock::PassFailSensorZero(int s) const
{
    return s >= 0 && s < 7 && dock::passFailSensorZero(m_testRecord.Sensors[std::size_t(s)].SensorStatus);
}

int TCalderwickVX8Dock::SpanFaultCause(int s) const
{
    return s >= 0 && s < 7 ? dock::spanFaultCause(m_testRecord.Sensors[std::size_t(s)].SensorStatus) : 0;
}

bool TCalderwickVX8Dock::LoadRecord(int Index)
{
    if (Index < 0)
        return false;
    const qsizetype start = qsizetype(Index) * dock::TestRecordSize;
    if (start + dock::TestRecordSize > m_userDataBuffer.size())
        return false;
    const auto r = dock::decodeTestRecord(m_userDataBuffer.mid(start, dock::TestRecordSize));
    if (!r)
        return false;
    m_testRecord = *r;
    return true;
}

bool TCalderwickVX8Dock::CalibrateAudioGain(double Level)
{
    const auto gain = dock::audioGain(Level, m_adcPeaks[0]);
    if (!gain)
        return false;
    m_config.MicGain = *gain;
    return true;
}

} // namespace vx8
