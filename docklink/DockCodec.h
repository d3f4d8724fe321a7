#pragma once

// The dock's wire format as pure functions: command bytes, the splitting of a control-channel
// chunk into events and a reply, the reply decoders and the two record images. Nothing here
// touches an event loop; every decoder reads only the bytes it was given.

#include "DockTypes.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace vx8::dock {

constexpr int ConfigImageSize = 504;
constexpr int TestRecordSize = 276;
constexpr int SensorEntrySize = 36;
constexpr int ClockPayloadSize = 7;
constexpr int AdcPayloadSize = 8;
constexpr int LcdTextSize = 16;
constexpr int MaxEventsPerChunk = 10;

// How the payload of the next "ACK" is decoded; bound to a command when it is sent.
enum class ReplyKind : quint8
{
    None = 0,          // payload ignored
    AdcCounts = 1,     // "ADC": 8 bytes
    AdcPeaks = 2,      // "PEK": 8 bytes
    Clock = 3,         // "RTC": 7 bytes
    Configuration = 4, // "REE": exactly 504 bytes ending the chunk
    Test = 5,          // "GTR": 276 bytes
    Busy = 6,          // "GST", "SLV", "MST": 1 character
    FlashDateText = 7, // "GFD": the rest of the chunk
    LcdText = 8,       // "RLC0", "RLC1": 16 characters
};

// The number of payload bytes a reply of this kind carries; -1 for the kinds that run to the end
// of the chunk (Configuration, FlashDateText).
int replyPayloadLength(ReplyKind kind);

// ---- Commands -------------------------------------------------------------------------------

QByteArray cmdGetAdcCounts();                                     // "ADC"
QByteArray cmdGetAdcPeaks();                                      // "PEK      PEK Command"
QByteArray cmdResetAdcPeaks();                                    // "RAP      RAP Command"
QByteArray cmdGetDateTime();                                      // "RTC"
QByteArray cmdSetDateTime(const QDateTime& value);                // "STC" + clock payload
QByteArray cmdGetConfiguration();                                 // "REE"
QByteArray cmdWriteConfiguration(const DockConfigRecord& record); // "WEE" + image
QByteArray cmdGetTestRecord();                                    // "GTR"
QByteArray cmdGetTestRecords();                                   // "STD"
// "CLT" + high byte + low byte; empty when count is outside 0..65535.
QByteArray cmdClearTestRecords(int count);
QByteArray cmdPerformTest(quint8 mode); // "TST" + mode
QByteArray cmdGetIsDockBusy();          // "GST"
QByteArray cmdSetDockMode(bool slave);  // "SLV" / "MST"
// "LCD0", "LCD1", "LCD2" for line 0, 1, 2, "LCD3" for any other line, then the text as exactly 16
// Latin-1 characters: left-aligned, padded with spaces, cut after 16.
QByteArray cmdSetLCDText(int line, const QString& text);
QByteArray cmdReadLCDText(int line); // "RLC0" for line 0, else "RLC1"
// "PSS" + speed (0 to 100) + channel.
QByteArray cmdSetPumpStatus(int speed, quint8 channel);
QByteArray cmdDisconnectInstrument(); // "DSC"
QByteArray cmdStartIrDASearch();      // "IRS"
QByteArray cmdSendTestEmail();        // "TEM"
QByteArray cmdSendENQ();              // "ENQ"
QByteArray cmdGetFlashDateTime();     // "GFD"

// ---- Control-channel chunks -----------------------------------------------------------------

// One decoded dock event.
struct DockEvent
{
    char code = 0;         // '0'..'9', 'A'..'E'
    quint8 value = 0;      // "3" result, "7" state, "A" instrument state, "B" cause
    quint8 sensors = 0;    // "B" sensor mask
    QByteArray text;       // "8" message
    TGasReading reading{}; // "9"
    bool flag = false;     // "D" delivered; "E" charging
    quint16 voltage = 0;   // "E"
};

struct DockReply
{
    bool ack = false;   // false: "NAK"
    QByteArray payload; // the bytes the reply kind claims (may be short when the chunk ended)
};

struct ParsedChunk
{
    QList<DockEvent> events;        // the chunk's events in order (at most MaxEventsPerChunk)
    std::optional<DockReply> reply; // the chunk's first "ACK", else its first "NAK"
    // Bytes of the chunk that were read. When less than the chunk's size, the rest starts with a
    // token cut short by the end of the chunk; it is only left unread when parsing with
    // final == false, so that the caller can join it with the next chunk.
    qsizetype consumed = 0;
    int droppedEvents = 0; // malformed, short or beyond the per-chunk limit
    int strayReplies = 0;  // further "ACK"/"NAK" tokens of the same chunk
};

