#include "instrument/Kor7Codec.h"

#include <QLocale>
#include <QTimeZone>

#include <limits>

namespace vx8::kor7 {

namespace {

QByteArray command(const char* letters, const QByteArray& args = {})
{
    QByteArray m(letters);
    m.append(IndexPlaceholder);
    m.append(args);
    return m;
}

char byteOf(int v)
{
    return static_cast<char>(static_cast<quint8>(v));
}

} // namespace

QByteArray withIndex(QByteArray message, char index)
{
    if (message.size() > IndexPosition)
        message[IndexPosition] = index;
    return message;
}

char nextIndex(char index)
{
    if (index < '0' || index >= '9')
        return '0';
    return static_cast<char>(index + 1);
}

QByteArray requestEnq()
{
    return command("ENQ");
}
QByteArray requestWho()
{
    return command("WHO");
}
QByteArray requestFlashVersion()
{
    return command("VFL");
}
QByteArray requestClearDatalogger()
{
    return command("CLD");
}
QByteArray requestClearEventLogger()
{
    return command("CLE");
}
QByteArray requestEventCount()
{
    return command("CKE");
}

QByteArray requestEvents(quint8 first, quint8 count)
{
    return command("DED", QByteArray() + byteOf(first) + byteOf(count));
}

QByteArray requestSessionCount(quint8 alarmsOnly)
{
    return command("CKD", QByteArray(1, byteOf(alarmsOnly)));
}

QByteArray requestSession(quint8 session, quint8 alarmsOnly)
{
    return command("RSS", QByteArray() + byteOf(session) + byteOf(alarmsOnly));
}

QByteArray requestRecords(quint8 sessionNumber, quint16 firstRecord, quint8 count)
{
    return command("DSD", QByteArray() + byteOf(sessionNumber) + byteOf(firstRecord >> 8) +
                              byteOf(firstRecord & 0xFF) + byteOf(count));
}

QByteArray requestInstrumentCounts()
{
    return command("RAC", "I");
}
QByteArray requestSensorCounts()
{
    return command("RAC", "S");
}
QByteArray requestGasReading()
{
    return command("GGR");
}
QByteArray requestReadSensorSlot(quint8 slot)
{
    return command("RAE", QByteArray(1, byteOf(slot)));
}

QByteArray requestWriteSensorSlot(quint8 slot, const QByteArray& slotBytes)
{
    if (slotBytes.size() != SensorSlotSize)
        return {};
    return command("WAE", QByteArray(1, byteOf(slot)) + slotBytes);
}

QByteArray requestReadUnitMemory()
{
    return command("RUE");
}

QByteArray requestWriteUnitMemory(const QByteArray& unitBytes)
{
    if (unitBytes.size() != UnitMemorySize)
        return {};
    return command("WUE", unitBytes);
}

QByteArray requestReadScreens()
{
    return command("RCS");
}

QByteArray requestWriteScreens(const QByteArray& screenBytes)
{
    if (screenBytes.size() != ScreensSize)
        return {};
    return command("WCS", screenBytes);
}

QByteArray requestSensorTable()
{
    return command("GST");
}
QByteArray requestReadClock()
{
    return command("RSC");
}

QByteArray requestSetClock(quint32 seconds)
{
    return command("STC", QByteArray() + byteOf(seconds >> 24) + byteOf(seconds >> 16) +
                              byteOf(seconds >> 8) + byteOf(seconds));
}

QByteArray requestWritePage(quint16 page, const QByteArray& block)
{
    if (block.size() != FlashBlockSize || page >= FlashPageCount)
        return {};
    return command("WEP", QByteArray() + byteOf(page >> 8) + byteOf(page & 0xFF) + block);
}

QByteArray requestStartFlash()
{
    return command("PFM");
}

// ---- Replies ---------------------------------------------------------------------------------

QString replyStatusName(ReplyStatus s)
{
    switch (s) {
    case ReplyStatus::Ok:
        return QStringLiteral("Ok");
    case ReplyStatus::Nak:
        return QStringLiteral("Nak");
    case ReplyStatus::Eck:
        return QStringLiteral("Eck");
    case ReplyStatus::Short:
        return QStringLiteral("Short");
    case ReplyStatus::WrongIndex:
        return QStringLiteral("WrongIndex");
    case ReplyStatus::Invalid:
        return QStringLiteral("Invalid");
    }
    return {};
}

Reply checkReply(const QByteArray& reply, char index, int need, int maxLength)
{
    Reply r;
    const int p = reply.indexOf("ACK");
    if (p < 0) {
        // A refusal or an end marker; followed by an index, that index must be ours.
        for (auto [marker, status] :
             {std::pair{"ECK", ReplyStatus::Eck}, std::pair{"NAK", ReplyStatus::Nak}}) {
            const int m = reply.indexOf(marker);
            if (m >= 0) {
                r.status = (index != AnyIndex && m + 3 < reply.size() && reply[m + 3] != index)
                               ? ReplyStatus::WrongIndex
                               : status;
                return r;
            }
        }
        // The first bytes of a reply whose rest is still to come.
        const bool beginning = !reply.isEmpty() && reply.size() <= 2 &&
                               (QByteArray("ACK").startsWith(reply) || QByteArray("NAK").startsWith(reply) ||
                                QByteArray("ECK").startsWith(reply));
        r.status = beginning ? ReplyStatus::Short : ReplyStatus::Invalid;
        return r;
    }
    r.ackPos = p;
    if (reply.size() < p + 4) {
        r.status = ReplyStatus::Short;
        return r;
    }
    if (index != AnyIndex && reply[p + 3] != index) {
        r.status = ReplyStatus::WrongIndex;
        return r;
    }
    if (maxLength >= 0 && reply.size() > maxLength) {
        r.status = ReplyStatus::Invalid;
        return r;
    }
    if (reply.size() < p + 4 + need) {
        r.status = ReplyStatus::Short;
        return r;
    }
    r.status = ReplyStatus::Ok;
    r.data = reply.mid(p + 4);
    return r;
}

Reply decodeAck(const QByteArray& reply, char index)
{
    return checkReply(reply, index, 0);
}

WhoReply decodeWho(const QByteArray& reply, char index)
{
    WhoReply w;
    static_cast<Reply&>(w) = checkReply(reply, index, 2);
    // Only the data bytes are looked at: the index or a stray byte before "ACK" must not match.
    if (w.ok())
        w.typeMatches = w.data.contains(InstrumentTypeText);
    return w;
}

FlashVersionReply decodeFlashVersion(const QByteArray& reply, char index)
{
    FlashVersionReply v;
    static_cast<Reply&>(v) = checkReply(reply, index, 1);
    if (v.ok()) {
        QByteArray text = v.data;
        while (!text.isEmpty() &&
               (text.endsWith('\0') || text.endsWith(' ') || text.endsWith('\r') || text.endsWith('\n')))
            text.chop(1);
        v.version = QString::fromLatin1(text);
    }
    return v;
}

EventCountReply decodeEventCount(const QByteArray& reply, char index)
{
    EventCountReply e;
    static_cast<Reply&>(e) = checkReply(reply, index, 1, 5);
    if (e.ok())
        e.count = static_cast<quint8>(e.data[0]);
    return e;
}

SessionCountReply decodeSessionCount(const QByteArray& reply, char index)
{
    SessionCountReply s;
    static_cast<Reply&>(s) = checkReply(reply, index, 2, 6);
    if (s.ok()) {
        s.dataLoggerFlag = static_cast<quint8>(s.data[0]);
        s.count = static_cast<quint8>(s.data[1]);
    }
    return s;
}

InstrumentCountsReply decodeInstrumentCounts(const QByteArray& reply, char index)
{
    InstrumentCountsReply c;
    static_cast<Reply&>(c) = checkReply(reply, index, 10);
    if (c.ok()) {
        c.batteryType = be16(c.data, 0);
        c.fotoSensor = be16(c.data, 2);
        c.battery = be16(c.data, 4);
        c.pump = be16(c.data, 6);
        c.temperature = be16(c.data, 8);
    }
    return c;
}

SevenValuesReply decodeSensorCounts(const QByteArray& reply, char index)
{
    SevenValuesReply c;
    static_cast<Reply&>(c) = checkReply(reply, index, 14);
    if (c.ok())
        for (int i = 0; i < 7; ++i)
            c.values[i] = be16s(c.data, 2 * i);
    return c;
}

SevenValuesReply decodeGasReading(const QByteArray& reply, char index)
{
    SevenValuesReply g;
    static_cast<Reply&>(g) = checkReply(reply, index, 15);
    // The tag byte decides as soon as it has arrived.
    if (g.status == ReplyStatus::Short && g.ackPos >= 0 && reply.size() > g.ackPos + 4 &&
        reply[g.ackPos + 4] != 'R')
        g.status = ReplyStatus::Invalid;
    if (g.ok()) {
        if (g.data[0] != 'R') {
            g.status = ReplyStatus::Invalid;
            return g;
        }
        for (int i = 0; i < 7; ++i)
            g.values[i] = be16s(g.data, 1 + 2 * i);
    }
    return g;
}

namespace {
Reply fixedBlock(const QByteArray& reply, char index, int size)
{
    Reply r = checkReply(reply, index, size);
    if (r.ok())
        r.data.truncate(size);
    return r;
}
} // namespace

Reply decodeSensorSlot(const QByteArray& reply, char index)
{
    return fixedBlock(reply, index, SensorSlotSize);
}
Reply decodeUnitMemory(const QByteArray& reply, char index)
{
    return fixedBlock(reply, index, UnitMemorySize);
}
Reply decodeScreens(const QByteArray& reply, char index)
{
    return fixedBlock(reply, index, ScreensSize);
}
Reply decodeSensorTable(const QByteArray& reply, char index)
{
    return fixedBlock(reply, index, SensorTableSize);
}

ClockReply decodeClock(const QByteArray& reply, char index)
{
    ClockReply c;
    static_cast<Reply&>(c) = checkReply(reply, index, 4);
    if (c.ok())
        c.seconds = be32(c.data, 0);
    return c;
}

PageEchoReply decodePageEcho(const QByteArray& reply, char index)
{
    PageEchoReply e;
    static_cast<Reply&>(e) = checkReply(reply, index, 2);
    if (e.ok())
        e.page = be16(e.data, 0);
    return e;
}

EventPacketReply decodeEventPacket(const QByteArray& reply, char index)
{
    EventPacketReply e;
    static_cast<Reply&>(e) = checkReply(reply, index, 2);
    if (!e.ok())
        return e;
    e.first = static_cast<quint8>(e.data[0]);
    const int count = static_cast<quint8>(e.data[1]);
    if (e.data.size() < 2 + count * EventRecordSize) {
        e.status = ReplyStatus::Short;
        return e;
    }
    for (int i = 0; i < count; ++i)
        e.events.append(e.data.mid(2 + i * EventRecordSize, EventRecordSize));
    return e;
}

SessionHeaderReply decodeSessionHeader(const QByteArray& reply, char index)
{
    SessionHeaderReply s;
    static_cast<Reply&>(s) = checkReply(reply, index, 1 + SessionHeaderSize);
    if (s.ok()) {
        s.sessionNumber = static_cast<quint8>(s.data[0]);
        s.header = s.data.mid(1, SessionHeaderSize);
    }
    return s;
}

RecordPacketReply decodeRecordPacket(const QByteArray& reply, char index, int sensors)
{
    RecordPacketReply r;
    static_cast<Reply&>(r) = checkReply(reply, index, 3);
    if (!r.ok())
        return r;
    if (sensors < 0 || sensors > MaxRecordSensors) {
        r.status = ReplyStatus::Invalid;
        return r;
    }
    r.firstRecord = be16(r.data, 0);
    r.announced = static_cast<quint8>(r.data[2]);
    const int size = dataLoggerRecordSize(sensors);
    for (int i = 0; i < r.announced; ++i) {
        const int at = 3 + i * size;
        if (at + size > r.data.size()) {
            r.status = ReplyStatus::Short;
            break;
        }
        r.records.append(r.data.mid(at, size));
    }
    return r;
}

// ---- Byte order ------------------------------------------------------------------------------

quint16 be16(const QByteArray& b, int at)
{
    return static_cast<quint16>((static_cast<quint8>(b[at]) << 8) | static_cast<quint8>(b[at + 1]));
}
qint16 be16s(const QByteArray& b, int at)
{
    return static_cast<qint16>(be16(b, at));
}
quint32 be32(const QByteArray& b, int at)
{
    return (quint32(be16(b, at)) << 16) | be16(b, at + 2);
}
quint16 le16(const QByteArray& b, int at)
{
    return static_cast<quint16>(static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8));
}
qint16 le16s(const QByteArray& b, int at)
{
    return static_cast<qint16>(le16(b, at));
}
quint32 le32(const QByteArray& b, int at)
{
    return le16(b, at) | (quint32(le16(b, at + 2)) << 16);
}
void putLe16(QByteArray& b, int at, quint16 v)
{
    b[at] = byteOf(v & 0xFF);
    b[at + 1] = byteOf(v >> 8);
}
void putLe32(QByteArray& b, int at, quint32 v)
{
    putLe16(b, at, v & 0xFFFF);
    putLe16(b, at + 2, v >> 16);
}

