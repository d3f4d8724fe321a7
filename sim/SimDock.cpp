#include "SimDock.h"

#include "SimBytes.h"
#include "SimServer.h"
#include "SimStates.h"
#include "SimUsbDevice.h"

#include "common/Trace.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace vx8::sim {

namespace {
const QByteArray kPekSuffix("      PEK Command");
const QByteArray kRapSuffix("      RAP Command");

bool settingOn(const QByteArray& config, int n)
{
    return (getBE32(config, 4) & (0x80000000u >> n)) != 0;
}
} // namespace

SimFault SimFault::fromJson(const QJsonObject& o)
{
    SimFault f;
    f.kind = o.value(QStringLiteral("kind")).toString();
    f.command = o.value(QStringLiteral("command")).toString();
    f.channel = o.value(QStringLiteral("channel")).toString() == QLatin1String("data") ? SimChannel::Data
                                                                                       : SimChannel::Control;
    f.occurrence = int(jsonInt(o, QStringLiteral("occurrence"), 1));
    f.count = int(jsonInt(o, QStringLiteral("count"), 1));
    f.testStep = int(jsonInt(o, QStringLiteral("testStep"), -1));
    f.bytes = int(jsonInt(o, QStringLiteral("bytes"), -1));
    f.at = int(jsonInt(o, QStringLiteral("at"), -1));
    f.ms = int(jsonInt(o, QStringLiteral("ms"), 0));
    f.closeChannel = o.value(QStringLiteral("closeChannel")).toString();
    f.bytesHex = QByteArray::fromHex(o.value(QStringLiteral("hex")).toString().toLatin1());
    return f;
}

QString SimFault::check(const QJsonObject& o)
{
    static const QStringList kinds{"noReply", "nak",   "cut",    "split",   "merge", "double", "delay",
                                   "close",   "vanish", "stop", "replace", "append", "prepend", "writeError"};
    const QString kind = o.value(QStringLiteral("kind")).toString();
    if (!kinds.contains(kind)) {
        return QStringLiteral("unknown fault kind \"%1\" (one of %2)").arg(kind, kinds.join(QStringLiteral(", ")));
    }
    const bool byStep = o.contains(QStringLiteral("testStep"));
    if (!byStep && o.value(QStringLiteral("command")).toString().isEmpty()) {
        return QStringLiteral("fault \"%1\" needs a \"command\" or a \"testStep\"").arg(kind);
    }
    if (byStep && !QStringList{"close", "vanish", "stop"}.contains(kind)) {
        return QStringLiteral("a fault at a test step can only be close, vanish or stop, not \"%1\"").arg(kind);
    }
    const QString ch = o.value(QStringLiteral("channel")).toString(QStringLiteral("control"));
    if (ch != QLatin1String("control") && ch != QLatin1String("data")) {
        return QStringLiteral("fault channel \"%1\" is neither control nor data").arg(ch);
    }
    return {};
}

QString SimDock::checkSetup(const QJsonObject& setup)
{
    for (const QJsonValue& f : setup.value(QStringLiteral("faults")).toArray()) {
        if (const QString e = SimFault::check(f.toObject()); !e.isEmpty()) {
            return e;
        }
    }
    static const QStringList actions{"dock", "remove", "vanish", "reappear", "event", "close", "fault"};
    for (const QJsonValue& v : setup.value(QStringLiteral("timeline")).toArray()) {
        const QJsonObject e = v.toObject();
        const QString a = e.value(QStringLiteral("action")).toString();
        if (!actions.contains(a)) {
            return QStringLiteral("unknown timeline action \"%1\" (one of %2)").arg(a, actions.join(QStringLiteral(", ")));
        }
        if (a == QLatin1String("fault")) {
            if (const QString err = SimFault::check(e.value(QStringLiteral("fault")).toObject()); !err.isEmpty()) {
                return err;
            }
        }
    }
    const QString transport = setup.value(QStringLiteral("transport")).toString(QStringLiteral("tcp"));
    if (transport != QLatin1String("tcp") && transport != QLatin1String("usb")) {
        return QStringLiteral("transport \"%1\" is neither tcp nor usb").arg(transport);
    }
    return {};
}

