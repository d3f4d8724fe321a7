#include "SimInstrument.h"

#include "SimBytes.h"

#include <QDateTime>
#include <QJsonArray>

namespace vx8::sim {

SimInstrument::SimInstrument(const QJsonObject& setup)
    : m_setup(setup), m_image(buildInstrumentImage(setup)), m_events(buildEventRecords(setup)),
      m_firmware(kFirmwareSize, '\0'), m_pages(kFirmwareSize / 256)
{
    m_sessions = buildSessions(setup, m_image);
    const int fw = firmwareWord();
    m_flashVersion = setup.value(QStringLiteral("flashVersion"))
                         .toString(QStringLiteral("%1.%2").arg(fw / 100).arg(fw % 100, 2, 10, QChar('0')));
    m_whoText =
        setup.value(QStringLiteral("whoText")).toString(QString::number(kInstrumentTypeCode)).toLatin1();
    m_dataLogger = setup.value(QStringLiteral("dataLogger")).toBool(true);
    const QJsonArray gas = setup.value(QStringLiteral("gasReadings")).toArray();
    for (int s = 0; s < kSlotCount; ++s) {
        const int t = sensorType(s);
        const int fresh = (t >= 10 && t <= 19) ? 209 : 0;
        m_gas.append(s < gas.size() ? gas.at(s).toInt() : fresh);
    }
    m_clockBase = jsonTime(setup, QStringLiteral("clock"), secondsSince2000(QDateTime::currentDateTime()));
    m_clockRun.start();
}

int SimInstrument::commandLength(const QByteArray& buf)
{
    if (buf.size() < 3) {
        return 0;
    }
    const QByteArray m = buf.left(3);
    int n = -1;
    if (m == "ENQ" || m == "WHO" || m == "VFL" || m == "CLD" || m == "CLE" || m == "CKE" || m == "GGR" ||
        m == "RUE" || m == "RCS" || m == "GST" || m == "RSC" || m == "PFM") {
        n = 4;
    } else if (m == "CKD" || m == "RAC" || m == "RAE") {
        n = 5;
    } else if (m == "DED" || m == "RSS") {
        n = 6;
    } else if (m == "DSD" || m == "STC") {
        n = 8;
    } else if (m == "WAE") {
        n = 5 + kSlotSize;
    } else if (m == "WUE") {
        n = 4 + kUnitSize;
    } else if (m == "WCS") {
        n = 4 + kScreensSize;
    } else if (m == "WEP") {
        n = 4 + 2 + 258;
    }
    if (n < 0) {
        return -1;
    }
    return buf.size() >= n ? n : 0;
}

void SimInstrument::setImage(const QByteArray& image)
{
    if (image.size() == kImageSize) {
        m_image = image;
    }
}

quint32 SimInstrument::serial() const
{
    return getLE32(m_image, 4);
}
quint32 SimInstrument::pin() const
{
    return getLE16(m_image, kUnitPinOffset);
}
int SimInstrument::firmwareWord() const
{
    return int(getLE16(m_image, 8));
}
int SimInstrument::sensorType(int slot) const
{
    return quint8(m_image[kUnitSize + kSlotSize * slot + 3]);
}
bool SimInstrument::sensorPresent(int slot) const
{
    const int t = sensorType(slot);
    return t != 0 && t != 254;
}

qint64 SimInstrument::clockSeconds() const
{
    return m_clockBase + m_clockRun.elapsed() / 1000;
}
void SimInstrument::setClockSeconds(qint64 s)
{
    m_clockBase = s;
    m_clockRun.restart();
}

void SimInstrument::recordTest(bool calibration, bool passed, qint64 when)
{
    if (!passed) {
        return;
    }
    const quint32 t = quint32(when);
    putLE32(m_image, 40, t); // last bump
    if (calibration) {
        putLE32(m_image, 36, t); // last full calibration
    }
    m_image[3] = char(quint8(m_image[3]) & ~0x07);
    for (int s = 0; s < kSlotCount; ++s) {
        if (!sensorPresent(s)) {
            continue;
        }
        const int base = kUnitSize + kSlotSize * s;
        putLE32(m_image, base + 136, t);
        if (calibration) {
            putLE32(m_image, base + 8, t);
            putLE32(m_image, base + 12, t);
        }
        m_image[base + 2] = char(quint8(m_image[base + 2]) & ~0x07);
    }
}

QByteArray SimInstrument::ack(char index, const QByteArray& data) const
{
    return QByteArray("ACK") + index + data;
}
QByteArray SimInstrument::nak(char index) const
{
    return QByteArray("NAK") + index;
}
QByteArray SimInstrument::eck(char index) const
{
    return QByteArray("ECK") + index;
}

QList<int> SimInstrument::sessionsMatching(bool alarmsOnly) const
{
    QList<int> out;
    for (int i = 0; i < m_sessions.size(); ++i) {
        if (!alarmsOnly || quint8(m_sessions[i].header[250]) != 0) {
            out.append(i);
        }
    }
    return out;
}

SimInstrument::Reply SimInstrument::handle(const QByteArray& c)
{
    Reply r;
    if (c.size() < 4) {
        return r;
    }
    const QByteArray m = c.left(3);
    const char ix = c[3];
    auto arg = [&](int i) { return int(quint8(c[4 + i])); };

    if (m == "ENQ") {
        r.bytes = ack(ix);
    } else if (m == "WHO") {
        r.bytes = ack(ix, m_whoText);
    } else if (m == "VFL") {
        r.bytes = ack(ix, m_flashVersion.toLatin1());
    } else if (m == "CLD") {
        m_sessions.clear();
        r.bytes = ack(ix);
    } else if (m == "CLE") {
        m_events.clear();
        r.bytes = ack(ix);
    } else if (m == "CKE") {
        r.bytes = ack(ix, QByteArray(1, char(qMin(255, int(m_events.size())))));
    } else if (m == "DED") {
        const int first = arg(0);
        const int per = arg(1);
        const int total = qMin(255, int(m_events.size()));
        if (first < 1 || first > total) {
            r.bytes = eck(ix);
        } else {
            const int n = qMin(per, total - first + 1);
            QByteArray data;
            data += char(first);
            data += char(n);
            for (int i = 0; i < n; ++i) {
                data += m_events[first - 1 + i];
            }
            r.bytes = ack(ix, data);
        }
    } else if (m == "CKD") {
        const bool alarmsOnly = arg(0) != 0;
        QByteArray data;
        data += char(m_dataLogger ? 1 : 0);
        data += char(qMin(255, int(sessionsMatching(alarmsOnly).size())));
        r.bytes = ack(ix, data);
    } else if (m == "RSS") {
        const int wanted = arg(0);
        const bool alarmsOnly = arg(1) != 0;
        r.bytes = eck(ix);
        for (int i : sessionsMatching(alarmsOnly)) {
            if (m_sessions[i].number >= wanted) {
                r.bytes = ack(ix, QByteArray(1, char(m_sessions[i].number)) + m_sessions[i].header);
                break;
            }
        }
    } else if (m == "DSD") {
        const int number = arg(0);
        const int first = (arg(1) << 8) | arg(2);
        const int per = arg(3);
        r.bytes = eck(ix);
        for (const SimSession& s : m_sessions) {
            if (s.number != number) {
                continue;
            }
            if (first >= 1 && first <= s.records.size() && per > 0) {
                const int n = qMin(per, int(s.records.size()) - first + 1);
                QByteArray data;
                data += char(first >> 8);
                data += char(first & 0xFF);
                data += char(n);
                for (int i = 0; i < n; ++i) {
                    data += s.records[first - 1 + i];
                }
                r.bytes = ack(ix, data);
            }
            break;
        }
    } else if (m == "RAC") {
        QByteArray data;
        if (c[4] == 'I') {
            data.resize(10);
            const QJsonArray counts = m_setup.value(QStringLiteral("unitCounts")).toArray();
            const int defaults[5] = {512, 300, 780, 450, 610};
            for (int i = 0; i < 5; ++i) {
                putBE16(data, 2 * i, quint32(counts.size() > i ? counts.at(i).toInt() : defaults[i]));
            }
            r.bytes = ack(ix, data);
        } else if (c[4] == 'S') {
            data.resize(14);
            const QJsonArray counts = m_setup.value(QStringLiteral("sensorCounts")).toArray();
            for (int s = 0; s < kSlotCount; ++s) {
                putBE16(data, 2 * s,
                        quint32(qint16(counts.size() > s ? counts.at(s).toInt()
                                                         : (sensorPresent(s) ? 1000 + s : 0))));
            }
            r.bytes = ack(ix, data);
        } else {
            r.bytes = nak(ix);
        }
    } else if (m == "GGR") {
        QByteArray data(15, '\0');
        data[0] = 'R';
        for (int s = 0; s < kSlotCount; ++s) {
            putBE16(data, 1 + 2 * s, quint32(qint16(m_gas[s])));
        }
        r.bytes = ack(ix, data);
    } else if (m == "RAE") {
        const int slot = arg(0);
        r.bytes = slot < kSlotCount ? ack(ix, m_image.mid(kUnitSize + kSlotSize * slot, kSlotSize)) : nak(ix);
    } else if (m == "WAE") {
        const int slot = arg(0);
        if (slot < kSlotCount) {
            m_image.replace(kUnitSize + kSlotSize * slot, kSlotSize, c.mid(5, kSlotSize));
            r.bytes = ack(ix);
        } else {
            r.bytes = nak(ix);
        }
    } else if (m == "RUE") {
        r.bytes = ack(ix, m_image.left(kUnitSize));
    } else if (m == "WUE") {
        m_image.replace(0, kUnitSize, c.mid(4, kUnitSize));
        r.bytes = ack(ix);
    } else if (m == "RCS") {
        r.bytes = ack(ix, m_image.mid(kScreensOffset, kScreensSize));
    } else if (m == "WCS") {
        m_image.replace(kScreensOffset, kScreensSize, c.mid(4, kScreensSize));
        r.bytes = ack(ix);
    } else if (m == "GST") {
        QByteArray data(kSlotCount, '\0');
        for (int s = 0; s < kSlotCount; ++s) {
            data[s] = char(sensorType(s));
        }
        r.bytes = ack(ix, data);
    } else if (m == "RSC") {
        QByteArray data(4, '\0');
        putBE32(data, 0, quint32(clockSeconds()));
        r.bytes = ack(ix, data);
    } else if (m == "STC") {
        setClockSeconds(getBE32(c, 4));
        r.bytes = ack(ix);
    } else if (m == "WEP") {
        const int page = int(getBE16(c, 4));
        const QByteArray block = c.mid(6, 256);
        quint32 sum = 0;
        for (char b : block) {
            sum += quint8(b);
        }
        if (page < 0 || page >= m_pages.size() || (sum & 0xFFFF) != getBE16(c, 6 + 256)) {
            r.bytes = nak(ix);
        } else {
            m_firmware.replace(page * 256, 256, block);
            m_pages.setBit(page);
            QByteArray echo(2, '\0');
            putBE16(echo, 0, quint32(page));
            r.bytes = ack(ix, echo);
        }
    } else if (m == "PFM") {
        // Programs only a complete image made for this model.
        if (m_pages.count(true) == m_pages.size() && quint8(m_firmware[262105]) == kInstrumentTypeCode) {
            r.bytes = ack(ix);
            r.restart = true;
            m_flashVersion = QString::fromLatin1(m_firmware.mid(262100, 4));
            bool ok = false;
            const double v = m_flashVersion.toDouble(&ok);
            if (ok) {
                putLE16(m_image, 8, quint32(qRound(v * 100)));
            }
            m_pages.fill(false);
        } else {
            r.bytes = nak(ix);
        }
    } else {
        r.bytes = nak(ix);
    }
    return r;
}

} // namespace vx8::sim
