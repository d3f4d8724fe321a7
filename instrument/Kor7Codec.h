#pragma once

// The Kor7 instrument protocol as pure functions: the request bytes of every command, the reply
// decoders, the clock time base and the firmware file check. Nothing here waits or owns state.
//
// A request is three letters, the message index byte (a space placeholder until the link writes
// the index), then binary arguments. A reply holds "ACK", "NAK" or "ECK", the index of the command
// it answers, then the data. Every decoder requires every byte it reads: a reply that stops short
// is reported as Short (the caller waits for the rest or fails), never read past its end.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace vx8::kor7 {

// ---- Memory image ---------------------------------------------------------------------------
inline constexpr int UnitMemorySize = 264;
inline constexpr int SensorSlotSize = 256;
inline constexpr int SensorSlotCount = 7;
inline constexpr int ScreenCount = 8;
inline constexpr int ScreenSize = 16;
inline constexpr int ScreenTextLength = 15;
inline constexpr int ScreensSize = ScreenCount * ScreenSize; // 128
inline constexpr int UnitMemoryOffset = 0;
inline constexpr int SensorSlotsOffset = UnitMemorySize; // 264
inline constexpr int ScreensOffset = 2440;
inline constexpr int ImageSize = 2568;
inline constexpr int SensorTableSize = 7;
constexpr int sensorSlotOffset(int slot)
{
    return SensorSlotsOffset + SensorSlotSize * slot;
}

// This model's instrument type code (WHO reply and firmware file).
inline constexpr char InstrumentTypeCode = 15;
inline constexpr const char* InstrumentTypeText = "15";

// ---- Firmware file ---------------------------------------------------------------------------
inline constexpr int FlashFileSize = 262144;
inline constexpr int FlashPageSize = 256;
inline constexpr int FlashPageCount = FlashFileSize / FlashPageSize; // 1024
inline constexpr int FlashBlockSize = FlashPageSize + 2;             // page bytes + 16-bit sum
inline constexpr int FlashDescriptionOffset = 262080;
inline constexpr int FlashDescriptionLength = 19;
inline constexpr int FlashVersionOffset = 262100;
inline constexpr int FlashVersionLength = 4;
inline constexpr int FlashTypeOffset = 262105;

// ---- Download loop sizes ---------------------------------------------------------------------
inline constexpr int EventRecordSize = 48;
inline constexpr int SessionHeaderSize = 296;
inline constexpr int RecordHeaderSize = 8;
inline constexpr int RecordSensorSize = 16;
inline constexpr int MaxRecordSensors = 6;
constexpr int dataLoggerRecordSize(int sensors)
{
    return RecordHeaderSize + RecordSensorSize * sensors;
}

// ---- Requests --------------------------------------------------------------------------------
// The placeholder the link replaces with the message index (4th byte).
inline constexpr char IndexPlaceholder = ' ';
inline constexpr int IndexPosition = 3;
// Passed as the expected index, accepts a reply to any command (the reply index is not checked).
inline constexpr char AnyIndex = '\0';

// Writes the index over the 4th byte; a message shorter than 4 bytes is returned unchanged.
QByteArray withIndex(QByteArray message, char index);
// The index that follows `index` ('0'..'9', wrapping; anything else gives '0').
char nextIndex(char index);

