#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QString>

#include <cstdint>

// Small byte helpers of the simulator: the dock's records are big-endian, the instrument's memory
// and logs little-endian. Every writer grows nothing: the caller sizes the array first.
namespace vx8::sim {

inline void putBE16(QByteArray& b, int off, quint32 v)
{
    b[off] = char((v >> 8) & 0xFF);
    b[off + 1] = char(v & 0xFF);
}
inline void putBE32(QByteArray& b, int off, quint32 v)
{
    b[off] = char((v >> 24) & 0xFF);
    b[off + 1] = char((v >> 16) & 0xFF);
    b[off + 2] = char((v >> 8) & 0xFF);
    b[off + 3] = char(v & 0xFF);
}
inline void putLE16(QByteArray& b, int off, quint32 v)
{
    b[off] = char(v & 0xFF);
    b[off + 1] = char((v >> 8) & 0xFF);
}
inline void putLE32(QByteArray& b, int off, quint32 v)
{
    b[off] = char(v & 0xFF);
    b[off + 1] = char((v >> 8) & 0xFF);
    b[off + 2] = char((v >> 16) & 0xFF);
    b[off + 3] = char((v >> 24) & 0xFF);
}
inline quint32 getBE16(const QByteArray& b, int off)
{
    return (quint32(quint8(b[off])) << 8) | quint8(b[off + 1]);
}
inline quint32 getBE32(const QByteArray& b, int off)
{
    return (quint32(quint8(b[off])) << 24) | (quint32(quint8(b[off + 1])) << 16) |
           (quint32(quint8(b[off + 2])) << 8) | quint8(b[off + 3]);
}
inline quint32 getLE16(const QByteArray& b, int off)
{
    return quint8(b[off]) | (quint32(quint8(b[off + 1])) << 8);
}
inline quint32 getLE32(const QByteArray& b, int off)
{
    return quint8(b[off]) | (quint32(quint8(b[off + 1])) << 8) | (quint32(quint8(b[off + 2])) << 16) |
           (quint32(quint8(b[off + 3])) << 24);
}
// A fixed-width single-byte text field: Latin-1, cut to width, the rest filled with `pad`.
inline void putText(QByteArray& b, int off, int width, const QString& text, char pad = 0)
{
    const QByteArray t = text.toLatin1().left(width);
    for (int i = 0; i < width; ++i) {
        b[off + i] = i < t.size() ? t[i] : pad;
    }
}

// Seconds since 2000-01-01 00:00:00 of a calendar date-time (its fields taken as they stand).
inline qint64 secondsSince2000(const QDateTime& dt)
{
    const QDateTime base(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime asUtc(dt.date(), dt.time(), Qt::UTC);
    return base.secsTo(asUtc);
}
inline QDateTime fromSeconds2000(qint64 s)
{
    return QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC).addSecs(s);
}

// The simulator serves and sends only inside 127.0.0.0/8.
inline bool isLoopbackV4(const QHostAddress& a)
{
    bool ok = false;
    const quint32 v = a.toIPv4Address(&ok);
    return ok && (v >> 24) == 127;
}

QString hexOf(const QByteArray& bytes);
QString printable(const QByteArray& bytes);

} // namespace vx8::sim