SimDock::SimDock(SimServer* server, const QJsonObject& setup, int index)
    : QObject(server), m_server(server), m_setup(setup)
{
    m_serial = quint32(jsonInt(setup, QStringLiteral("serial"), server->serialBase() + index));
    m_address = setup.contains(QStringLiteral("address"))
                    ? QHostAddress(setup.value(QStringLiteral("address")).toString())
                    : server->addressFor(index);
    m_ctlPortWanted = quint16(jsonInt(setup, QStringLiteral("controlPort"), server->controlPort()));
    m_dataPortWanted = quint16(jsonInt(setup, QStringLiteral("dataPort"), server->dataPort()));

    QJsonObject cfg = setup.value(QStringLiteral("configuration")).toObject();
    m_firmware = int(jsonInt(setup, QStringLiteral("firmwareVersion"),
                             jsonInt(cfg, QStringLiteral("FirmwareVersion"), 756)));
    m_protocol = int(jsonInt(setup, QStringLiteral("protocolVersion"),
                             jsonInt(cfg, QStringLiteral("ProtocolVersion"), 1)));
    if (setup.contains(QStringLiteral("configurationHex"))) {
        m_config = QByteArray::fromHex(setup.value(QStringLiteral("configurationHex")).toString().toLatin1());
        m_config.resize(kConfigSize, '\0');
    } else {
        m_config = buildConfiguration(cfg, m_serial, m_address);
    }
    m_flashText =
        setup.value(QStringLiteral("flashDateText")).toString(QStringLiteral("2025-01-15 10:00:00"));
    for (const QJsonValue& r : setup.value(QStringLiteral("storedRecords")).toArray()) {
        m_records.append(buildTestRecord(r.toObject()));
    }
    m_firstRecord = quint32(jsonInt(cfg, QStringLiteral("FirstRecord"), 0));
    m_recordCountOverride = int(jsonInt(setup, QStringLiteral("recordCountOverride"), -1));
    const QJsonArray adc = setup.value(QStringLiteral("adc")).toArray();
    const QJsonArray pek = setup.value(QStringLiteral("peaks")).toArray();
    const int adcDef[4] = {200, 768, 300, 500};
    const int pekDef[4] = {250, 770, 310, 520};
    for (int i = 0; i < 4; ++i) {
        m_adc.append(adc.size() > i ? adc.at(i).toInt() : adcDef[i]);
        m_peaks.append(pek.size() > i ? pek.at(i).toInt() : pekDef[i]);
    }
    const QJsonArray lcd = setup.value(QStringLiteral("lcd")).toArray();
    for (int i = 0; i < 4; ++i) {
        m_lcd.append(lcd.size() > i ? lcd.at(i).toString() : QString(16, ' '));
    }
    m_clockBase = jsonTime(setup, QStringLiteral("clock"), secondsSince2000(QDateTime::currentDateTime()));
    m_clockRun.start();
    m_slave = setup.value(QStringLiteral("slave")).toBool(false);
    m_standalone = setup.value(QStringLiteral("standalone")).toBool(false);
    for (const QJsonValue& f : setup.value(QStringLiteral("faults")).toArray()) {
        m_faults.append(SimFault::fromJson(f.toObject()));
    }
    m_timeline = setup.value(QStringLiteral("timeline")).toArray();
    if (setup.contains(QStringLiteral("instrument"))) {
        QJsonObject e;
        e[QStringLiteral("at")] = 0;
        e[QStringLiteral("action")] = QStringLiteral("dock");
        e[QStringLiteral("instrument")] = setup.value(QStringLiteral("instrument"));
        m_timeline.prepend(e);
    }

    for (QTimer* t :
         {&m_ctlGap, &m_dataGap, &m_heldTimer[0], &m_heldTimer[1], &m_stepTimer, &m_timelineTimer}) {
        t->setSingleShot(true);
    }
    // A command cut short by the transport: after half a second without its rest, the dock
    // refuses it and starts afresh.
    m_ctlGap.setInterval(500);
    m_dataGap.setInterval(500);
    connect(&m_ctlGap, &QTimer::timeout, this, [this] {
        note(QStringLiteral("incomplete command dropped: %1").arg(printable(m_ctlBuf)));
        m_ctlBuf.clear();
        write(SimChannel::Control, "NAK");
    });
    connect(&m_dataGap, &QTimer::timeout, this, [this] {
        note(QStringLiteral("incomplete instrument command dropped: %1").arg(printable(m_dataBuf)),
             SimChannel::Data);
        m_dataBuf.clear();
    });
    for (int c = 0; c < 2; ++c) {
        connect(&m_heldTimer[c], &QTimer::timeout, this, [this, c] {
            const QByteArray held = m_held[c];
            m_held[c].clear();
            writeNow(SimChannel(c), held);
        });
    }
    connect(&m_stepTimer, &QTimer::timeout, this, &SimDock::nextStep);
    connect(&m_timelineTimer, &QTimer::timeout, this, &SimDock::scheduleTimeline);

    if (setup.value(QStringLiteral("transport")).toString() == QLatin1String("usb")) {
        m_usb = std::make_unique<SimUsbDevice>(this, server->usbVendorId(), server->usbProductId());
    }
}