QByteArray requestEnq();                                                            // "ENQ "
QByteArray requestWho();                                                            // "WHO "
QByteArray requestFlashVersion();                                                   // "VFL "
QByteArray requestClearDatalogger();                                                // "CLD "
QByteArray requestClearEventLogger();                                               // "CLE "
QByteArray requestEventCount();                                                     // "CKE "
QByteArray requestEvents(quint8 first, quint8 count);                               // "DED "
QByteArray requestSessionCount(quint8 alarmsOnly);                                  // "CKD "
QByteArray requestSession(quint8 session, quint8 alarmsOnly);                       // "RSS "
QByteArray requestRecords(quint8 sessionNumber, quint16 firstRecord, quint8 count); // "DSD "
QByteArray requestInstrumentCounts();                                               // "RAC I"
QByteArray requestSensorCounts();                                                   // "RAC S"
QByteArray requestGasReading();                                                     // "GGR "
QByteArray requestReadSensorSlot(quint8 slot);                                      // "RAE "
// The 256 slot bytes are sent as they are; false (and an empty result) when not 256 bytes.
QByteArray requestWriteSensorSlot(quint8 slot, const QByteArray& slotBytes); // "WAE "
QByteArray requestReadUnitMemory();                                          // "RUE "
QByteArray requestWriteUnitMemory(const QByteArray& unitBytes);              // "WUE "
QByteArray requestReadScreens();                                             // "RCS "
QByteArray requestWriteScreens(const QByteArray& screenBytes);               // "WCS "
QByteArray requestSensorTable();                                             // "GST "
QByteArray requestReadClock();                                               // "RSC "
QByteArray requestSetClock(quint32 seconds);                                 // "STC " + 4 bytes high first
QByteArray requestWritePage(quint16 page, const QByteArray& block);          // "WEP "
QByteArray requestStartFlash();                                              // "PFM "

// ---- Replies ---------------------------------------------------------------------------------
enum class ReplyStatus
{
    Ok,         // "ACK", the right index and every byte the decoder reads
    Nak,        // the instrument refused ("NAK", no "ACK")
    Eck,        // "no more" end marker of the download loops ("ECK", no "ACK")
    Short,      // a valid beginning that stops before the bytes the decoder needs
    WrongIndex, // the reply answers another command (its index differs)
    Invalid,    // anything else: no marker, a wrong tag byte, or longer than the command allows
};
QString replyStatusName(ReplyStatus s);

// The outcome shared by every decoder: the status and, for Ok, where the data starts.
struct Reply
{
    ReplyStatus status = ReplyStatus::Invalid;
    int ackPos = -1; // 0-based position of "ACK"
    QByteArray data; // everything from the byte after the index (Ok only)
    bool ok() const { return status == ReplyStatus::Ok; }
};

// The common check: "ACK" + index + at least `need` data bytes. `maxLength` (when >= 0) is an upper
// bound on the whole reply, as the count commands have. Without "ACK": "ECK"/"NAK" (a marker
// followed by a different index is WrongIndex); a beginning of "ACK" is Short.
Reply checkReply(const QByteArray& reply, char index, int need, int maxLength = -1);

// Commands whose only answer is "ACK" (ENQ, CLD, CLE, WAE, WUE, WCS, STC, PFM).
Reply decodeAck(const QByteArray& reply, char index);

struct WhoReply : Reply
{
    bool typeMatches = false; // the data bytes hold "15"
};
WhoReply decodeWho(const QByteArray& reply, char index);

struct FlashVersionReply : Reply
{
    QString version; // the data as text, without trailing NUL bytes or blanks
};
FlashVersionReply decodeFlashVersion(const QByteArray& reply, char index);

struct EventCountReply : Reply
{
    int count = 0;
};
EventCountReply decodeEventCount(const QByteArray& reply, char index); // CKE: length at most 5

struct SessionCountReply : Reply
{
    int dataLoggerFlag = 0;
    int count = 0; // as sent (the loop caps it at 60)
};
SessionCountReply decodeSessionCount(const QByteArray& reply, char index); // CKD: length at most 6

struct InstrumentCountsReply : Reply
{
    int batteryType = 0, fotoSensor = 0, battery = 0, pump = 0, temperature = 0; // unsigned
};
InstrumentCountsReply decodeInstrumentCounts(const QByteArray& reply, char index);

using SevenValues = std::array<int, 7>;
struct SevenValuesReply : Reply
{
    SevenValues values{};
};
SevenValuesReply decodeSensorCounts(const QByteArray& reply, char index); // RAC S, slot order
SevenValuesReply decodeGasReading(const QByteArray& reply, char index);   // GGR: "R" then 7 words

