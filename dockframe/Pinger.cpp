#include "Pinger.h"

#include "common/Trace.h"

#include <QCoro/QCoroSignal>
#include <QDeadlineTimer>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace vx8 {

namespace {
quint16 checksum(const unsigned char* data, int len)
{
    quint32 sum = 0;
    for (int i = 0; i + 1 < len; i += 2) {
        sum += quint32(data[i] << 8 | data[i + 1]);
    }
    if (len & 1) {
        sum += quint32(data[len - 1] << 8);
    }
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return quint16(~sum);
}

struct FdCloser
{
    int fd;
    ~FdCloser()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};
} // namespace

Pinger::Pinger(QObject* parent) : QObject(parent) {}
Pinger::~Pinger() = default;

int Pinger::openSocket(bool* raw)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    *raw = false;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        *raw = true;
    }
    return fd;
}

QCoro::Task<Pinger::Status> Pinger::Ping(QString address, int dataSize, int timeoutMs)
{
    QPointer<Pinger> self(this);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.trimmed().toLatin1().constData(), &to.sin_addr) != 1) {
        m_error = QStringLiteral("not an IPv4 address: ") + address;
        co_return Status::Failed;
    }
    bool raw = false;
    FdCloser sock{openSocket(&raw)};
    if (sock.fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        co_return Status::Failed;
    }
    dataSize = qBound(0, dataSize, 1024);
    const quint16 id = quint16(::getpid() ^ quintptr(this));
    const quint16 seq = ++m_sequence;
    QByteArray packet(8 + dataSize, '\0');
    auto* p = reinterpret_cast<unsigned char*>(packet.data());
    p[0] = ICMP_ECHO;
    p[4] = id >> 8;
    p[5] = id & 0xFF;
    p[6] = seq >> 8;
    p[7] = seq & 0xFF;
    for (int i = 0; i < dataSize; ++i) {
        p[8 + i] = quint8('a' + i % 23);
    }
    const quint16 sum = checksum(p, packet.size());
    p[2] = sum >> 8;
    p[3] = sum & 0xFF;
    if (::sendto(sock.fd, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        co_return errno == ENETUNREACH || errno == EHOSTUNREACH ? Status::Unreachable : Status::Failed;
    }

    QDeadlineTimer deadline(timeoutMs);
    QSocketNotifier notifier(sock.fd, QSocketNotifier::Read);
    // One timer wakes the wait: at the deadline, or at once when the socket has data.
    QTimer waker;
    waker.setSingleShot(true);
    QObject::connect(&notifier, &QSocketNotifier::activated, &waker, [&waker]() { waker.start(0); });
    // A Pinger that goes (with its owner) ends the wait at once; the result is then Failed.
    QObject::connect(this, &QObject::destroyed, &waker, [&waker]() { waker.start(0); });
    while (true) {
        unsigned char buf[2048];
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n =
            ::recvfrom(sock.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n > 0 && from.sin_addr.s_addr == to.sin_addr.s_addr) {
            // A raw socket hands over the IP header too; a datagram socket only the ICMP message
            // (and rewrites the identifier, so only the sequence is compared there).
            int off = 0;
            if (raw) {
                off = (buf[0] & 0x0F) * 4;
            }
            if (n >= off + 8) {
                const unsigned char* icmp = buf + off;
                const quint16 rid = quint16(icmp[4] << 8 | icmp[5]);
                const quint16 rseq = quint16(icmp[6] << 8 | icmp[7]);
                if (rseq == seq && (!raw || rid == id)) {
                    if (icmp[0] == ICMP_ECHOREPLY) {
                        co_return Status::Success;
                    }
                    if (icmp[0] == ICMP_DEST_UNREACH) {
                        co_return Status::Unreachable;
                    }
                }
            }
            continue; // not ours: read on
        }
        if (n > 0) {
            continue;
        }
        if (deadline.hasExpired()) {
            co_return Status::TimedOut;
        }
        waker.start(int(qMax<qint64>(1, deadline.remainingTime())));
        co_await qCoro(&waker, &QTimer::timeout);
        if (!self) {
            co_return Status::Failed;
        }
    }
}

} // namespace vx8
