#pragma once

// Framing of the older instrument families on the direct carriers (serial port): start and end
// characters with escaping, and for one family a 16-bit checksum. Pure functions.

#include <QByteArray>

#include <optional>

namespace vx8 {

// The instrument family of a link. Only tpKor7 (and tpZeltHead) carry the message index.
enum class TKorType
{
    tpKorLite,
    tpKor6,
    tpVeskar,
    tpTessary,
    tpMellic,
    tpQuorra,
    tpOrvaneLEL,
    tpKor7,
    tpZeltHead
};

namespace korframe {

inline constexpr char StartChar = '\xE6';
inline constexpr char EndChar = '\xE7';
inline constexpr char EscapeChar = '\xE8';
// Above this the serial receive buffer of the framed families is emptied.
inline constexpr int MaxReceiveBuffer = 1024;

bool usesMessageIndex(TKorType type); // tpKor7, tpZeltHead
bool isFramed(TKorType type);         // tpTessary, tpMellic, tpQuorra
bool hasChecksum(TKorType type);      // tpQuorra

// Each 0xE6, 0xE7 or 0xE8 becomes 0xE8 followed by the byte XOR 0x20.
QByteArray EncodeCHRs(const QByteArray& text);
// The sum of all bytes as an unsigned 16-bit number; nothing when it exceeds 65535.
std::optional<quint16> CalculateChecksum(const QByteArray& message);
// The bytes a direct carrier writes for `message`; nothing on a checksum overflow.
std::optional<QByteArray> buildFrame(TKorType type, const QByteArray& message);

// The receive buffer of the framed families and its frame-complete flag.
struct ReceiveBuffer
{
    QByteArray bytes;
    bool frameComplete = false;
    // Adds received bytes: a chunk holding a start character replaces the buffer.
    void add(const QByteArray& chunk);
};
// Takes one decoded frame out of the buffer (only when a frame is complete). For tpQuorra the
// checksum must match, otherwise the frame is dropped and nothing returned. The flag is cleared
// in every case and a taken or dropped frame leaves the buffer.
std::optional<QByteArray> GetTessaryMsg(ReceiveBuffer& buffer, TKorType type);

} // namespace korframe
} // namespace vx8
