#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class QUdpSocket;

namespace vx8 {

class Prompter;

// Network dock discovery: one round sends "ENQ" to the broadcast address on the family's broadcast
// port and, for 10 s, collects the answers that arrive on the family's listening port and contain
// the family text. Each accepted answer is appended to Replies (the text) and Addresses (the
// sender's dotted address) and announced with OnListChanged.
//
// The broadcast address (default 255.255.255.255) and the ports are settings: the registry values
// "DiscoveryBroadcastAddress", "DiscoveryListenPort" and "DiscoveryBroadcastPort" of the program key
// (the ports apply to the tpVX8 family, the one this program uses), or the setters below.
class TDockEnumerator : public QObject
{
    Q_OBJECT
public:
    enum class TEnumDockType { tpVexaExpress = 0, tpQU_VexaExpress = 1, tpVX8 = 2, tpORX = 3 };

    struct Family
    {
        quint16 listenPort;
        quint16 broadcastPort;
        QString text;
    };
    static Family familyOf(TEnumDockType type);

    static constexpr int RoundMs = 10000;
    static constexpr int MaxDatagram = 1024;

    // prompter: where "Could not start dock auto detection, check your network!" goes when
    // OnEnumerationStartFailed is not assigned.
    explicit TDockEnumerator(Prompter* prompter, QObject* parent = nullptr);
    ~TDockEnumerator() override;

    TEnumDockType DockType() const { return m_type; }
    void SetDockType(TEnumDockType type) { m_type = type; }

    void SetBroadcastAddress(const QHostAddress& address) { m_broadcast = address; }
    QHostAddress BroadcastAddress() const { return m_broadcast; }
    void SetListenAddress(const QHostAddress& address) { m_listenAddress = address; }
    // 0 keeps the family's port.
    void SetPorts(quint16 listenPort, quint16 broadcastPort);
    quint16 ListenPort() const;
    quint16 BroadcastPort() const;
    void SetRoundTime(int ms) { m_roundMs = ms; }
    // Only answers from this sender are taken; a null address (the default) takes all.
    void SetSenderFilter(const QHostAddress& address) { m_filter = address; }

    // One discovery round (the previous one, if still open, ends first).
    void Enumerate();
    bool Listening() const;

    const QStringList& Replies() const { return m_replies; }
    const QStringList& Addresses() const { return m_addresses; }

    std::function<void(QObject* sender)> OnListChanged;
    std::function<void(QObject* sender)> OnEnumerationStartFailed;

private:
    void startFailed(const QString& why);
    void readPending();
    void handleQueued();
    void endRound();

    Prompter* m_prompter;
    TEnumDockType m_type = TEnumDockType::tpVX8;
    QHostAddress m_broadcast{QHostAddress::Broadcast};
    QHostAddress m_listenAddress{QHostAddress::AnyIPv4};
    QHostAddress m_filter;
    quint16 m_listenPort = 0, m_broadcastPort = 0;
    int m_roundMs = RoundMs;
    QUdpSocket* m_listener = nullptr;
    QTimer m_timer;
    QList<QPair<QByteArray, QHostAddress>> m_queue;
    bool m_handling = false;
    QStringList m_replies, m_addresses;
};

} // namespace vx8