Reply decodeSensorSlot(const QByteArray& reply, char index);  // RAE: data = the 256 slot bytes
Reply decodeUnitMemory(const QByteArray& reply, char index);  // RUE: data = the 264 unit bytes
Reply decodeScreens(const QByteArray& reply, char index);     // RCS: data = the 128 screen bytes
Reply decodeSensorTable(const QByteArray& reply, char index); // GST: data = the 7 type codes

struct ClockReply : Reply
{
    quint32 seconds = 0;
};
ClockReply decodeClock(const QByteArray& reply, char index); // RSC: 4 bytes, high byte first

struct PageEchoReply : Reply
{
    int page = -1;
};
PageEchoReply decodePageEcho(const QByteArray& reply, char index); // WEP: page echoed, high first

struct EventPacketReply : Reply
{
    int first = 0;
    QList<QByteArray> events; // 48 bytes each
};
// DED: first event, count, count × 48 bytes; ECK ends the loop.
EventPacketReply decodeEventPacket(const QByteArray& reply, char index);

struct SessionHeaderReply : Reply
{
    int sessionNumber = 0;
    QByteArray header; // 296 bytes
};
SessionHeaderReply decodeSessionHeader(const QByteArray& reply, char index); // RSS; ECK ends

struct RecordPacketReply : Reply
{
    int firstRecord = 0;
    int announced = 0;         // records the packet says it holds
    QList<QByteArray> records; // the complete records received (8 + 16·sensors bytes each)
};
// DSD: first record (high first), count, records. A packet cut inside its records is Short and
// `records` holds the whole ones that did arrive. `sensors` outside 0..6 is Invalid.
RecordPacketReply decodeRecordPacket(const QByteArray& reply, char index, int sensors);

// ---- Big/little-endian helpers (bounds are the caller's: only used on checked data) ---------------
quint16 be16(const QByteArray& b, int at);
qint16 be16s(const QByteArray& b, int at);
quint32 be32(const QByteArray& b, int at);
quint16 le16(const QByteArray& b, int at);
qint16 le16s(const QByteArray& b, int at);
quint32 le32(const QByteArray& b, int at);
void putLe16(QByteArray& b, int at, quint16 v);
void putLe32(QByteArray& b, int at, quint32 v);

// ---- Clock -----------------------------------------------------------------------------------
// The instrument counts seconds since 2000-01-01 00:00:00 on its own wall clock; the date-times
// here are local wall-clock times with no time-zone shift applied.
QDateTime InstrumentEpoch();
QDateTime SecondsToDateTime(quint32 seconds);
// Whole seconds from 2000-01-01 to `value`; a value before 2000 gives 0, one past the 32-bit
// range gives the largest count.
quint32 DateTimeToSeconds(const QDateTime& value);
// "N/A" for any value below one day, otherwise the date and time in the user's short format.
QString SecondsToText(quint32 seconds);

// ---- Screens ---------------------------------------------------------------------------------
// Eight screens of 15 characters padded with spaces and a zero byte. Nothing when not 8 strings.
std::optional<QByteArray> encodeScreens(const QStringList& screens);
QStringList decodeScreenTexts(const QByteArray& screenBytes); // 15 characters at 16·k

// ---- Firmware file ---------------------------------------------------------------------------
struct FlashFileCheck
{
    bool ok = false;
    QString error;       // why the file was refused
    QString version;     // 4 characters at 262100
    QString description; // 19 characters at 262080
};
// Size exactly 262144 and type byte 15 at 262105.
FlashFileCheck ValidateFlashFile(const QByteArray& image);
// The 258-byte block of `page`: its 256 bytes, then their sum modulo 65536, high byte first.
QByteArray flashBlock(const QByteArray& image, int page);
// A version text ("1.23") as a number, read with "." as decimal separator; nothing when the
// text is not a number (the caller then cannot judge the version and must not upgrade).
std::optional<double> VersionValue(const QString& text);

} // namespace vx8::kor7