SimDock::~SimDock()
{
    stop();
}

int SimDock::scaled(int ms) const
{
    return m_server->scaled(ms);
}

void SimDock::later(int ms, std::function<void()> fn)
{
    const int gen = m_generation;
    QTimer::singleShot(qMax(0, ms), this, [this, gen, fn = std::move(fn)] {
        if (gen == m_generation && !m_vanished) {
            fn();
        }
    });
}

void SimDock::note(const QString& text, SimChannel ch)
{
    m_server->transcript().note(m_serial, channelName(ch), text);
    qCDebug(lcSim) << "dock" << m_serial << text;
}

QString SimDock::channelName(SimChannel ch) const
{
    return ch == SimChannel::Control ? QStringLiteral("control") : QStringLiteral("data");
}

// ---------------------------------------------------------------- transports

bool SimDock::start(QString* error)
{
    if (!m_usb && !isLoopbackV4(m_address)) {
        if (error) {
            *error = QStringLiteral("dock %1: address %2 is not a loopback address (127.0.0.0/8); refused")
                         .arg(m_serial)
                         .arg(m_address.toString());
        }
        return false;
    }
    bool ok = true;
    startServers(error, &ok);
    if (!ok) {
        return false;
    }
    m_started = true;
    m_vanished = false;
    m_sinceStart.start();
    m_timelineIndex = 0;
    scheduleTimeline();
    return true;
}

void SimDock::startServers(QString* error, bool* ok)
{
    if (m_usb) {
        VirtualUsbBus::instance().attach(m_usb.get());
        return;
    }
    m_ctlServer = new QTcpServer(this);
    m_dataServer = new QTcpServer(this);
    if (!m_ctlServer->listen(m_address, m_ctlPortWanted) ||
        !m_dataServer->listen(m_address, m_dataPortWanted)) {
        if (error) {
            QTcpServer* bad = m_ctlServer->isListening() ? m_dataServer : m_ctlServer;
            *error = QStringLiteral("dock %1: cannot listen on %2:%3: %4")
                         .arg(m_serial)
                         .arg(m_address.toString())
                         .arg(bad == m_ctlServer ? m_ctlPortWanted : m_dataPortWanted)
                         .arg(bad->errorString());
        }
        delete m_ctlServer;
        delete m_dataServer;
        m_ctlServer = m_dataServer = nullptr;
        *ok = false;
        return;
    }
    // A dock that comes back (after vanishing or a restart) listens on the same ports again.
    m_ctlPortWanted = m_ctlServer->serverPort();
    m_dataPortWanted = m_dataServer->serverPort();
    connect(m_ctlServer, &QTcpServer::newConnection, this, [this] { acceptConnection(SimChannel::Control); });
    connect(m_dataServer, &QTcpServer::newConnection, this, [this] { acceptConnection(SimChannel::Data); });
}

void SimDock::dropTransport()
{
    for (QTcpSocket* s : {m_ctl, m_data}) {
        if (s) {
            s->disconnect(this);
            s->abort();
            s->deleteLater();
        }
    }
    m_ctl = m_data = nullptr;
    for (QTcpServer* srv : {m_ctlServer, m_dataServer}) {
        if (srv) {
            srv->close(); // stops listening now; freed once the event loop is back
            srv->disconnect(this);
            srv->deleteLater();
        }
    }
    m_ctlServer = m_dataServer = nullptr;
    m_ctlBuf.clear();
    m_dataBuf.clear();
    m_held[0].clear();
    m_held[1].clear();
}

void SimDock::stop()
{
    m_started = false;
    ++m_generation;
    m_stepTimer.stop();
    m_timelineTimer.stop();
    dropTransport();
    delete m_udp;
    m_udp = nullptr;
    if (m_usb) {
        VirtualUsbBus::instance().detach(m_usb.get());
    }
}

quint16 SimDock::controlPort() const
{
    return m_ctlServer ? m_ctlServer->serverPort() : m_ctlPortWanted;
}
quint16 SimDock::dataPort() const
{
    return m_dataServer ? m_dataServer->serverPort() : m_dataPortWanted;
}
int SimDock::activeTimers() const
{
    int n = 0;
    for (const QTimer* t : {&m_ctlGap, &m_dataGap, &m_heldTimer[0], &m_heldTimer[1], &m_stepTimer, &m_timelineTimer}) {
        n += t->isActive() ? 1 : 0;
    }
    return n;
}

bool SimDock::controlConnected() const
{
    return m_usb ? m_usb->attached() : (m_ctl && m_ctl->state() == QAbstractSocket::ConnectedState);
}
bool SimDock::dataConnected() const
{
    return m_usb ? m_usb->attached() : (m_data && m_data->state() == QAbstractSocket::ConnectedState);
}

