// libFuzzer target for the control-chunk reader and the record decoders.
//
// Input: byte 0 picks the reply kind, byte 1 where the chunk is cut in two (as a transport may
// deliver it), the rest is the chunk. The reader must never read past the chunk, never report
// more than it was given, and read a chunk cut in two like the whole; the decoders must take
// any bytes, and the record images must survive a round trip.

#include "docklink/DockCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace vx8;
using namespace vx8::dock;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void decodeReply(ReplyKind kind, const QByteArray& payload)
{
    const int length = replyPayloadLength(kind);
    if (length >= 0)
        check(payload.size() <= length);
    switch (kind) {
    case ReplyKind::AdcCounts:
    case ReplyKind::AdcPeaks:
        check(decodeAdc(payload).has_value() == (payload.size() == AdcPayloadSize));
        break;
    case ReplyKind::Clock: {
        const ClockReply c = decodeClock(payload);
        check(c.complete == (payload.size() == ClockPayloadSize));
        if (c.value)
            check(encodeClock(*c.value) == QByteArray(payload).replace(5, 1, QByteArray(1, '\0')));
        break;
    }
    case ReplyKind::Configuration: {
        const auto r = decodeConfiguration(payload);
        check(r.has_value() == (payload.size() == ConfigImageSize));
        if (r) {
            const QByteArray image = encodeConfiguration(*r);
            check(image.size() == ConfigImageSize);
            check(image.left(48) == payload.left(48));
            const auto again = decodeConfiguration(image);
            check(again.has_value());
            check(encodeConfiguration(*again) == image);
        }
        break;
    }
    case ReplyKind::Test: {
        const auto r = decodeTestRecord(payload);
        check(r.has_value() == (payload.size() == TestRecordSize));
        if (r)
            check(encodeTestRecord(*r) == payload);
        break;
    }
    case ReplyKind::Busy:
        check(decodeBusy(payload).has_value() == !payload.isEmpty());
        break;
    case ReplyKind::LcdText:
        check(decodeLcdText(payload).has_value() == (payload.size() == LcdTextSize));
        break;
    case ReplyKind::FlashDateText:
        check(decodeFlashDateText(payload).size() == payload.size());
        break;
    case ReplyKind::None:
        break;
    }
}

void checkParsed(const ParsedChunk& p, qsizetype size, ReplyKind kind)
{
    check(p.consumed >= 0 && p.consumed <= size);
    check(p.events.size() <= MaxEventsPerChunk);
    for (const DockEvent& e : p.events) {
        check(e.text.size() <= 255);
        if (e.code == 'A')
            check(e.value <= 9);
    }
    if (p.reply)
        decodeReply(kind, p.reply->payload);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const ReplyKind kind = ReplyKind(data[0] % 9);
    const QByteArray chunk(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    const ParsedChunk whole = parseControlChunk(chunk, kind, true);
    check(whole.consumed == chunk.size());
    checkParsed(whole, chunk.size(), kind);

    // Cut in two: what the first part leaves unread is read again with the second part.
    const qsizetype cut = chunk.isEmpty() ? 0 : qsizetype(data[1]) % (chunk.size() + 1);
    const ParsedChunk first = parseControlChunk(chunk.left(cut), kind, false);
    checkParsed(first, cut, kind);
    const QByteArray rest = chunk.left(cut).mid(first.consumed) + chunk.mid(cut);
    const ParsedChunk second = parseControlChunk(rest, kind, true);
    checkParsed(second, rest.size(), kind);

    // The records decode from any bytes of the right length.
    decodeReply(ReplyKind::Configuration, chunk.left(ConfigImageSize).size() == ConfigImageSize
                                              ? chunk.left(ConfigImageSize)
                                              : QByteArray());
    decodeReply(ReplyKind::Test, chunk.left(TestRecordSize).size() == TestRecordSize
                                     ? chunk.left(TestRecordSize)
                                     : QByteArray());
    return 0;
}
