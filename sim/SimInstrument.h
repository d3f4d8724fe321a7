#pragma once

#include "SimRecords.h"

#include <QBitArray>
#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QString>

// The emulated Kor7 instrument behind a dock's user-data channel: pure request-to-reply logic,
// no event loop. Every command is three letters, the message index, then binary arguments; every
// reply is "ACK", "NAK" or "ECK", the index of the command it answers, then the data.
namespace vx8::sim {

class SimInstrument
{
public:
    explicit SimInstrument(const QJsonObject& setup);

    // Length of the instrument command at the start of buf: > 0 complete, 0 more bytes needed,
    // -1 not a command this instrument knows.
    static int commandLength(const QByteArray& buf);

    struct Reply
    {
        QByteArray bytes;     // empty: no reply
        bool restart = false; // the instrument restarts with new firmware after this reply
    };
    Reply handle(const QByteArray& command);

    const QJsonObject& setup() const { return m_setup; }
    QByteArray image() const { return m_image; }
    void setImage(const QByteArray& image);
    QList<QByteArray> events() const { return m_events; }
    QList<SimSession> sessions() const { return m_sessions; }
    QString flashVersion() const { return m_flashVersion; }
    quint32 serial() const;
    quint32 pin() const;
    int firmwareWord() const;
    int sensorType(int slot) const;
    bool sensorPresent(int slot) const;
    qint64 clockSeconds() const;
    void setClockSeconds(qint64 s);
    // The dock's own test updates what a test changes in the instrument's memory.
    void recordTest(bool calibration, bool passed, qint64 when);
    int pagesReceived() const { return int(m_pages.count(true)); }
    QByteArray firmwareBuffer() const { return m_firmware; }

private:
    QByteArray ack(char index, const QByteArray& data = {}) const;
    QByteArray nak(char index) const;
    QByteArray eck(char index) const;
    QList<int> sessionsMatching(bool alarmsOnly) const;

    QJsonObject m_setup;
    QByteArray m_image;
    QList<QByteArray> m_events;
    QList<SimSession> m_sessions;
    QString m_flashVersion;
    QByteArray m_whoText;
    bool m_dataLogger = true;
    QList<int> m_gas;
    qint64 m_clockBase = 0;
    QElapsedTimer m_clockRun;
    QByteArray m_firmware;
    QBitArray m_pages;
};

} // namespace vx8::sim