QTcpSocket*& SimDock::socketFor(SimChannel ch)
{
    return ch == SimChannel::Control ? m_ctl : m_data;
}

void SimDock::acceptConnection(SimChannel ch)
{
    QTcpServer* srv = ch == SimChannel::Control ? m_ctlServer : m_dataServer;
    while (QTcpSocket* s = srv->nextPendingConnection()) {
        // The dock owns its sessions: a server closed under them (the dock vanishing from inside
        // a session's own handler) must not free them there.
        s->setParent(this);
        if (!isLoopbackV4(s->peerAddress())) {
            s->abort();
            s->deleteLater();
            continue;
        }
        QTcpSocket*& cur = socketFor(ch);
        if (cur) {
            // The dock serves one PC: the newest session replaces the old one, whose control
            // session is told so ("EVTC") before it is closed.
            note(QStringLiteral("second %1 connection: the first is closed").arg(channelName(ch)), ch);
            if (ch == SimChannel::Control && cur->state() == QAbstractSocket::ConnectedState) {
                m_server->transcript().add(m_serial, channelName(ch), QStringLiteral("out"), "EVTC");
                cur->write("EVTC");
            }
            cur->disconnect(this);
            if (cur->state() == QAbstractSocket::UnconnectedState) {
                cur->deleteLater();
            } else {
                connect(cur, &QTcpSocket::disconnected, cur, &QObject::deleteLater);
                cur->disconnectFromHost();
            }
            if (ch == SimChannel::Control) {
                m_ctlBuf.clear();
            } else {
                m_dataBuf.clear();
            }
        }
        cur = s;
        note(QStringLiteral("%1 connected from %2:%3")
                 .arg(channelName(ch), s->peerAddress().toString())
                 .arg(s->peerPort()),
             ch);
        connect(s, &QTcpSocket::readyRead, this, [this, s, ch] {
            if (socketFor(ch) == s) {
                receive(ch, s->readAll());
            }
        });
        connect(s, &QTcpSocket::disconnected, this, [this, s, ch] {
            if (socketFor(ch) == s) {
                note(QStringLiteral("%1 closed").arg(channelName(ch)), ch);
                socketFor(ch) = nullptr;
                m_held[int(ch)].clear();
                if (ch == SimChannel::Control) {
                    m_ctlBuf.clear();
                } else {
                    m_dataBuf.clear();
                }
            }
            s->deleteLater();
        });
    }
}

void SimDock::closeChannel(SimChannel ch)
{
    note(QStringLiteral("closing the %1 channel").arg(channelName(ch)), ch);
    if (m_usb) {
        // A USB dock has no separate sessions: closing a channel unplugs it.
        vanish();
        return;
    }
    if (QTcpSocket* s = socketFor(ch)) {
        s->disconnectFromHost();
    }
}

void SimDock::write(SimChannel ch, const QByteArray& bytes)
{
    const int c = int(ch);
    if (!m_held[c].isEmpty()) {
        m_heldTimer[c].stop();
        const QByteArray joined = m_held[c] + bytes;
        m_held[c].clear();
        writeNow(ch, joined);
        return;
    }
    writeNow(ch, bytes);
}

void SimDock::writeNow(SimChannel ch, const QByteArray& bytes)
{
    if (m_vanished || bytes.isEmpty()) {
        return;
    }
    if (m_usb) {
        if (!m_usb->attached()) {
            return;
        }
        m_server->transcript().add(m_serial, channelName(ch), QStringLiteral("out"), bytes);
        m_usb->toHost(ch == SimChannel::Control ? 2 : 1, bytes);
        return;
    }
    QTcpSocket* s = socketFor(ch);
    if (!s || s->state() != QAbstractSocket::ConnectedState) {
        note(QStringLiteral("nothing connected: %1 bytes not sent").arg(bytes.size()), ch);
        return;
    }
    m_server->transcript().add(m_serial, channelName(ch), QStringLiteral("out"), bytes);
    s->write(bytes);
    s->flush();
}

void SimDock::sendEvent(char code, const QByteArray& payload)
{
    write(SimChannel::Control, QByteArray("EVT") + code + payload);
}

// ---------------------------------------------------------------- faults

SimFault* SimDock::matchFault(SimChannel ch, const QByteArray& mnemonic)
{
    for (SimFault& f : m_faults) {
        if (f.testStep >= 0 || f.channel != ch || f.command.isEmpty() ||
            !QString::fromLatin1(mnemonic).startsWith(f.command)) {
            continue;
        }
        ++f.seen;
        const bool due = f.occurrence == 0 ? true : (f.seen >= f.occurrence && f.applied < f.count);
        if (due) {
            ++f.applied;
            return &f;
        }
    }
    return nullptr;
}

