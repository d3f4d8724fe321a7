#include "SimServer.h"

#include "SimBytes.h"
#include "SimRecords.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QUdpSocket>

namespace vx8::sim {

SimServer::SimServer(QObject* parent) : QObject(parent) {}

SimServer::~SimServer()
{
    stop();
    m_docks.clear();
}

bool SimServer::loadScenarioFile(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("cannot read the scenario %1: %2").arg(path, f.errorString());
        }
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error) {
            *error = QStringLiteral("the scenario %1 is not a JSON object: %2 at offset %3")
                         .arg(path, pe.errorString())
                         .arg(pe.offset);
        }
        return false;
    }
    return loadScenario(doc.object(), error);
}

static bool loopbackOrError(const QHostAddress& a, const QString& what, QString* error)
{
    if (isLoopbackV4(a)) {
        return true;
    }
    if (error) {
        *error =
            QStringLiteral("%1 %2 is not a loopback address (127.0.0.0/8); refused").arg(what, a.toString());
    }
    return false;
}

bool SimServer::loadScenario(const QJsonObject& s, QString* error)
{
    stop();
    m_docks.clear();
    m_transcript.clear();
    m_timeFactor = s.value(QStringLiteral("timeFactor")).toDouble(1.0);
    if (m_timeFactor < 0) {
        if (error) {
            *error = QStringLiteral("timeFactor must not be negative");
        }
        return false;
    }
    m_controlPort = quint16(jsonInt(s, QStringLiteral("controlPort"), 5004));
    m_dataPort = quint16(jsonInt(s, QStringLiteral("dataPort"), 5005));
    m_serialBase = quint32(jsonInt(s, QStringLiteral("serialBase"), 10001));
    m_firstAddress =
        QHostAddress(s.value(QStringLiteral("firstAddress")).toString(QStringLiteral("127.0.0.2")));
    if (!loopbackOrError(m_firstAddress, QStringLiteral("firstAddress"), error)) {
        return false;
    }
    const QJsonObject usb = s.value(QStringLiteral("usb")).toObject();
    m_usbVendor = quint16(jsonInt(usb, QStringLiteral("vendorId"), 0x1209));
    m_usbProduct = quint16(jsonInt(usb, QStringLiteral("productId"), 0x7d80));
    const QJsonObject disc = s.value(QStringLiteral("discovery")).toObject();
    m_discoveryEnabled = disc.value(QStringLiteral("enabled")).toBool(true);
    m_discoveryAddress =
        QHostAddress(disc.value(QStringLiteral("address")).toString(QStringLiteral("127.0.0.1")));
    m_discoveryPortWanted = quint16(jsonInt(disc, QStringLiteral("port"), 6462));
    m_discoveryReplyPort = quint16(jsonInt(disc, QStringLiteral("replyPort"), 6461));
    if (m_discoveryEnabled &&
        !loopbackOrError(m_discoveryAddress, QStringLiteral("discovery address"), error)) {
        return false;
    }
    if (s.contains(QStringLiteral("transcript")) &&
        !m_transcript.setFile(s.value(QStringLiteral("transcript")).toString(), error)) {
        return false;
    }

    QJsonArray docks = s.value(QStringLiteral("docks")).toArray();
    const int count = int(jsonInt(s, QStringLiteral("dockCount"), docks.isEmpty() ? 1 : docks.size()));
    while (docks.size() < count) {
        docks.append(QJsonObject{});
    }
    for (int i = 0; i < docks.size(); ++i) {
        const QJsonObject d = docks.at(i).toObject();
        if (d.contains(QStringLiteral("address")) &&
            !loopbackOrError(QHostAddress(d.value(QStringLiteral("address")).toString()),
                             QStringLiteral("dock address"), error)) {
            m_docks.clear();
            return false;
        }
        if (const QString problem = SimDock::checkSetup(d); !problem.isEmpty()) {
            if (error) {
                *error = QStringLiteral("dock %1 of the scenario: %2").arg(i + 1).arg(problem);
            }
            m_docks.clear();
            return false;
        }
        m_docks.push_back(std::make_unique<SimDock>(this, d, i));
        if (!m_docks.back()->isUsb() &&
            !loopbackOrError(m_docks.back()->address(), QStringLiteral("dock address"), error)) {
            m_docks.clear();
            return false;
        }
    }
    return true;
}

QHostAddress SimServer::addressFor(int index) const
{
    // 127.0.0.2, 127.0.0.3, ... skipping the .0 and .255 of every /24.
    quint32 a = m_firstAddress.toIPv4Address();
    for (int i = 0; i < index; ++i) {
        ++a;
        while ((a & 0xFF) == 0 || (a & 0xFF) == 255) {
            ++a;
        }
    }
    return QHostAddress(a);
}

int SimServer::scaled(int ms) const
{
    return int(qMax(0.0, ms * m_timeFactor + 0.5));
}

SimDock* SimServer::dock(int index) const
{
    return index >= 0 && index < int(m_docks.size()) ? m_docks[size_t(index)].get() : nullptr;
}

SimDock* SimServer::dockBySerial(quint32 serial) const
{
    for (const auto& d : m_docks) {
        if (d->serial() == serial) {
            return d.get();
        }
    }
    return nullptr;
}

quint16 SimServer::discoveryPort() const
{
    return m_discovery ? m_discovery->localPort() : m_discoveryPortWanted;
}

bool SimServer::start(QString* error)
{
    for (const auto& d : m_docks) {
        if (!d->start(error)) {
            stop();
            return false;
        }
    }
    if (m_discoveryEnabled) {
        m_discovery = new QUdpSocket(this);
        if (!m_discovery->bind(m_discoveryAddress, m_discoveryPortWanted)) {
            if (error) {
                *error = QStringLiteral("cannot listen for discovery on %1:%2: %3")
                             .arg(m_discoveryAddress.toString())
                             .arg(m_discoveryPortWanted)
                             .arg(m_discovery->errorString());
            }
            stop();
            return false;
        }
        connect(m_discovery, &QUdpSocket::readyRead, this, &SimServer::onDiscovery);
    }
    return true;
}

void SimServer::stop()
{
    for (const auto& d : m_docks) {
        d->stop();
    }
    delete m_discovery;
    m_discovery = nullptr;
}

void SimServer::onDiscovery()
{
    while (m_discovery && m_discovery->hasPendingDatagrams()) {
        QHostAddress from;
        quint16 port = 0;
        QByteArray data(int(qMax<qint64>(0, m_discovery->pendingDatagramSize())), '\0');
        const qint64 n = m_discovery->readDatagram(data.data(), data.size(), &from, &port);
        if (n < 0) {
            continue;
        }
        data.resize(int(n));
        m_transcript.add(0, QStringLiteral("discovery"), QStringLiteral("in"), data);
        if (!isLoopbackV4(from)) {
            m_transcript.note(0, QStringLiteral("discovery"),
                              QStringLiteral("request from %1 ignored").arg(from.toString()));
            continue;
        }
        if (!data.startsWith("ENQ")) {
            continue;
        }
        for (const auto& d : m_docks) {
            d->answerDiscovery(from, m_discoveryReplyPort);
        }
    }
}

} // namespace vx8::sim
