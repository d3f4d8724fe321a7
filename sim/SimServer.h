#pragma once

#include "SimDock.h"
#include "SimTranscript.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>

#include <memory>
#include <vector>

class QUdpSocket;

// The dock and instrument simulator, usable in-process by tests.
//
//   vx8::sim::SimServer sim;
//   QString error;
//   QJsonObject scenario{{"controlPort", 0}, {"dataPort", 0},          // 0: any free port
//                        {"docks", QJsonArray{QJsonObject{{"serial", 10001}}}}};
//   if (!sim.loadScenario(scenario, &error) || !sim.start(&error)) QFAIL(qPrintable(error));
//   SimDock* dock = sim.dock(0);       // or sim.dockBySerial(10001)
//   dock->address(), dock->controlPort(), dock->dataPort()   // where the application connects
//   dock->configuration()              // the 504 bytes REE returns now
//   dock->storedRecords(), dock->lastTestRecord()            // 276-byte records
//   dock->dockInstrument(QJsonObject{{"serial", 123456}});   // events A, 4, 1 once the dock is slaved
//   dock->instrument()->image()        // the instrument's 2568-byte memory image
//   dock->removeInstrument(); dock->addFault({{"command","REE"},{"kind","nak"}}); dock->vanish();
//   sim.transcript().entriesFor(10001, "control", "in")      // what the application sent
//   dock->sendEvent('7', QByteArray(1, char(6)));            // any event, at once
//   dock->usbDevice()                  // "transport": "usb": the VirtualUsbDevice on VirtualUsbBus
//
// Tests: use free ports ("controlPort": 0, "dataPort": 0) and "discovery": {"port": 0} or
// {"enabled": false}, so that tests running side by side do not compete for 5004/5005/6462.
//
// Scenario (JSON; every key optional):
//   timeFactor      multiplies every dock-side duration (0.01 runs a 20 s test in 200 ms)
//   controlPort, dataPort   ports of every dock (5004, 5005; 0 = a free port per dock)
//   firstAddress    address of the first dock (127.0.0.2); dock i gets the i-th next address
//   serialBase      serial of the first dock without one (10001); dockCount: docks to create
//   discovery       {"enabled": true, "address": "127.0.0.1", "port": 6462, "replyPort": 6461}
//   usb             {"vendorId": 0x1209, "productId": 0x7d80}
//   transcript      path of a JSON-lines transcript file
//   docks           [dock, ...]; see README.md, section Simulator, for the dock, instrument,
//                   timeline and fault keys.
// Every address must lie in 127.0.0.0/8; start() refuses any other.
namespace vx8::sim {

class SimServer : public QObject
{
    Q_OBJECT
public:
    explicit SimServer(QObject* parent = nullptr);
    ~SimServer() override;

    bool loadScenarioFile(const QString& path, QString* error);
    bool loadScenario(const QJsonObject& scenario, QString* error);
    bool start(QString* error);
    void stop();

    int dockCount() const { return int(m_docks.size()); }
    SimDock* dock(int index) const;
    SimDock* dockBySerial(quint32 serial) const;
    SimTranscript& transcript() { return m_transcript; }

    double timeFactor() const { return m_timeFactor; }
    int scaled(int ms) const;
    quint16 controlPort() const { return m_controlPort; }
    quint16 dataPort() const { return m_dataPort; }
    quint32 serialBase() const { return m_serialBase; }
    QHostAddress addressFor(int index) const;
    quint16 usbVendorId() const { return m_usbVendor; }
    quint16 usbProductId() const { return m_usbProduct; }
    quint16 discoveryPort() const;
    QHostAddress discoveryAddress() const { return m_discoveryAddress; }

private:
    void onDiscovery();

    SimTranscript m_transcript;
    std::vector<std::unique_ptr<SimDock>> m_docks;
    double m_timeFactor = 1.0;
    quint16 m_controlPort = 5004, m_dataPort = 5005;
    quint32 m_serialBase = 10001;
    QHostAddress m_firstAddress{QStringLiteral("127.0.0.2")};
    quint16 m_usbVendor = 0x1209, m_usbProduct = 0x7d80;
    bool m_discoveryEnabled = true;
    QHostAddress m_discoveryAddress{QStringLiteral("127.0.0.1")};
    quint16 m_discoveryPortWanted = 6462, m_discoveryReplyPort = 6461;
    QUdpSocket* m_discovery = nullptr;
};

} // namespace vx8::sim