SimFault* SimDock::matchStepFault(int state)
{
    for (SimFault& f : m_faults) {
        if (f.testStep == state && (f.occurrence == 0 || f.applied < f.count)) {
            ++f.applied;
            return &f;
        }
    }
    return nullptr;
}

void SimDock::deliver(SimChannel ch, const QByteArray& reply, SimFault* f)
{
    if (!f) {
        write(ch, reply);
        return;
    }
    note(QStringLiteral("fault %1 on %2").arg(f->kind, printable(reply.left(4))), ch);
    const QString& k = f->kind;
    if (k == QLatin1String("noReply")) {
        return;
    }
    if (k == QLatin1String("nak")) {
        write(ch, ch == SimChannel::Control ? QByteArray("NAK") : QByteArray("NAK") + reply.mid(3, 1));
    } else if (k == QLatin1String("cut")) {
        write(ch, reply.left(f->bytes >= 0 ? f->bytes : reply.size() / 2));
    } else if (k == QLatin1String("split")) {
        const int at = f->at > 0 ? qMin(f->at, int(reply.size())) : reply.size() / 2;
        write(ch, reply.left(at));
        const QByteArray rest = reply.mid(at);
        later(qMax(20, f->ms), [this, ch, rest] { write(ch, rest); });
    } else if (k == QLatin1String("merge")) {
        m_held[int(ch)] += reply;
        if (f->ms > 0) {
            m_heldTimer[int(ch)].start(f->ms);
        }
    } else if (k == QLatin1String("replace")) {
        write(ch, f->bytesHex);
    } else if (k == QLatin1String("append")) {
        write(ch, reply + f->bytesHex);
    } else if (k == QLatin1String("prepend")) {
        write(ch, f->bytesHex + reply);
    } else if (k == QLatin1String("double")) {
        write(ch, reply + reply);
    } else if (k == QLatin1String("delay")) {
        later(f->ms, [this, ch, reply] { write(ch, reply); });
    } else if (k == QLatin1String("close")) {
        closeChannel(
            f->closeChannel.isEmpty()
                ? ch
                : (f->closeChannel == QLatin1String("data") ? SimChannel::Data : SimChannel::Control));
    } else if (k == QLatin1String("vanish")) {
        vanish();
    } else {
        write(ch, reply);
    }
}

// ---------------------------------------------------------------- control channel

void SimDock::receive(SimChannel ch, const QByteArray& bytes)
{
    if (m_vanished || bytes.isEmpty()) {
        return;
    }
    m_server->transcript().add(m_serial, channelName(ch), QStringLiteral("in"), bytes);
    if (ch == SimChannel::Control) {
        m_ctlBuf += bytes;
        processControl();
        return;
    }
    if (m_kernelState != Kernel::None) {
        handleKernelData(bytes);
        return;
    }
    if (!m_instrument || !m_connected) {
        note(QStringLiteral("user data while no instrument is connected: ignored"), ch);
        return;
    }
    m_dataBuf += bytes;
    processData();
}

int SimDock::controlLength(const QByteArray& buf)
{
    if (buf.size() < 3) {
        return 0;
    }
    const QByteArray m = buf.left(3);
    static const char* const plain[] = {"ADC", "RTC", "REE", "GTR", "STD", "GST", "SLV", "MST", "DSC",
                                        "IRS", "TEM", "ENQ", "GFD", "LDK", "PGR", "LKR", "ERS", "RST"};
    for (const char* p : plain) {
        if (m == p) {
            return 3;
        }
    }
    if (m == "PEK" || m == "RAP") {
        // The 20-character form "PEK      PEK Command"; the dock takes as much of it as came.
        const QByteArray& suffix = m == "PEK" ? kPekSuffix : kRapSuffix;
        int n = 0;
        while (n < suffix.size() && 3 + n < buf.size() && buf[3 + n] == suffix[n]) {
            ++n;
        }
        return 3 + n;
    }
    int need = -1;
    if (m == "STC") {
        need = 10;
    } else if (m == "WEE") {
        need = 3 + kConfigSize;
    } else if (m == "CLT" || m == "PSS") {
        need = 5;
    } else if (m == "TST") {
        need = 4;
    } else if (m == "LCD") {
        need = 20;
    } else if (m == "RLC") {
        need = 4;
    }
    if (need < 0) {
        return -1;
    }
    return buf.size() >= need ? need : 0;
}

