#pragma once

#include <QCoro/QCoroTask>
#include <QHostAddress>
#include <QObject>
#include <QString>

namespace vx8 {

// ICMP echo ("ping") of one IPv4 address: an ICMP datagram socket where the system allows one to
// this user, else a raw socket where the process may open one. One echo at a time per Pinger; the
// reply or the time-out ends the wait. Only the address given is ever sent to.
class Pinger : public QObject
{
    Q_OBJECT
public:
    enum class Status { Success = 1, TimedOut = 2, Unreachable = 3, Failed = 4 };

    explicit Pinger(QObject* parent = nullptr);
    ~Pinger() override;

    // Sends one echo request with dataSize bytes of data and waits up to timeoutMs for the reply.
    QCoro::Task<Status> Ping(QString address, int dataSize = 64, int timeoutMs = 2000);

    // The reason of the last Failed result.
    QString LastError() const { return m_error; }

private:
    int openSocket(bool* raw);
    QString m_error;
    quint16 m_sequence = 0;
};

} // namespace vx8
