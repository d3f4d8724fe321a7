#include "DockEnumerator.h"

#include "common/Prompter.h"
#include "common/Registry.h"
#include "common/Trace.h"

#include <QMetaObject>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace vx8 {

namespace {
void trace(const QString& text)
{
    LocalDebugString(text, lcApp());
}

quint16 portSetting(const QString& name)
{
    bool ok = false;
    const uint port = ReadRegistryString(RegKey::Program, name).trimmed().toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : 0;
}
} // namespace

TDockEnumerator::Family TDockEnumerator::familyOf(TEnumDockType type)
{
    switch (type) {
    case TEnumDockType::tpVexaExpress:
        return {6457, 6458, QStringLiteral("VexaExpress")};
    case TEnumDockType::tpQU_VexaExpress:
        return {6459, 6460, QStringLiteral("QU VexaExpress")};
    case TEnumDockType::tpVX8:
        return {6461, 6462, QStringLiteral("VX8")};
    case TEnumDockType::tpORX:
        break;
    }
    return {6463, 6464, QStringLiteral("ORX")};
}

TDockEnumerator::TDockEnumerator(Prompter* prompter, QObject* parent) : QObject(parent), m_prompter(prompter)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { endRound(); });
    const QString address = ReadRegistryString(RegKey::Program, QStringLiteral("DiscoveryBroadcastAddress")).trimmed();
    QHostAddress configured;
    if (!address.isEmpty() && configured.setAddress(address) && configured.protocol() == QAbstractSocket::IPv4Protocol) {
        m_broadcast = configured;
    }
    m_listenPort = portSetting(QStringLiteral("DiscoveryListenPort"));
    m_broadcastPort = portSetting(QStringLiteral("DiscoveryBroadcastPort"));
}

TDockEnumerator::~TDockEnumerator() = default;

void TDockEnumerator::SetPorts(quint16 listenPort, quint16 broadcastPort)
{
    m_listenPort = listenPort;
    m_broadcastPort = broadcastPort;
}

quint16 TDockEnumerator::ListenPort() const
{
    return m_type == TEnumDockType::tpVX8 && m_listenPort ? m_listenPort : familyOf(m_type).listenPort;
}

quint16 TDockEnumerator::BroadcastPort() const
{
    return m_type == TEnumDockType::tpVX8 && m_broadcastPort ? m_broadcastPort : familyOf(m_type).broadcastPort;
}

bool TDockEnumerator::Listening() const
{
    return m_listener && m_listener->state() == QAbstractSocket::BoundState;
}

void TDockEnumerator::Enumerate()
{
    trace(QStringLiteral("TDockEnumerator.Enumerate"));
    endRound();
    m_replies.clear();
    m_addresses.clear();
    m_queue.clear();

    m_listener = new QUdpSocket(this);
    connect(m_listener, &QUdpSocket::readyRead, this, [this] { readPending(); });
    if (!m_listener->bind(m_listenAddress, ListenPort(), QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        // Without the listener no answer can arrive: the round cannot start.
        const QString why = m_listener->errorString();
        delete m_listener;
        m_listener = nullptr;
        startFailed(QStringLiteral("listener on port %1: %2").arg(ListenPort()).arg(why));
        return;
    }

    QUdpSocket broadcaster;
    bool sent = broadcaster.bind(QHostAddress::AnyIPv4, 0);
    if (sent) {
        sent = broadcaster.writeDatagram(QByteArrayLiteral("ENQ"), m_broadcast, BroadcastPort()) == 3;
    }
    if (!sent) {
        const QString why = broadcaster.errorString();
        broadcaster.close();
        startFailed(QStringLiteral("ENQ to %1:%2: %3").arg(m_broadcast.toString()).arg(BroadcastPort()).arg(why));
        // The listener stays for the round: a dock may still answer a request that did leave.
    }
    broadcaster.close();
    m_timer.start(m_roundMs);
}

void TDockEnumerator::startFailed(const QString& why)
{
    trace(QStringLiteral("TDockEnumerator.Enumerate **ERROR** - ") + why);
    if (OnEnumerationStartFailed) {
        OnEnumerationStartFailed(this);
    } else if (m_prompter) {
        m_prompter->warn(QStringLiteral("Could not start dock auto detection, check your network!"));
    }
}

void TDockEnumerator::endRound()
{
    m_timer.stop();
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
}

// Only takes the datagrams; they are handled from the event loop.
void TDockEnumerator::readPending()
{
    if (!m_listener) {
        return;
    }
    for (int n = 0; n < 256 && m_listener->hasPendingDatagrams(); ++n) {
        const QNetworkDatagram d = m_listener->receiveDatagram(MaxDatagram);
        if (!d.isValid()) {
            break;
        }
        if (m_queue.size() < 1024) {
            m_queue.append({d.data(), d.senderAddress()});
        }
    }
    if (!m_queue.isEmpty() && !m_handling) {
        m_handling = true;
        QMetaObject::invokeMethod(this, [this] { handleQueued(); }, Qt::QueuedConnection);
    }
}

void TDockEnumerator::handleQueued()
{
    m_handling = false;
    const Family family = familyOf(m_type);
    while (!m_queue.isEmpty()) {
        auto [bytes, sender] = m_queue.takeFirst();
        bool isV4 = false;
        const quint32 v4 = sender.toIPv4Address(&isV4);
        if (!isV4) {
            continue;
        }
        if (!m_filter.isNull() && QHostAddress(v4) != m_filter) {
            continue;
        }
        const int zero = int(bytes.indexOf('\0'));
        if (zero >= 0) {
            bytes.truncate(zero);
        }
        const QString text = QString::fromLatin1(bytes);
        if (!text.contains(family.text)) {
            continue;
        }
        m_replies.append(text);
        m_addresses.append(QHostAddress(v4).toString());
        if (OnListChanged) {
            OnListChanged(this);
        }
    }
}

} // namespace vx8