void SimDock::processControl()
{
    m_ctlGap.stop();
    while (!m_ctlBuf.isEmpty()) {
        const int n = controlLength(m_ctlBuf);
        if (n == 0) {
            m_ctlGap.start();
            return;
        }
        if (n < 0) {
            note(QStringLiteral("unknown command refused: %1").arg(printable(m_ctlBuf.left(32))));
            m_ctlBuf.clear();
            write(SimChannel::Control, "NAK");
            return;
        }
        const QByteArray cmd = m_ctlBuf.left(n);
        m_ctlBuf.remove(0, n);
        handleCommand(cmd);
        if (m_vanished) {
            return;
        }
    }
}

void SimDock::handleCommand(const QByteArray& cmd)
{
    const QByteArray m = cmd.left(3);
    const QByteArray key = (m == "LCD" || m == "RLC") ? cmd.left(4) : m;
    emit commandReceived(QString::fromLatin1(key));
    SimFault* f = matchFault(SimChannel::Control, key);
    if (f && (f->kind == QLatin1String("close") || f->kind == QLatin1String("vanish"))) {
        deliver(SimChannel::Control, {}, f); // the command is not carried out
        return;
    }
    if (m == "STD") {
        dumpRecords(f);
        return;
    }
    const QByteArray reply = commandReply(cmd, m);
    deliver(SimChannel::Control, reply, f);
}

QByteArray SimDock::commandReply(const QByteArray& cmd, const QByteArray& m)
{
    const QByteArray ack("ACK");
    const QByteArray nak("NAK");
    const char busy = isBusy() ? 'B' : 'I';
    auto arg = [&](int i) { return int(quint8(cmd[3 + i])); };

    if (m == "ADC" || m == "PEK") {
        QByteArray p(8, '\0');
        for (int i = 0; i < 4; ++i) {
            putBE16(p, 2 * i, quint32(m == "ADC" ? m_adc[i] : m_peaks[i]));
        }
        return ack + p;
    }
    if (m == "RAP") {
        for (int& v : m_peaks) {
            v = 0;
        }
        return ack;
    }
    if (m == "RTC") {
        const QDateTime t = clock();
        QByteArray p(7, '\0');
        p[0] = char(t.time().second());
        p[1] = char(t.time().minute());
        p[2] = char(t.time().hour());
        p[3] = char(t.date().day());
        p[4] = char(t.date().month());
        p[5] = 0;
        p[6] = char(t.date().year() - 2000);
        return ack + p;
    }
    if (m == "STC") {
        const QDate d(2000 + arg(6), arg(4), arg(3));
        const QTime t(arg(2), arg(1), arg(0));
        if (!d.isValid() || !t.isValid()) {
            return nak;
        }
        m_clockBase = secondsSince2000(QDateTime(d, t, Qt::UTC));
        m_clockRun.restart();
        return ack;
    }
    if (m == "REE") {
        return ack + configuration();
    }
    if (m == "WEE") {
        setConfiguration(cmd.mid(3, kConfigSize));
        return ack;
    }
    if (m == "GTR") {
        return ack + (m_lastTest.isEmpty() ? QByteArray(kTestRecordSize, '\0') : m_lastTest);
    }
    if (m == "CLT") {
        const int n = qMin(int((arg(0) << 8) | arg(1)), int(m_records.size()));
        m_records.remove(0, n);
        m_firstRecord += quint32(n);
        m_recordCountOverride = -1;
        return ack;
    }
    if (m == "TST") {
        // The mode is a binary byte 0, 1 or 2; the digits "0" to "2" are taken the same way.
        const int mode = (arg(0) >= '0' && arg(0) <= '2') ? arg(0) - '0' : arg(0);
        if (mode == 0) {
            if (m_testRunning) {
                return nak;
            }
            later(scaled(100), [this] { startTest(); });
        } else if (m_testRunning) {
            later(scaled(50), [this] { abortTest(ABORTED_BY_PC); });
        } else {
            later(scaled(200), [this] { endSession(true); });
        }
        return ack;
    }
    if (m == "GST") {
        return ack + busy;
    }
    if (m == "SLV" || m == "MST") {
        if (!isBusy()) {
            const bool wasSlave = m_slave;
            m_slave = (m == "SLV");
            if (m_slave && !wasSlave && m_instrument && !m_announced) {
                later(scaled(200), [this] { announce(); });
            }
        }
        return ack + busy;
    }
    if (m == "LCD") {
        const int line = qBound(0, int(cmd[3]) - '0', 3);
        m_lcd[line] = QString::fromLatin1(cmd.mid(4, 16));
        return ack;
    }
    if (m == "RLC") {
        const int line = cmd[3] == '0' ? 0 : 1;
        QByteArray text = m_lcd[line].toLatin1().left(16);
        text.append(QByteArray(16 - text.size(), ' '));
        return ack + text;
    }
    if (m == "PSS") {
        m_pumpSpeed = qMin(arg(0), 100);
        m_pumpChannel = arg(1);
        return ack;
    }
    if (m == "DSC") {
        if (m_connected && !m_testRunning) {
            later(scaled(100), [this] { endSession(false); });
        }
        return ack;
    }
    if (m == "IRS") {
        if (m_instrument && !m_connected && !m_testRunning) {
            m_announced = false;
            later(scaled(200), [this] { announce(); });
        }
        return ack;
    }
    if (m == "TEM") {
        const bool on = settingOn(m_config, settingBit(QStringLiteral("Enable_Emailing")));
        later(scaled(1000), [this, on] { sendEvent('D', on ? "1" : "0"); });
        return ack;
    }
    if (m == "ENQ") {
        return ack;
    }
    if (m == "GFD") {
        return ack + m_flashText.toLatin1();
    }
    if (m == "LDK") {
        if (isBusy()) {
            return nak;
        }
        m_kernelState = Kernel::FirstBlock;
        m_kernel.clear();
        m_flash.clear();
        note(QStringLiteral("kernel load started"));
        return ack;
    }
    if (m == "PGR") {
        if (m_kernelState != Kernel::FirstBlock || m_kernel.size() != kKernelFirstBlock) {
            return nak;
        }
        m_kernelState = Kernel::WaitLkr;
        return ack;
    }
    if (m == "LKR") {
        if (m_kernelState != Kernel::WaitLkr && m_kernelState != Kernel::SecondBlock) {
            return nak;
        }
        m_kernelState = Kernel::SecondBlock;
        return ack;
    }
    if (m == "ERS") {
        if (m_kernelState != Kernel::Running && m_kernelState != Kernel::Flashing) {
            return nak;
        }
        m_kernelState = Kernel::Flashing;
        m_flash.clear();
        m_flashAcks = 0;
        note(QStringLiteral("flash erased"));
        return ack;
    }
    if (m == "RST") {
        if (m_kernelState == Kernel::Flashing || m_kernelState == Kernel::Running) {
            const bool complete = m_flash.size() == kDockFlashSize;
            const bool valid = complete && getBE16(m_flash, 2002) == 36000;
            if (!valid) {
                note(QStringLiteral("restart refused: flash image %1")
                         .arg(complete ? QStringLiteral("not for this dock") : QStringLiteral("incomplete")));
                return nak;
            }
            later(scaled(100), [this] { restartDock(true); });
            return ack;
        }
        later(scaled(100), [this] { restartDock(false); });
        return ack;
    }
    return nak;
}