// Reads a control-channel chunk left to right. "EVT" + code takes exactly the bytes its code
// gives; "ACK" takes the payload length of `kind`; "NAK" takes nothing; bytes outside any token
// are skipped. Nothing inside an event payload or a reply payload is taken for a token.
// With final == false a token cut short at the end of the chunk is left unread (see consumed);
// with final == true it is decoded from what is there: a short event is dropped (a short debug
// text is delivered as far as it came), a short reply keeps its short payload.
ParsedChunk parseControlChunk(const QByteArray& chunk, ReplyKind kind, bool final = true);

// ---- Reply payloads -------------------------------------------------------------------------

using AdcValues = std::array<quint16, 4>; // channel 0 audio, 1 battery, 2 photo, 3 pump
std::optional<AdcValues> decodeAdc(const QByteArray& payload);

QByteArray encodeClock(const QDateTime& value);
struct ClockReply
{
    bool complete = false;          // 7 bytes arrived
    std::optional<QDateTime> value; // empty when the bytes are not a valid date-time
};
ClockReply decodeClock(const QByteArray& payload);

std::optional<bool> decodeBusy(const QByteArray& payload);       // true for "B"
std::optional<QString> decodeLcdText(const QByteArray& payload); // 16 Latin-1 characters
QString decodeFlashDateText(const QByteArray& payload);

// ---- Records --------------------------------------------------------------------------------

// The infrared speed masks the dock knows are 1, 3, 7, 15, 31 and 63; any other value becomes 7.
quint8 normalizeIrDASpeedMask(quint8 mask);

// The 504-byte image; empty unless exactly 504 bytes. Bytes 318 to 421 (the e-mail fields) are
// not taken from the image: they come back as the filler 50 "e", 50 "f" and 4 "g".
std::optional<DockConfigRecord> decodeConfiguration(const QByteArray& image);
// Writes every field big-endian; byte 48 and byte 317 as 0, bytes 438 to 503 as "h", the e-mail
// fields as they stand in the record, AutoBumpTime values above 1439 as 2147483647 and PumpFlow
// never below 30.
QByteArray encodeConfiguration(const DockConfigRecord& record);

// The e-mail part of the configuration, filled from the program's own e-mail settings.
struct DockEmailSettings
{
    bool Enabled = false;
    QString Recipient;
    QString Text;
    std::array<quint8, 4> SMTPAddress{};
};
// The filler a configuration read leaves in the e-mail fields.
void fillEmailFiller(DockConfigRecord& record);
// Puts the settings in the record: first 50 Latin-1 characters of each text, zero-filled.
void applyEmailSettings(DockConfigRecord& record, const DockEmailSettings& settings);

// The 276-byte test record; empty when fewer than 276 bytes are given (extra bytes are ignored).
std::optional<TestRecord> decodeTestRecord(const QByteArray& image);
QByteArray encodeTestRecord(const TestRecord& record);
// Offset of sensor entry e inside the test-record image.
constexpr int sensorEntryOffset(int entry)
{
    return 20 + SensorEntrySize * (6 - entry);
}

// ---- Record fields --------------------------------------------------------------------------

// Dock setting n (0 to 31) is bit 31 − n of SettingFlags.
bool dockSetting(quint32 flags, int n);
quint32 withDockSetting(quint32 flags, int n, bool value);

inline bool bitOf(quint16 word, int n)
{
    return n >= 0 && n < 16 && (word >> n) & 1u;
}
// Fields of a sensor entry's SensorStatus.
inline bool passFailBump(quint16 status)
{
    return status & 0x8000;
}
inline int passFailSpan(quint16 status)
{
    return (status >> 13) & 0x3;
}
inline bool passFailSensorZero(quint16 status)
{
    return status & 0x1000;
}
inline int spanFaultCause(quint16 status)
{
    return (status >> 8) & 0xF;
}

// 2000-01-01 00:00:00 (local wall clock) plus the seconds.
QDateTime FromCalderVX8Time(quint32 seconds);
QDate FromInstrumentDate(quint16 days);

// The dock's backup battery in hundredths of a volt from ADC channel 1.
inline int lithiumBatVoltage(const AdcValues& counts)
{
    return int(counts[1]) * 300 / 768;
}

// Microphone gain for a measured sound level and the audio peak: e^(level/10) / (10 × peak),
// rounded half to even. Empty outside the accepted ranges (peak 101 to 449, level above 90 and
// below 130) and when the gain does not fit the 8-bit field.
std::optional<quint8> audioGain(double level, quint16 audioPeak);

} // namespace vx8::dock
