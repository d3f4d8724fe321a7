#include "DockCodec.h"

#include <cmath>
#include <cstring>

namespace vx8::dock {

namespace {

quint16 be16(const char* p)
{
    return quint16((quint8(p[0]) << 8) | quint8(p[1]));
}

quint32 be32(const char* p)
{
    return (quint32(quint8(p[0])) << 24) | (quint32(quint8(p[1])) << 16) | (quint32(quint8(p[2])) << 8) |
           quint32(quint8(p[3]));
}

void put16(char* p, quint16 v)
{
    p[0] = char(v >> 8);
    p[1] = char(v);
}

void put32(char* p, quint32 v)
{
    p[0] = char(v >> 24);
    p[1] = char(v >> 16);
    p[2] = char(v >> 8);
    p[3] = char(v);
}

template <std::size_t N> std::array<quint8, N> bytesAt(const char* p)
{
    std::array<quint8, N> a{};
    for (std::size_t i = 0; i < N; ++i)
        a[i] = quint8(p[i]);
    return a;
}

template <std::size_t N> void putBytes(char* p, const std::array<quint8, N>& a)
{
    for (std::size_t i = 0; i < N; ++i)
        p[i] = char(a[i]);
}

// Copies at most `width` bytes of `text` and leaves the rest of the field as it is (zero).
void putText(char* p, const QByteArray& text, int width)
{
    std::memcpy(p, text.constData(), std::size_t(qMin<qsizetype>(text.size(), width)));
}

QByteArray fixedLatin1(const QString& text, int width, char pad)
{
    QByteArray bytes = text.toLatin1().left(width);
    if (bytes.size() < width)
        bytes.append(QByteArray(width - bytes.size(), pad));
    return bytes;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return c - 'a' + 10;
}

// Payload bytes of event `code`, given the bytes after the code; -1: code unknown (no payload).
// For "8" the length byte must be present to know the length; with none present it reports 1.
int eventPayloadLength(char code, const char* p, qsizetype available)
{
    switch (code) {
    case '0':
    case '1':
    case '2':
    case '4':
    case '5':
    case '6':
    case 'C':
        return 0;
    case '3':
    case '7':
    case 'A':
    case 'D':
        return 1;
    case 'B':
        return 2;
    case 'E':
        return 5;
    case '9':
        return 14;
    case '8':
        return available >= 1 ? 1 + quint8(p[0]) : 1;
    default:
        return -1;
    }
}

// Decodes a complete event payload. False for a malformed one (bad digits) or for an event that
// raises nothing (a battery event with an unknown first character).
bool decodeEvent(char code, const char* p, qsizetype length, DockEvent& ev)
{
    ev.code = code;
    switch (code) {
    case '3':
    case '7':
        ev.value = quint8(p[0]);
        return true;
    case '8':
        ev.text = QByteArray(p + 1, length - 1);
        return true;
    case '9':
        for (int k = 0; k < 7; ++k)
            ev.reading[std::size_t(k)] = qint16(be16(p + 2 * k));
        return true;
    case 'A':
        if (p[0] < '0' || p[0] > '9')
            return false;
        ev.value = quint8(p[0] - '0');
        return true;
    case 'B':
        ev.value = quint8(p[0]);
        ev.sensors = quint8(p[1]);
        return true;
    case 'D':
        ev.flag = p[0] == '1';
        return true;
    case 'E': {
        if (p[0] != 'C' && p[0] != 'D')
            return false;
        quint16 v = 0;
        for (int i = 1; i <= 4; ++i) {
            if (!isHexDigit(p[i]))
                return false;
            v = quint16((v << 4) | hexValue(p[i]));
        }
        ev.flag = p[0] == 'C';
        ev.voltage = v;
        return true;
    }
    default:
        return true; // no payload
    }
}

bool tokenAt(const char* d, const char* token)
{
    return d[0] == token[0] && d[1] == token[1] && d[2] == token[2];
}

// The last 1 or 2 bytes of a chunk could be the start of "EVT", "ACK" or "NAK".
bool isTokenPrefix(const char* d, qsizetype n)
{
    static const char* const tokens[] = {"EVT", "ACK", "NAK"};
    for (const char* t : tokens)
        if (std::memcmp(d, t, std::size_t(n)) == 0)
            return true;
    return false;
}

const QDateTime& calderEpoch()
{
    static const QDateTime epoch(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    return epoch;
}

} // namespace

int replyPayloadLength(ReplyKind kind)
{
    switch (kind) {
    case ReplyKind::None:
        return 0;
    case ReplyKind::AdcCounts:
    case ReplyKind::AdcPeaks:
        return AdcPayloadSize;
    case ReplyKind::Clock:
        return ClockPayloadSize;
    case ReplyKind::Configuration:
        return -1;
    case ReplyKind::Test:
        return TestRecordSize;
    case ReplyKind::Busy:
        return 1;
    case ReplyKind::FlashDateText:
        return -1;
    case ReplyKind::LcdText:
        return LcdTextSize;
    }
    return 0;
}

// ---- Commands -------------------------------------------------------------------------------

QByteArray cmdGetAdcCounts()
{
    return QByteArrayLiteral("ADC");
}
QByteArray cmdGetAdcPeaks()
{
    return QByteArrayLiteral("PEK      PEK Command");
}
QByteArray cmdResetAdcPeaks()
{
    return QByteArrayLiteral("RAP      RAP Command");
}
QByteArray cmdGetDateTime()
{
    return QByteArrayLiteral("RTC");
}

QByteArray cmdSetDateTime(const QDateTime& value)
{
    const QByteArray clock = encodeClock(value);
    if (clock.isEmpty())
        return {};
    return QByteArrayLiteral("STC") + clock;
}

QByteArray cmdGetConfiguration()
{
    return QByteArrayLiteral("REE");
}

QByteArray cmdWriteConfiguration(const DockConfigRecord& record)
{
    return QByteArrayLiteral("WEE") + encodeConfiguration(record);
}

QByteArray cmdGetTestRecord()
{
    return QByteArrayLiteral("GTR");
}
QByteArray cmdGetTestRecords()
{
    return QByteArrayLiteral("STD");
}

QByteArray cmdClearTestRecords(int count)
{
    if (count < 0 || count > 0xFFFF)
        return {};
    QByteArray c = QByteArrayLiteral("CLT");
    c.append(char(count >> 8));
    c.append(char(count & 0xFF));
    return c;
}

QByteArray cmdPerformTest(quint8 mode)
{
    QByteArray c = QByteArrayLiteral("TST");
    c.append(char(mode));
    return c;
}

QByteArray cmdGetIsDockBusy()
{
    return QByteArrayLiteral("GST");
}
QByteArray cmdSetDockMode(bool slave)
{
    return slave ? QByteArrayLiteral("SLV") : QByteArrayLiteral("MST");
}

QByteArray cmdSetLCDText(int line, const QString& text)
{
    QByteArray c = QByteArrayLiteral("LCD");
    c.append(line == 0 ? '0' : line == 1 ? '1' : line == 2 ? '2' : '3');
    c.append(fixedLatin1(text, LcdTextSize, ' '));
    return c;
}

QByteArray cmdReadLCDText(int line)
{
    return line == 0 ? QByteArrayLiteral("RLC0") : QByteArrayLiteral("RLC1");
}

QByteArray cmdSetPumpStatus(int speed, quint8 channel)
{
    QByteArray c = QByteArrayLiteral("PSS");
    c.append(char(qBound(0, speed, 100)));
    c.append(char(channel));
    return c;
}

QByteArray cmdDisconnectInstrument()
{
    return QByteArrayLiteral("DSC");
}
QByteArray cmdStartIrDASearch()
{
    return QByteArrayLiteral("IRS");
}
QByteArray cmdSendTestEmail()
{
    return QByteArrayLiteral("TEM");
}
QByteArray cmdSendENQ()
{
    return QByteArrayLiteral("ENQ");
}
QByteArray cmdGetFlashDateTime()
{
    return QByteArrayLiteral("GFD");
}

// ---- Control-channel chunks -----------------------------------------------------------------

ParsedChunk parseControlChunk(const QByteArray& chunk, ReplyKind kind, bool final)
{
    ParsedChunk out;
    const char* d = chunk.constData();
    const qsizetype n = chunk.size();
    qsizetype pos = 0;
    int eventTokens = 0;

    auto leaveRest = [&](qsizetype at) {
        out.consumed = at;
        return out;
    };

    while (pos < n) {
        const qsizetype left = n - pos;
        if (left < 3) {
            if (!final && isTokenPrefix(d + pos, left))
                return leaveRest(pos);
            break;
        }
        if (tokenAt(d + pos, "EVT")) {
            if (left < 4) {
                if (!final)
                    return leaveRest(pos);
                ++out.droppedEvents;
                break;
            }
            const char code = d[pos + 3];
            const qsizetype p = pos + 4;
            const int need = eventPayloadLength(code, d + p, n - p);
            if (need < 0) { // unknown code: the code is consumed, nothing is raised
                ++eventTokens;
                ++out.droppedEvents;
                pos = p;
                continue;
            }
            if (n - p < need) {
                if (!final)
                    return leaveRest(pos);
                // Cut short by the end of the chunk: a debug text is delivered as far as it came,
                // anything else is dropped.
                if (code == '8' && n - p >= 1 && ++eventTokens <= MaxEventsPerChunk) {
                    DockEvent ev;
                    ev.code = code;
                    ev.text = QByteArray(d + p + 1, n - p - 1);
                    out.events.append(ev);
                } else {
                    ++out.droppedEvents;
                }
                break;
            }
            ++eventTokens;
            DockEvent ev;
            if (eventTokens > MaxEventsPerChunk || !decodeEvent(code, d + p, need, ev))
                ++out.droppedEvents;
            else
                out.events.append(ev);
            pos = p + need;
            continue;
        }
        const bool ack = tokenAt(d + pos, "ACK");
        if (ack || tokenAt(d + pos, "NAK")) {
            const qsizetype p = pos + 3;
            DockReply reply;
            reply.ack = ack;
            qsizetype next = p;
            if (ack) {
                const int length = replyPayloadLength(kind);
                if (length < 0) {
                    if (!final && kind == ReplyKind::Configuration && n - p < ConfigImageSize)
                        return leaveRest(pos);
                    reply.payload = chunk.mid(p);
                    next = n;
                } else if (n - p < length) {
                    if (!final)
                        return leaveRest(pos);
                    reply.payload = chunk.mid(p);
                    next = n;
                } else {
                    reply.payload = chunk.mid(p, length);
                    next = p + length;
                }
            }
            if (!out.reply)
                out.reply = reply;
            else if (ack && !out.reply->ack) {
                out.reply = reply; // "ACK" wins over "NAK"
                ++out.strayReplies;
            } else
                ++out.strayReplies;
            pos = next;
            continue;
        }
        ++pos; // a byte outside any token
    }
    out.consumed = n;
    return out;
}

// ---- Reply payloads -------------------------------------------------------------------------

std::optional<AdcValues> decodeAdc(const QByteArray& payload)
{
    if (payload.size() < AdcPayloadSize)
        return std::nullopt;
    AdcValues v{};
    for (int i = 0; i < 4; ++i)
        v[std::size_t(i)] = be16(payload.constData() + 2 * i);
    return v;
}

QByteArray encodeClock(const QDateTime& value)
{
    if (!value.isValid())
        return {};
    const QDate date = value.date();
    const QTime time = value.time();
    if (date.year() < 2000 || date.year() > 2255)
        return {};
    QByteArray b(ClockPayloadSize, '\0');
    b[0] = char(time.second());
    b[1] = char(time.minute());
    b[2] = char(time.hour());
    b[3] = char(date.day());
    b[4] = char(date.month());
    b[5] = 0; // not used by the dock
    b[6] = char(date.year() - 2000);
    return b;
}

ClockReply decodeClock(const QByteArray& payload)
{
    ClockReply r;
    if (payload.size() < ClockPayloadSize)
        return r;
    r.complete = true;
    const auto u = [&](int i) { return int(quint8(payload[i])); };
    const QDate date(2000 + u(6), u(4), u(3));
    const QTime time(u(2), u(1), u(0));
    if (date.isValid() && time.isValid())
        r.value = QDateTime(date, time);
    return r;
}

std::optional<bool> decodeBusy(const QByteArray& payload)
{
    if (payload.isEmpty())
        return std::nullopt;
    return payload[0] == 'B';
}

std::optional<QString> decodeLcdText(const QByteArray& payload)
{
    if (payload.size() < LcdTextSize)
        return std::nullopt;
    return QString::fromLatin1(payload.left(LcdTextSize));
}

QString decodeFlashDateText(const QByteArray& payload)
{
    return QString::fromLatin1(payload);
}

// ---- Records --------------------------------------------------------------------------------

quint8 normalizeIrDASpeedMask(quint8 mask)
{
    switch (mask) {
    case 1:
    case 3:
    case 7:
    case 15:
    case 31:
    case 63:
        return mask;
    default:
        return 7;
    }
}

void fillEmailFiller(DockConfigRecord& record)
{
    record.EmailRecipient = QByteArray(50, 'e');
    record.EmailText = QByteArray(50, 'f');
    record.SMTPAddress = {'g', 'g', 'g', 'g'};
}

void applyEmailSettings(DockConfigRecord& record, const DockEmailSettings& settings)
{
    record.EmailRecipient = fixedLatin1(settings.Recipient, 50, '\0');
    record.EmailText = fixedLatin1(settings.Text, 50, '\0');
    record.SMTPAddress = settings.SMTPAddress;
}

std::optional<DockConfigRecord> decodeConfiguration(const QByteArray& image)
{
    if (image.size() != ConfigImageSize)
        return std::nullopt;
    const char* d = image.constData();
    DockConfigRecord r;
    r.SerialNumber = be32(d + 0);
    r.SettingFlags = be32(d + 4);
    r.FirmwareVersion = be16(d + 8);
    r.RecordCount = be16(d + 10);
    r.FirstRecord = be32(d + 12);
    r.NextRecord = be32(d + 16);
    r.VisualSpan = be16(d + 20);
    r.AudioSpan = be16(d + 22);
    r.AudioMin = be16(d + 24);
    r.BumpLow = quint8(d[26]);
    r.BumpHigh = quint8(d[27]);
    r.LCDContrast = quint8(d[28]);
    r.LowFlowPoint = quint8(d[29]);
    r.MACAddress = bytesAt<6>(d + 30);
    r.IPAddress = bytesAt<4>(d + 36);
    r.GatewayAddress = bytesAt<4>(d + 40);
    r.SubnetMask = bytesAt<4>(d + 44);
    r.IrDASpeedMask = normalizeIrDASpeedMask(quint8(d[49]));
    r.AccessPIN = be16(d + 50);
    for (int k = 0; k < 4; ++k) {
        const char* b = d + 52 + 60 * k;
        InletBlock& in = r.Inlets[std::size_t(k)];
        in.GasType = QByteArray(b, 16);
        in.GasPriority = quint8(b[16]);
        in.Unused17 = be16(b + 17);
        in.Unused19 = quint8(b[19]);
        for (int i = 0; i < 10; ++i) {
            in.Concentration[std::size_t(i)] = be16(b + 20 + 2 * (9 - i));
            in.GasCode[std::size_t(i)] = quint8(b[40 + (9 - i)]);
            in.BumpDuration[std::size_t(i)] = quint8(b[50 + (9 - i)]);
        }
    }
    r.CalInterval = quint8(d[292]);
    r.DockDescription = QByteArray(d + 293, 24);
    fillEmailFiller(r);
    r.PumpFlow = quint8(d[422]);
    r.MicGain = quint8(d[423]);
    r.ProtocolVersion = quint8(d[424]);
    r.DHCPDelay = quint8(d[425]);
    r.AutoBumpTime1 = qint32(be32(d + 426));
    r.AutoBumpTime2 = qint32(be32(d + 430));
    r.AutoBumpTime3 = qint32(be32(d + 434));
    return r;
}

QByteArray encodeConfiguration(const DockConfigRecord& r)
{
    QByteArray image(ConfigImageSize, '\0');
    char* d = image.data();
    put32(d + 0, r.SerialNumber);
    put32(d + 4, r.SettingFlags);
    put16(d + 8, r.FirmwareVersion);
    put16(d + 10, r.RecordCount);
    put32(d + 12, r.FirstRecord);
    put32(d + 16, r.NextRecord);
    put16(d + 20, r.VisualSpan);
    put16(d + 22, r.AudioSpan);
    put16(d + 24, r.AudioMin);
    d[26] = char(r.BumpLow);
    d[27] = char(r.BumpHigh);
    d[28] = char(r.LCDContrast);
    d[29] = char(r.LowFlowPoint);
    putBytes(d + 30, r.MACAddress);
    putBytes(d + 36, r.IPAddress);
    putBytes(d + 40, r.GatewayAddress);
    putBytes(d + 44, r.SubnetMask);
    d[48] = 0;
    d[49] = char(normalizeIrDASpeedMask(r.IrDASpeedMask));
    put16(d + 50, r.AccessPIN);
    for (int k = 0; k < 4; ++k) {
        char* b = d + 52 + 60 * k;
        const InletBlock& in = r.Inlets[std::size_t(k)];
        putText(b, in.GasType, 16);
        b[16] = char(in.GasPriority);
        put16(b + 17, in.Unused17);
        b[19] = char(in.Unused19);
        for (int i = 0; i < 10; ++i) {
            put16(b + 20 + 2 * (9 - i), in.Concentration[std::size_t(i)]);
            b[40 + (9 - i)] = char(in.GasCode[std::size_t(i)]);
            b[50 + (9 - i)] = char(in.BumpDuration[std::size_t(i)]);
        }
    }
    d[292] = char(r.CalInterval);
    putText(d + 293, r.DockDescription, 24);
    d[317] = 0;
    putText(d + 318, r.EmailRecipient, 50);
    putText(d + 368, r.EmailText, 50);
    putBytes(d + 418, r.SMTPAddress);
    d[422] = char(qMax<quint8>(r.PumpFlow, 30));
    d[423] = char(r.MicGain);
    d[424] = char(r.ProtocolVersion);
    d[425] = char(r.DHCPDelay);
    const auto bumpTime = [](qint32 minutes) { return minutes > 1439 ? qint32(2147483647) : minutes; };
    put32(d + 426, quint32(bumpTime(r.AutoBumpTime1)));
    put32(d + 430, quint32(bumpTime(r.AutoBumpTime2)));
    put32(d + 434, quint32(bumpTime(r.AutoBumpTime3)));
    std::memset(d + 438, 'h', ConfigImageSize - 438);
    return image;
}

std::optional<TestRecord> decodeTestRecord(const QByteArray& image)
{
    if (image.size() < TestRecordSize)
        return std::nullopt;
    const char* d = image.constData();
    TestRecord r;
    r.InstrumentSerial = be32(d + 0);
    r.TestTime = be32(d + 4);
    r.FullCalDate = be32(d + 8);
    r.InstrumentVersion = be16(d + 12);
    r.InstrumentBattery = quint8(d[14]);
    r.RemindInterval = quint8(d[15]);
    r.AudioDbMin = quint8(d[16]);
    r.AudioDbMaxLeft = quint8(d[17]);
    r.PassFailFlags = be16(d + 18);
    for (int e = 0; e < 7; ++e) {
        const char* s = d + sensorEntryOffset(e);
        TestSensorEntry& x = r.Sensors[std::size_t(e)];
        x.SensorSerial = be32(s + 0);
        x.TWAAlarm = qint16(be16(s + 4));
        x.STELAlarm = qint16(be16(s + 6));
        x.HighAlarm = qint16(be16(s + 8));
        x.WarningAlarm = qint16(be16(s + 10));
        x.Unused12 = qint16(be16(s + 12));
        x.LowAlarm = qint16(be16(s + 14));
        x.OldSpan = qint16(be16(s + 16));
        x.CalGasValue = be16(s + 18);
        x.MaxPossibleSpan = qint16(be16(s + 20));
        x.BumpResponse = qint16(be16(s + 22));
        x.BumpTime = quint8(s[24]);
        x.T63 = quint8(s[25]);
        x.SensorType = quint8(s[26]);
        x.GasPort = quint8(s[27]);
        x.GasValue = be16(s + 28);
        x.VOCRatio = qint16(be16(s + 30));
        x.ExpiryDate = be16(s + 32);
        x.SensorStatus = be16(s + 34);
    }
    r.InstrumentFlags = be16(d + 272);
    r.AudioDbMaxRight = quint8(d[274]);
    r.VOCCode = quint8(d[275]);
    return r;
}

QByteArray encodeTestRecord(const TestRecord& r)
{
    QByteArray image(TestRecordSize, '\0');
    char* d = image.data();
    put32(d + 0, r.InstrumentSerial);
    put32(d + 4, r.TestTime);
    put32(d + 8, r.FullCalDate);
    put16(d + 12, r.InstrumentVersion);
    d[14] = char(r.InstrumentBattery);
    d[15] = char(r.RemindInterval);
    d[16] = char(r.AudioDbMin);
    d[17] = char(r.AudioDbMaxLeft);
    put16(d + 18, r.PassFailFlags);
    for (int e = 0; e < 7; ++e) {
        char* s = d + sensorEntryOffset(e);
        const TestSensorEntry& x = r.Sensors[std::size_t(e)];
        put32(s + 0, x.SensorSerial);
        put16(s + 4, quint16(x.TWAAlarm));
        put16(s + 6, quint16(x.STELAlarm));
        put16(s + 8, quint16(x.HighAlarm));
        put16(s + 10, quint16(x.WarningAlarm));
        put16(s + 12, quint16(x.Unused12));
        put16(s + 14, quint16(x.LowAlarm));
        put16(s + 16, quint16(x.OldSpan));
        put16(s + 18, x.CalGasValue);
        put16(s + 20, quint16(x.MaxPossibleSpan));
        put16(s + 22, quint16(x.BumpResponse));
        s[24] = char(x.BumpTime);
        s[25] = char(x.T63);
        s[26] = char(x.SensorType);
        s[27] = char(x.GasPort);
        put16(s + 28, x.GasValue);
        put16(s + 30, quint16(x.VOCRatio));
        put16(s + 32, x.ExpiryDate);
        put16(s + 34, x.SensorStatus);
    }
    put16(d + 272, r.InstrumentFlags);
    d[274] = char(r.AudioDbMaxRight);
    d[275] = char(r.VOCCode);
    return image;
}

// ---- Record fields --------------------------------------------------------------------------

bool dockSetting(quint32 flags, int n)
{
    if (n < 0 || n > 31)
        return false;
    return (flags >> (31 - n)) & 1u;
}

quint32 withDockSetting(quint32 flags, int n, bool value)
{
    if (n < 0 || n > 31)
        return flags;
    const quint32 mask = 0x80000000u >> n;
    return value ? (flags | mask) : (flags & ~mask);
}

QDateTime FromCalderVX8Time(quint32 seconds)
{
    // Calendar arithmetic on the wall clock: the dock's clock has no time zone.
    const QDateTime t = calderEpoch().addSecs(qint64(seconds));
    return QDateTime(t.date(), t.time());
}

QDate FromInstrumentDate(quint16 days)
{
    return QDate(2000, 1, 1).addDays(days);
}

std::optional<quint8> audioGain(double level, quint16 audioPeak)
{
    if (audioPeak <= 100 || audioPeak >= 450)
        return std::nullopt;
    if (!(level > 90.0 && level < 130.0))
        return std::nullopt;
    const double g = std::exp(level / 10.0 - std::log(10.0 * audioPeak));
    const double rounded = std::nearbyint(g);
    if (rounded > 255.0)
        return std::nullopt;
    return quint8(rounded);
}

} // namespace vx8::dock