void SimDock::dumpRecords(SimFault* fault)
{
    if (m_records.isEmpty()) {
        deliver(SimChannel::Control, "ACK", fault);
        return;
    }
    if (!dataConnected()) {
        note(QStringLiteral("record dump refused: no user-data channel"));
        write(SimChannel::Control, "NAK");
        return;
    }
    QByteArray all;
    for (const QByteArray& r : m_records) {
        all += r;
    }
    write(SimChannel::Data, all);
    // The acknowledgement ends the dump: it follows once the records have left the dock.
    // The fault is copied: the list it lives in may grow before the acknowledgement goes.
    auto copy = fault ? std::make_shared<SimFault>(*fault) : std::shared_ptr<SimFault>();
    auto finish = [this, copy] {
        later(30, [this, copy] { deliver(SimChannel::Control, "ACK", copy.get()); });
    };
    if (!m_usb && m_data && m_data->bytesToWrite() > 0) {
        auto conn = std::make_shared<QMetaObject::Connection>();
        *conn = connect(m_data, &QTcpSocket::bytesWritten, this, [this, conn, finish](qint64) {
            if (!m_data || m_data->bytesToWrite() == 0) {
                disconnect(*conn);
                finish();
            }
        });
    } else {
        finish();
    }
}

QByteArray SimDock::configuration() const
{
    QByteArray c = m_config;
    putBE16(c, 8, quint32(m_firmware));
    const int count = m_recordCountOverride >= 0 ? m_recordCountOverride : int(m_records.size());
    putBE16(c, 10, quint32(count));
    putBE32(c, 12, m_firstRecord);
    putBE32(c, 16, m_firstRecord + quint32(m_records.size()));
    c[424] = char(m_protocol);
    return c;
}

void SimDock::setConfiguration(const QByteArray& image)
{
    if (image.size() != kConfigSize) {
        return;
    }
    m_config = image;
    // The record counters written back manage the memory: a smaller count drops the oldest records.
    const int count = int(getBE16(image, 10));
    if (count < m_records.size()) {
        m_records.remove(0, m_records.size() - count);
    }
    m_firstRecord = getBE32(image, 12);
    m_recordCountOverride = -1;
}