// ---- Clock -----------------------------------------------------------------------------------
// The arithmetic runs on a zone-free clock (UTC) so that a daylight-saving change between 2000 and
// the value never moves the wall-clock result; the result is then read as local wall-clock time.

namespace {
QDateTime naiveUtc(const QDateTime& local)
{
    return QDateTime(local.date(), local.time(), QTimeZone::utc());
}
} // namespace

QDateTime InstrumentEpoch()
{
    return QDateTime(QDate(2000, 1, 1), QTime(0, 0));
}

QDateTime SecondsToDateTime(quint32 seconds)
{
    const QDateTime utc = QDateTime(QDate(2000, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(seconds);
    return QDateTime(utc.date(), utc.time());
}

quint32 DateTimeToSeconds(const QDateTime& value)
{
    const qint64 s = QDateTime(QDate(2000, 1, 1), QTime(0, 0), QTimeZone::utc()).secsTo(naiveUtc(value));
    if (s < 0)
        return 0;
    if (s > std::numeric_limits<quint32>::max())
        return std::numeric_limits<quint32>::max();
    return static_cast<quint32>(s);
}

QString SecondsToText(quint32 seconds)
{
    if (seconds < 86400)
        return QStringLiteral("N/A");
    return QLocale::system().toString(SecondsToDateTime(seconds), QLocale::ShortFormat);
}

// ---- Screens ---------------------------------------------------------------------------------

std::optional<QByteArray> encodeScreens(const QStringList& screens)
{
    if (screens.size() != ScreenCount)
        return std::nullopt;
    QByteArray out;
    out.reserve(ScreensSize);
    for (const QString& s : screens) {
        QByteArray text = s.toLatin1().left(ScreenTextLength);
        text.append(QByteArray(ScreenTextLength - text.size(), ' '));
        text.append('\0');
        out.append(text);
    }
    return out;
}

QStringList decodeScreenTexts(const QByteArray& screenBytes)
{
    QStringList list;
    for (int k = 0; k < ScreenCount; ++k)
        list.append(QString::fromLatin1(screenBytes.mid(ScreenSize * k, ScreenTextLength)));
    return list;
}

// ---- Firmware file ---------------------------------------------------------------------------

FlashFileCheck ValidateFlashFile(const QByteArray& image)
{
    FlashFileCheck c;
    if (image.size() != FlashFileSize) {
        c.error = QStringLiteral("The instrument firmware file holds %1 bytes, not %2.")
                      .arg(image.size())
                      .arg(FlashFileSize);
        return c;
    }
    c.version = QString::fromLatin1(image.mid(FlashVersionOffset, FlashVersionLength));
    c.description = QString::fromLatin1(image.mid(FlashDescriptionOffset, FlashDescriptionLength));
    if (image[FlashTypeOffset] != InstrumentTypeCode) {
        c.error = QStringLiteral("The firmware file is for instrument type %1, not %2.")
                      .arg(static_cast<quint8>(image[FlashTypeOffset]))
                      .arg(int(InstrumentTypeCode));
        return c;
    }
    c.ok = true;
    return c;
}

QByteArray flashBlock(const QByteArray& image, int page)
{
    if (page < 0 || page >= FlashPageCount || image.size() < (page + 1) * FlashPageSize)
        return {};
    QByteArray block = image.mid(page * FlashPageSize, FlashPageSize);
    quint16 sum = 0;
    for (char c : block)
        sum = static_cast<quint16>(sum + static_cast<quint8>(c));
    block.append(byteOf(sum >> 8));
    block.append(byteOf(sum & 0xFF));
    return block;
}

std::optional<double> VersionValue(const QString& text)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return v;
}

} // namespace vx8::kor7
