#include "instrument/KorFraming.h"

namespace vx8::korframe {

bool usesMessageIndex(TKorType t)
{
    return t == TKorType::tpKor7 || t == TKorType::tpZeltHead;
}

bool isFramed(TKorType t)
{
    return t == TKorType::tpTessary || t == TKorType::tpMellic || t == TKorType::tpQuorra;
}

bool hasChecksum(TKorType t)
{
    return t == TKorType::tpQuorra;
}

QByteArray EncodeCHRs(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == StartChar || c == EndChar || c == EscapeChar) {
            out.append(EscapeChar);
            out.append(static_cast<char>(c ^ 0x20));
        } else {
            out.append(c);
        }
    }
    return out;
}

std::optional<quint16> CalculateChecksum(const QByteArray& message)
{
    quint32 sum = 0;
    for (char c : message)
        sum += static_cast<quint8>(c);
    if (sum > 0xFFFF)
        return std::nullopt;
    return static_cast<quint16>(sum);
}

std::optional<QByteArray> buildFrame(TKorType type, const QByteArray& message)
{
    if (!isFramed(type))
        return message;
    QByteArray body = message;
    if (hasChecksum(type)) {
        const auto sum = CalculateChecksum(message);
        if (!sum)
            return std::nullopt;
        body.append(static_cast<char>(*sum >> 8));
        body.append(static_cast<char>(*sum & 0xFF));
    }
    return StartChar + EncodeCHRs(body) + EndChar;
}

void ReceiveBuffer::add(const QByteArray& chunk)
{
    if (chunk.contains(StartChar))
        bytes = chunk;
    else
        bytes.append(chunk);
    if (chunk.contains(EndChar))
        frameComplete = true;
}

std::optional<QByteArray> GetTessaryMsg(ReceiveBuffer& buffer, TKorType type)
{
    if (!buffer.frameComplete)
        return std::nullopt;
    buffer.frameComplete = false;
    const int start = buffer.bytes.indexOf(StartChar);
    if (start < 0)
        return std::nullopt;
    QByteArray decoded;
    bool ended = false;
    int i = start + 1;
    for (; i < buffer.bytes.size(); ++i) {
        const char c = buffer.bytes[i];
        if (c == EndChar) {
            ended = true;
            break;
        }
        if (c == EscapeChar) {
            if (++i >= buffer.bytes.size())
                break;
            decoded.append(static_cast<char>(buffer.bytes[i] ^ 0x20));
        } else {
            decoded.append(c);
        }
    }
    if (!ended)
        return std::nullopt;
    buffer.bytes.remove(0, i + 1);
    if (hasChecksum(type)) {
        if (decoded.size() < 2)
            return std::nullopt;
        const QByteArray message = decoded.left(decoded.size() - 2);
        const quint16 sent = static_cast<quint16>((static_cast<quint8>(decoded[decoded.size() - 2]) << 8) |
                                                  static_cast<quint8>(decoded[decoded.size() - 1]));
        const auto sum = CalculateChecksum(message);
        if (!sum || *sum != sent)
            return std::nullopt;
        return message;
    }
    return decoded;
}

} // namespace vx8::korframe