QDateTime SimDock::clock() const
{
    return fromSeconds2000(m_clockBase + m_clockRun.elapsed() / 1000);
}

// ---------------------------------------------------------------- kernel and flash

void SimDock::handleKernelData(const QByteArray& bytes)
{
    switch (m_kernelState) {
    case Kernel::FirstBlock:
        m_kernel += bytes.left(kKernelFirstBlock - m_kernel.size());
        break;
    case Kernel::SecondBlock:
        m_kernel += bytes.left(kKernelSize - m_kernel.size());
        if (m_kernel.size() == kKernelSize) {
            m_kernelState = Kernel::Running;
            note(QStringLiteral("kernel running"), SimChannel::Data);
        }
        break;
    case Kernel::Flashing: {
        const int before = int(m_flash.size());
        m_flash += bytes.left(kDockFlashSize - m_flash.size());
        // One acknowledgement of 8 bytes per 1024-byte block written: "OKnnnn\r\n"; a block the dock
        // could not write is answered "Fnnnn!\r\n".
        for (int block = before / 1024; block < int(m_flash.size()) / 1024; ++block) {
            ++m_flashAcks;
            bool bad = false;
            if (block == 1) {
                bad = getBE16(m_flash, 2002) != 36000; // the image is not for this dock
            }
            if (SimFault* f = matchFault(SimChannel::Data, "FLASH");
                f && f->kind == QLatin1String("writeError")) {
                bad = true;
            }
            const QByteArray ack = (bad ? QByteArray("F") : QByteArray("OK")) +
                                   QByteArray::number(block + 1).rightJustified(4, '0') +
                                   (bad ? "!\r\n" : "\r\n");
            write(SimChannel::Data, ack);
        }
        if (bytes.size() > kDockFlashSize - before) {
            note(QStringLiteral("bytes beyond the flash image ignored"), SimChannel::Data);
        }
        break;
    }
    default:
        note(QStringLiteral("user data not expected by the kernel dialogue: ignored"), SimChannel::Data);
        break;
    }
}

void SimDock::restartDock(bool newFirmware)
{
    if (newFirmware) {
        m_firmware = int(getBE16(m_flash, 2000));
        QByteArray text = m_flash.mid(2012, 37);
        const int z = text.indexOf('\0');
        m_flashText = QString::fromLatin1(z >= 0 ? text.left(z) : text);
        note(QStringLiteral("restarting with firmware %1 (%2)").arg(m_firmware).arg(m_flashText));
    } else {
        note(QStringLiteral("restarting"));
    }
    m_kernelState = Kernel::None;
    ++m_restartCount;
    m_slave = false;
    vanish();
    QTimer::singleShot(scaled(int(jsonInt(m_setup, QStringLiteral("restartMs"), 3000))), this, [this] {
        reappear();
        emit restarted();
    });
}

// ---------------------------------------------------------------- instrument pass-through

void SimDock::processData()
{
    m_dataGap.stop();
    while (!m_dataBuf.isEmpty() && m_instrument && m_connected) {
        const int n = SimInstrument::commandLength(m_dataBuf);
        if (n == 0) {
            m_dataGap.start();
            return;
        }
        if (n < 0) {
            const QByteArray head = m_dataBuf.left(4);
            m_dataBuf.clear();
            note(QStringLiteral("instrument command not understood: %1").arg(printable(head)),
                 SimChannel::Data);
            if (head.size() >= 4) {
                deliver(SimChannel::Data, QByteArray("NAK") + head[3],
                        matchFault(SimChannel::Data, head.left(3)));
            }
            return;
        }
        const QByteArray cmd = m_dataBuf.left(n);
        m_dataBuf.remove(0, n);
        const QByteArray m = cmd.left(3);
        emit instrumentCommandReceived(QString::fromLatin1(m));
        SimFault* f = matchFault(SimChannel::Data, m);
        if (f && (f->kind == QLatin1String("close") || f->kind == QLatin1String("vanish"))) {
            deliver(SimChannel::Data, {}, f);
            return;
        }
        const SimInstrument::Reply r = m_instrument->handle(cmd);
        deliver(SimChannel::Data, r.bytes, f);
        if (r.restart) {
            // The instrument restarts with its new firmware: it leaves the infrared link and
            // comes back when the dock searches for it again (IRS).
            later(scaled(300), [this] {
                if (m_connected) {
                    m_connected = false;
                    m_announced = false;
                    sendEvent('2');
                }
            });
        }
    }
}

} // namespace vx8::sim
