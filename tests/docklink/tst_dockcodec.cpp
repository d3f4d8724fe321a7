// Table tests of the dock's wire format: command bytes, chunk splitting, reply payloads and the
// configuration and test-record images.

#include "docklink/DockCodec.h"

#include <QTest>

using namespace vx8;
using namespace vx8::dock;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

void put(QByteArray& image, int offset, const QByteArray& b)
{
    image.replace(offset, b.size(), b);
}

// A configuration image written by hand from the dock's layout, field by field.
QByteArray goldenConfigImage()
{
    QByteArray im(504, '\0');
    put(im, 0, bytes({0x00, 0x01, 0x86, 0x9F}));              // SerialNumber 99999
    put(im, 4, bytes({0xA8, 0x0F, 0x91, 0x23}));              // SettingFlags
    put(im, 8, bytes({0x02, 0xF4}));                          // FirmwareVersion 756
    put(im, 10, bytes({0x00, 0x2A}));                         // RecordCount 42
    put(im, 12, bytes({0x00, 0x00, 0x01, 0x02}));             // FirstRecord 258
    put(im, 16, bytes({0x00, 0x00, 0x01, 0x2C}));             // NextRecord 300
    put(im, 20, bytes({0x00, 0x14}));                         // VisualSpan 20
    put(im, 22, bytes({0x00, 0x05}));                         // AudioSpan 5
    put(im, 24, bytes({0x00, 0x5A}));                         // AudioMin 90
    put(im, 26, bytes({50, 150, 33, 21}));                    // BumpLow, BumpHigh, LCDContrast, LowFlowPoint
    put(im, 30, bytes({0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F})); // MAC
    put(im, 36, bytes({192, 168, 1, 77}));                    // IP
    put(im, 40, bytes({192, 168, 1, 1}));                     // gateway
    put(im, 44, bytes({255, 255, 255, 0}));                   // mask
    put(im, 49, bytes({15}));                                 // IrDASpeedMask
    put(im, 50, bytes({0x04, 0xD2}));                         // AccessPIN 1234
    for (int k = 0; k < 4; ++k) {
        const int b = 52 + 60 * k;
        put(im, b, QByteArray("4-GAS MIX ") + char('1' + k));
        put(im, b + 16, bytes({k + 1}));          // GasPriority
        put(im, b + 17, bytes({0xAB, 0xC0 + k})); // unused, kept
        put(im, b + 19, bytes({0x5A}));           // unused, kept
        for (int i = 0; i < 10; ++i) {
            const int conc = i < 4 ? 100 * (i + 1) + k : 65535;
            put(im, b + 20 + 2 * (9 - i), bytes({conc >> 8, conc & 0xFF}));
            put(im, b + 40 + (9 - i), bytes({i < 4 ? 10 + i : 255}));
            put(im, b + 50 + (9 - i), bytes({i < 4 ? 30 + i : 255}));
        }
    }
    put(im, 292, bytes({180}));                   // CalInterval
    put(im, 293, QByteArray("Bay 3 north wall")); // DockDescription
    put(im, 318, QByteArray(50, 'x'));            // e-mail fields: replaced by filler on read
    put(im, 368, QByteArray(50, 'y'));
    put(im, 418, bytes({10, 0, 0, 25}));
    put(im, 422, bytes({40, 30, 1, 15}));          // PumpFlow, MicGain, ProtocolVersion, DHCPDelay
    put(im, 426, bytes({0x00, 0x00, 0x01, 0xE0})); // AutoBumpTime1 480
    put(im, 430, bytes({0x7F, 0xFF, 0xFF, 0xFF})); // AutoBumpTime2 off
    put(im, 434, bytes({0x00, 0x00, 0x05, 0x9F})); // AutoBumpTime3 1439
    put(im, 438, QByteArray(66, 'z'));             // ignored on read
    return im;
}

QByteArray goldenTestRecordImage()
{
    QByteArray im(276, '\0');
    put(im, 0, bytes({0x00, 0x45, 0x56, 0x54})); // InstrumentSerial: its bytes spell "EVT"
    put(im, 4, bytes({0x00, 0x01, 0x51, 0x80})); // TestTime 86400
    put(im, 8, bytes({0x12, 0x34, 0x56, 0x78})); // FullCalDate
    put(im, 12, bytes({0x01, 0x2C}));            // InstrumentVersion 300
    put(im, 14, bytes({41, 180, 38, 97}));       // battery, remind, dB min, dB max left
    put(im, 18, bytes({0xC4, 0x00}));            // PassFailFlags: 15, 14, 10
    for (int e = 0; e < 7; ++e) {
        const int s = 20 + 36 * (6 - e);
        put(im, s, bytes({0x00, 0x00, 0x10, e})); // SensorSerial 4096 + e
        put(im, s + 4, bytes({0x00, 0x0A + e}));  // TWA
        put(im, s + 6, bytes({0x00, 0x14}));      // STEL
        put(im, s + 8, bytes({0xFF, 0xF6}));      // High -10
        put(im, s + 10, bytes({0x00, 0x32}));     // Warning
        put(im, s + 12, bytes({0x41, 0x43}));     // unused, "AC"
        put(im, s + 14, bytes({0x4B, 0x00}));     // Low: "K" then 0 (bytes 12-14 spell "ACK")
        put(im, s + 16, bytes({0x00, 0x63}));     // OldSpan 99
        put(im, s + 18, bytes({0xC3, 0x50}));     // CalGasValue 50000
        put(im, s + 20, bytes({0x01, 0x00}));     // MaxPossibleSpan
        put(im, s + 22, bytes({0x00, 0x30}));     // BumpResponse
        put(im, s + 24, bytes({12, 63, e == 3 ? 254 : 20 + e, e % 4}));
        put(im, s + 28, bytes({0x00, 0x64}));     // GasValue 100
        put(im, s + 30, bytes({0x00, 0x6E}));     // VOCRatio 110
        put(im, s + 32, bytes({0x01, 0x6E}));     // ExpiryDate 366
        put(im, s + 34, bytes({0xE5, 0x07 + e})); // status: bump, span 3, zero 0, cause 5
    }
    put(im, 272, bytes({0xA0, 0x01})); // InstrumentFlags: 15, 13
    put(im, 274, bytes({99, 7}));
    return im;
}

} // namespace

class TestDockCodec : public QObject
{
    Q_OBJECT

private slots:
    void commandBytes_data();
    void commandBytes();
    void chunks_data();
    void chunks();
    void chunkCutShort_data();
    void chunkCutShort();
    void eventValues();
    void replyPayloads();
    void clock();
    void configurationGolden();
    void configurationLength_data();
    void configurationLength();
    void configurationEdits();
    void testRecordGolden();
    void recordFields();
    void audioGainTable_data();
    void audioGainTable();
};

void TestDockCodec::commandBytes_data()
{
    QTest::addColumn<QByteArray>("actual");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ADC") << cmdGetAdcCounts() << QByteArray("ADC");
    QTest::newRow("PEK") << cmdGetAdcPeaks() << QByteArray("PEK      PEK Command");
    QTest::newRow("RAP") << cmdResetAdcPeaks() << QByteArray("RAP      RAP Command");
    QTest::newRow("RTC") << cmdGetDateTime() << QByteArray("RTC");
    QTest::newRow("STC 2009-03-05 14:07:09")
        << cmdSetDateTime(QDateTime(QDate(2009, 3, 5), QTime(14, 7, 9, 500)))
        << (QByteArray("STC") + bytes({9, 7, 14, 5, 3, 0, 9}));
    QTest::newRow("STC before 2000 refused")
        << cmdSetDateTime(QDateTime(QDate(1999, 12, 31), QTime(0, 0))) << QByteArray();
    QTest::newRow("REE") << cmdGetConfiguration() << QByteArray("REE");
    QTest::newRow("GTR") << cmdGetTestRecord() << QByteArray("GTR");
    QTest::newRow("STD") << cmdGetTestRecords() << QByteArray("STD");
    QTest::newRow("CLT 300") << cmdClearTestRecords(300) << (QByteArray("CLT") + bytes({1, 44}));
    QTest::newRow("CLT 0") << cmdClearTestRecords(0) << (QByteArray("CLT") + bytes({0, 0}));
    QTest::newRow("CLT 65536 refused") << cmdClearTestRecords(65536) << QByteArray();
    QTest::newRow("CLT -1 refused") << cmdClearTestRecords(-1) << QByteArray();
    QTest::newRow("TST 2") << cmdPerformTest(2) << (QByteArray("TST") + bytes({2}));
    QTest::newRow("GST") << cmdGetIsDockBusy() << QByteArray("GST");
    QTest::newRow("SLV") << cmdSetDockMode(true) << QByteArray("SLV");
    QTest::newRow("MST") << cmdSetDockMode(false) << QByteArray("MST");
    QTest::newRow("LCD0 padded") << cmdSetLCDText(0, QStringLiteral("ABC"))
                                 << QByteArray("LCD0ABC             ");
    QTest::newRow("LCD1 cut") << cmdSetLCDText(1, QStringLiteral("0123456789ABCDEFGHIJ"))
                              << QByteArray("LCD10123456789ABCDEF");
    QTest::newRow("LCD2") << cmdSetLCDText(2, QString()) << QByteArray("LCD2                ");
    QTest::newRow("LCD3 for line 7") << cmdSetLCDText(7, QStringLiteral("x"))
                                     << QByteArray("LCD3x               ");
    QTest::newRow("LCD Latin-1") << cmdSetLCDText(0, QStringLiteral("\u00B0C"))
                                 << QByteArray("LCD0\xB0"
                                               "C              ");
    QTest::newRow("RLC0") << cmdReadLCDText(0) << QByteArray("RLC0");
    QTest::newRow("RLC1 for line 5") << cmdReadLCDText(5) << QByteArray("RLC1");
    QTest::newRow("PSS 250,2") << cmdSetPumpStatus(250, 2) << (QByteArray("PSS") + bytes({100, 2}));
    QTest::newRow("PSS -5,0") << cmdSetPumpStatus(-5, 0) << (QByteArray("PSS") + bytes({0, 0}));
    QTest::newRow("DSC") << cmdDisconnectInstrument() << QByteArray("DSC");
    QTest::newRow("IRS") << cmdStartIrDASearch() << QByteArray("IRS");
    QTest::newRow("TEM") << cmdSendTestEmail() << QByteArray("TEM");
    QTest::newRow("ENQ") << cmdSendENQ() << QByteArray("ENQ");
    QTest::newRow("GFD") << cmdGetFlashDateTime() << QByteArray("GFD");
    DockConfigRecord r;
    QTest::newRow("WEE length") << cmdWriteConfiguration(r).left(3) +
                                       QByteArray::number(cmdWriteConfiguration(r).size())
                                << QByteArray("WEE507");
}

void TestDockCodec::commandBytes()
{
    QFETCH(QByteArray, actual);
    QFETCH(QByteArray, expected);
    QCOMPARE(actual, expected);
}

// codes: the codes of the events raised, in order; reply: "", "ACK" or "NAK"; payload: the
// reply's payload size.
void TestDockCodec::chunks_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("codes");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("payload");

    QTest::newRow("state Stb then ACK")
        << (QByteArray("EVT7") + char(6) + "ACK") << 0 << QByteArray("7") << QByteArray("ACK") << 0;
    QTest::newRow("12 events, 10 raised, then ACK") << (QByteArray("EVT1").repeated(12) + "ACK") << 0
                                                    << QByteArray("1111111111") << QByteArray("ACK") << 0;
    QTest::newRow("unknown code") << QByteArray("EVTZEVT0ACK") << 0 << QByteArray("0") << QByteArray("ACK")
                                  << 0;
    QTest::newRow("event after ACK comes too")
        << (QByteArray("ACKEVT2")) << 0 << QByteArray("2") << QByteArray("ACK") << 0;
    QTest::newRow("NAK") << QByteArray("NAK") << 0 << QByteArray() << QByteArray("NAK") << 0;
    QTest::newRow("ACK wins over NAK") << (QByteArray("NAKACK") + bytes({1, 2, 3, 4, 5, 6, 7, 8})) << 1
                                       << QByteArray() << QByteArray("ACK") << 8;
    QTest::newRow("bytes outside tokens skipped")
        << QByteArray("\r\nxxEVT4zzNAK") << 0 << QByteArray("4") << QByteArray("NAK") << 0;
    QTest::newRow("debug text holding ACK") << (QByteArray("EVT8") + char(10) + "no ACK yet" + "NAK") << 0
                                            << QByteArray("8") << QByteArray("NAK") << 0;
    QByteArray ree(504, 'q');
    ree.replace(100, 4, "EVT1");
    ree.replace(200, 3, "NAK");
    QTest::newRow("REE payload holding EVT and NAK")
        << (QByteArray("ACK") + ree) << 4 << QByteArray() << QByteArray("ACK") << 504;
    QTest::newRow("GTR payload holding EVT and ACK, then an event")
        << (QByteArray("ACK") + goldenTestRecordImage() + "EVT1") << 5 << QByteArray("1") << QByteArray("ACK")
        << 276;
    QByteArray gas = QByteArray("EVT9") + QByteArray("ACK").repeated(4) + "NA";
    QTest::newRow("gas reading holding ACK, then NAK")
        << (gas + "NAK") << 0 << QByteArray("9") << QByteArray("NAK") << 0;
    QTest::newRow("REE 505 is all payload")
        << (QByteArray("ACK") + QByteArray(505, 'a')) << 4 << QByteArray() << QByteArray("ACK") << 505;
    QTest::newRow("GFD runs to the end")
        << QByteArray("EVT1ACKMar 19 2010 EVT2") << 7 << QByteArray("1") << QByteArray("ACK") << 16;
    QTest::newRow("second ACK is stray")
        << QByteArray("ACKNACKB") << 6 << QByteArray() << QByteArray("ACK") << 1;
    QTest::newRow("empty") << QByteArray() << 0 << QByteArray() << QByteArray() << 0;
}

void TestDockCodec::chunks()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, kind);
    QFETCH(QByteArray, codes);
    QFETCH(QByteArray, reply);
    QFETCH(int, payload);
    const ParsedChunk p = parseControlChunk(chunk, ReplyKind(kind), true);
    QByteArray got;
    for (const DockEvent& e : p.events)
        got.append(e.code);
    QCOMPARE(got, codes);
    QCOMPARE(p.reply.has_value(), !reply.isEmpty());
    if (p.reply) {
        QCOMPARE(p.reply->ack, reply == "ACK");
        QCOMPARE(int(p.reply->payload.size()), payload);
    }
    QCOMPARE(p.consumed, chunk.size());
}

// A token cut short by the end of the chunk: left unread while more may come, decoded from what
// is there at the end.
void TestDockCodec::chunkCutShort_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("unreadFrom"); // consumed when not final
    QTest::addColumn<QByteArray>("finalCodes");
    QTest::addColumn<int>("finalPayload"); // -1: no reply when final

    QTest::newRow("ADC 5 of 8") << (QByteArray("ACK") + bytes({1, 2, 3, 4, 5})) << 1 << 0 << QByteArray()
                                << 5;
    QTest::newRow("PEK 0 of 8") << QByteArray("EVT1ACK") << 2 << 4 << QByteArray("1") << 0;
    QTest::newRow("RTC 6 of 7") << (QByteArray("ACK") + bytes({1, 2, 3, 4, 5, 6})) << 3 << 0 << QByteArray()
                                << 6;
    QTest::newRow("REE 503") << (QByteArray("ACK") + QByteArray(503, 'r')) << 4 << 0 << QByteArray() << 503;
    QTest::newRow("GTR 275") << (QByteArray("ACK") + QByteArray(275, 't')) << 5 << 0 << QByteArray() << 275;
    QTest::newRow("busy 0 of 1") << QByteArray("ACK") << 6 << 0 << QByteArray() << 0;
    QTest::newRow("LCD 15 of 16") << (QByteArray("ACK") + QByteArray(15, 'l')) << 8 << 0 << QByteArray()
                                  << 15;
    QTest::newRow("gas reading 13 of 14")
        << (QByteArray("ACKEVT9") + QByteArray(13, '\1')) << 0 << 3 << QByteArray() << 0;
    QTest::newRow("state without byte") << QByteArray("EVT7") << 0 << 0 << QByteArray() << -1;
    QTest::newRow("debug text 3 of 16")
        << (QByteArray("EVT8") + char(16) + "abc") << 0 << 0 << QByteArray("8") << -1;
    QTest::newRow("battery 3 of 5") << QByteArray("EVTEC01") << 0 << 0 << QByteArray() << -1;
    QTest::newRow("EVT without code") << QByteArray("ACKEVT") << 0 << 3 << QByteArray() << 0;
    QTest::newRow("trailing AC") << QByteArray("EVT1AC") << 0 << 4 << QByteArray("1") << -1;
    QTest::newRow("trailing N") << QByteArray("EVT1N") << 0 << 4 << QByteArray("1") << -1;
    QTest::newRow("trailing x is not held") << QByteArray("EVT1x") << 0 << 5 << QByteArray("1") << -1;
}

void TestDockCodec::chunkCutShort()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, kind);
    QFETCH(int, unreadFrom);
    QFETCH(QByteArray, finalCodes);
    QFETCH(int, finalPayload);
    const ParsedChunk partial = parseControlChunk(chunk, ReplyKind(kind), false);
    QCOMPARE(int(partial.consumed), unreadFrom);
    const ParsedChunk last = parseControlChunk(chunk, ReplyKind(kind), true);
    QCOMPARE(last.consumed, chunk.size());
    QByteArray got;
    for (const DockEvent& e : last.events)
        got.append(e.code);
    QCOMPARE(got, finalCodes);
    QCOMPARE(last.reply.has_value(), finalPayload >= 0);
    if (last.reply)
        QCOMPARE(int(last.reply->payload.size()), finalPayload);
    // The two halves joined read like the whole.
    if (unreadFrom < chunk.size()) {
        const ParsedChunk rest = parseControlChunk(chunk.mid(unreadFrom), ReplyKind(kind), true);
        QCOMPARE(rest.events.size() + partial.events.size(), last.events.size());
    }
}

void TestDockCodec::eventValues()
{
    const auto one = [](const QByteArray& chunk) {
        const ParsedChunk p = parseControlChunk(chunk, ReplyKind::None, true);
        return p.events;
    };
    auto ev = one(QByteArray("EVTEC") + QByteArray::number(400, 16).rightJustified(4, '0'));
    QCOMPARE(ev.size(), 1);
    QCOMPARE(ev[0].flag, true);
    QCOMPARE(ev[0].voltage, quint16(400));
    ev = one("EVTED0190");
    QCOMPARE(ev.size(), 1);
    QCOMPARE(ev[0].flag, false);
    QCOMPARE(ev[0].voltage, quint16(400));
    QVERIFY(one("EVTEX0190").isEmpty());
    QVERIFY(one("EVTEC01G0").isEmpty());
    ev = one("EVTEcABcd"); // lower-case hex digits are hex digits
    QVERIFY(ev.isEmpty()); // ... but the first character must be "C" or "D"
    ev = one("EVTECabcd");
    QCOMPARE(ev.size(), 1);
    QCOMPARE(ev[0].voltage, quint16(0xABCD));

    ev = one("EVTA2");
    QCOMPARE(ev.size(), 1);
    QCOMPARE(TInstState(ev[0].value), TInstState::IS_DeadAlkaline);
    QVERIFY(one("EVTAx").isEmpty());

    ev = one(QByteArray("EVT3") + char(200)); // out-of-range ordinal carried raw
    QCOMPARE(ev.size(), 1);
    QCOMPARE(int(ev[0].value), 200);

    ev = one(QByteArray("EVTB") + char(3) + char(0x41));
    QCOMPARE(ev.size(), 1);
    QCOMPARE(TSpanCalDueTo(ev[0].value), TSpanCalDueTo::Span_DockCalDue);
    QVERIFY(TSensorFlags{ev[0].sensors}.contains(TSensorSlot::S_SLOT_6));
    QVERIFY(TSensorFlags{ev[0].sensors}.contains(TSensorSlot::S_SLOT_0));
    QVERIFY(!TSensorFlags{ev[0].sensors}.contains(TSensorSlot::S_SLOT_1));

    ev = one("EVTD1EVTD0");
    QCOMPARE(ev.size(), 2);
    QCOMPARE(ev[0].flag, true);
    QCOMPARE(ev[1].flag, false);

    ev = one(QByteArray("EVT9") +
             bytes({0x00, 0x01, 0xFF, 0xFE, 0x7F, 0xFF, 0x80, 0x00, 0, 0, 0, 5, 0x12, 0x34}));
    QCOMPARE(ev.size(), 1);
    const TGasReading expected{1, -2, 32767, -32768, 0, 5, 0x1234};
    QCOMPARE(ev[0].reading, expected);
    // Element 6 − s belongs to instrument slot s.
    QCOMPARE(ev[0].reading[std::size_t(sensorEntryOfSlot(0))], qint16(0x1234));

    ev = one(QByteArray("EVT8") + char(0));
    QCOMPARE(ev.size(), 1);
    QVERIFY(ev[0].text.isEmpty());
}

void TestDockCodec::replyPayloads()
{
    const auto adc = decodeAdc(bytes({0x01, 0x2C, 0x03, 0x00, 0xFF, 0xFF, 0x00, 0x07}));
    QVERIFY(adc);
    QCOMPARE(*adc, (AdcValues{300, 768, 65535, 7}));
    QCOMPARE(lithiumBatVoltage(*adc), 300);
    QVERIFY(!decodeAdc(QByteArray(7, '\0')));
    QCOMPARE(decodeBusy("B"), std::optional<bool>(true));
    QCOMPARE(decodeBusy("N"), std::optional<bool>(false));
    QVERIFY(!decodeBusy(QByteArray()));
    QCOMPARE(decodeLcdText("Ready to test   "), std::optional<QString>(QStringLiteral("Ready to test   ")));
    QVERIFY(!decodeLcdText("short"));
    QCOMPARE(decodeFlashDateText("Mar 19 2010"), QStringLiteral("Mar 19 2010"));
}

void TestDockCodec::clock()
{
    const ClockReply ok = decodeClock(bytes({9, 7, 14, 5, 3, 0, 9}));
    QVERIFY(ok.complete);
    QCOMPARE(ok.value, std::optional<QDateTime>(QDateTime(QDate(2009, 3, 5), QTime(14, 7, 9))));
    const ClockReply bad = decodeClock(bytes({0, 0, 0, 30, 2, 0, 9})); // 30 February
    QVERIFY(bad.complete);
    QVERIFY(!bad.value);
    QVERIFY(!decodeClock(bytes({61, 0, 0, 1, 1, 0, 9})).value);
    QVERIFY(!decodeClock(bytes({0, 0, 0, 1, 1, 0})).complete);
    QCOMPARE(encodeClock(QDateTime(QDate(2009, 3, 5), QTime(14, 7, 9))), bytes({9, 7, 14, 5, 3, 0, 9}));

    QCOMPARE(FromCalderVX8Time(86400), QDateTime(QDate(2000, 1, 2), QTime(0, 0)));
    QCOMPARE(FromCalderVX8Time(0), QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    QCOMPARE(FromCalderVX8Time(0xFFFFFFFFu), QDateTime(QDate(2136, 2, 7), QTime(6, 28, 15)));
    QCOMPARE(FromInstrumentDate(366), QDate(2001, 1, 1));
}

void TestDockCodec::configurationGolden()
{
    const QByteArray image = goldenConfigImage();
    const auto r = decodeConfiguration(image);
    QVERIFY(r);
    QCOMPARE(r->SerialNumber, 99999u);
    QCOMPARE(r->SettingFlags, 0xA80F9123u);
    QCOMPARE(r->FirmwareVersion, quint16(756));
    QCOMPARE(r->RecordCount, quint16(42));
    QCOMPARE(r->FirstRecord, 258u);
    QCOMPARE(r->NextRecord, 300u);
    QCOMPARE(r->VisualSpan, quint16(20));
    QCOMPARE(r->AudioSpan, quint16(5));
    QCOMPARE(r->AudioMin, quint16(90));
    QCOMPARE(r->BumpLow, quint8(50));
    QCOMPARE(r->BumpHigh, quint8(150));
    QCOMPARE(r->LCDContrast, quint8(33));
    QCOMPARE(r->LowFlowPoint, quint8(21));
    QCOMPARE(r->MACAddress, (std::array<quint8, 6>{0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
    QCOMPARE(r->IPAddress, (std::array<quint8, 4>{192, 168, 1, 77}));
    QCOMPARE(r->GatewayAddress, (std::array<quint8, 4>{192, 168, 1, 1}));
    QCOMPARE(r->SubnetMask, (std::array<quint8, 4>{255, 255, 255, 0}));
    QCOMPARE(r->IrDASpeedMask, quint8(15));
    QCOMPARE(r->AccessPIN, quint16(1234));
    for (int k = 0; k < 4; ++k) {
        const InletBlock& in = r->Inlets[std::size_t(k)];
        QCOMPARE(in.GasType, QByteArray("4-GAS MIX ") + char('1' + k) + QByteArray(5, '\0'));
        QCOMPARE(in.GasPriority, quint8(k + 1));
        QCOMPARE(in.Unused17, quint16(0xABC0 + k));
        QCOMPARE(in.Unused19, quint8(0x5A));
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(in.Concentration[std::size_t(i)], quint16(i < 4 ? 100 * (i + 1) + k : 65535));
            QCOMPARE(in.GasCode[std::size_t(i)], quint8(i < 4 ? 10 + i : 255));
            QCOMPARE(in.BumpDuration[std::size_t(i)], quint8(i < 4 ? 30 + i : 255));
        }
    }
    QCOMPARE(r->CalInterval, quint8(180));
    QCOMPARE(r->DockDescription, QByteArray("Bay 3 north wall") + QByteArray(8, '\0'));
    QCOMPARE(r->EmailRecipient, QByteArray(50, 'e'));
    QCOMPARE(r->EmailText, QByteArray(50, 'f'));
    QCOMPARE(r->SMTPAddress, (std::array<quint8, 4>{'g', 'g', 'g', 'g'}));
    QCOMPARE(r->PumpFlow, quint8(40));
    QCOMPARE(r->MicGain, quint8(30));
    QCOMPARE(r->ProtocolVersion, quint8(1));
    QCOMPARE(r->DHCPDelay, quint8(15));
    QCOMPARE(r->AutoBumpTime1, 480);
    QCOMPARE(r->AutoBumpTime2, 2147483647);
    QCOMPARE(r->AutoBumpTime3, 1439);
    QVERIFY(dockSetting(r->SettingFlags, 0)); // 0xA8: bits 0, 2, 4
    QVERIFY(!dockSetting(r->SettingFlags, 1));
    QVERIFY(dockSetting(r->SettingFlags, 2));
    QVERIFY(dockSetting(r->SettingFlags, 4));
    QVERIFY(dockSetting(r->SettingFlags, 31)); // 0x23: bits 26, 30, 31

    // Written back unedited: 0-317 and 422-437 as read, e-mail filler, byte 48 zero, "h" tail.
    const QByteArray back = encodeConfiguration(*r);
    QCOMPARE(back.size(), 504);
    QCOMPARE(back.left(318), image.left(318));
    QCOMPARE(back.mid(318, 50), QByteArray(50, 'e'));
    QCOMPARE(back.mid(368, 50), QByteArray(50, 'f'));
    QCOMPARE(back.mid(418, 4), QByteArray("gggg"));
    QCOMPARE(back.mid(422, 16), image.mid(422, 16));
    QCOMPARE(back.mid(438), QByteArray(66, 'h'));
}

void TestDockCodec::configurationLength_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("decoded");
    QTest::newRow("503") << 503 << false;
    QTest::newRow("504") << 504 << true;
    QTest::newRow("505") << 505 << false;
    QTest::newRow("0") << 0 << false;
}

void TestDockCodec::configurationLength()
{
    QFETCH(int, size);
    QFETCH(bool, decoded);
    QCOMPARE(decodeConfiguration(goldenConfigImage().leftJustified(size, 'p', true)).has_value(), decoded);
}

void TestDockCodec::configurationEdits()
{
    QByteArray image = goldenConfigImage();
    image[48] = char(0x77); // not decoded, written as 0
    image[49] = 5;          // unknown speed mask
    auto r = decodeConfiguration(image);
    QVERIFY(r);
    QCOMPARE(r->IrDASpeedMask, quint8(7));
    QByteArray back = encodeConfiguration(*r);
    QCOMPARE(back[48], '\0');
    QCOMPARE(back[49], char(7));
    r->IrDASpeedMask = 9;
    QCOMPARE(encodeConfiguration(*r)[49], char(7));

    // Off values of the timed tests go out as 2147483647; PumpFlow never below 30.
    r->AutoBumpTime1 = 1440;
    r->PumpFlow = 12;
    back = encodeConfiguration(*r);
    QCOMPARE(back.mid(426, 4), bytes({0x7F, 0xFF, 0xFF, 0xFF}));
    QCOMPARE(back[422], char(30));

    // Setting bit n is mask 0x80000000 >> n; the others stay.
    quint32 flags = 0x00000010; // bit 27
    flags = withDockSetting(flags, 0, true);
    QCOMPARE(flags, 0x80000010u);
    flags = withDockSetting(flags, 12, true);
    QCOMPARE(flags, 0x80080010u);
    flags = withDockSetting(flags, 0, false);
    QCOMPARE(flags, 0x00080010u);
    QCOMPARE(withDockSetting(flags, 32, true), flags);
    QVERIFY(!dockSetting(0xFFFFFFFFu, -1));

    // E-mail settings fill the fields, cut to 50 and zero-filled.
    applyEmailSettings(
        *r, DockEmailSettings{
                true, QStringLiteral("alarms@example.org"), QString(60, QLatin1Char('t')), {10, 1, 2, 3}});
    back = encodeConfiguration(*r);
    QCOMPARE(back.mid(318, 50), QByteArray("alarms@example.org").leftJustified(50, '\0'));
    QCOMPARE(back.mid(368, 50), QByteArray(50, 't'));
    QCOMPARE(back.mid(418, 4), bytes({10, 1, 2, 3}));

    // A long description or gas name is cut to its field; byte 317 stays 0.
    r->DockDescription = QByteArray(40, 'D');
    r->Inlets[0].GasType = QByteArray(20, 'G');
    back = encodeConfiguration(*r);
    QCOMPARE(back.mid(293, 24), QByteArray(24, 'D'));
    QCOMPARE(back[317], '\0');
    QCOMPARE(back.mid(52, 16), QByteArray(16, 'G'));
    QCOMPARE(back[68], char(1)); // GasPriority of inlet 1 untouched
}

void TestDockCodec::testRecordGolden()
{
    const QByteArray image = goldenTestRecordImage();
    const auto r = decodeTestRecord(image);
    QVERIFY(r);
    QCOMPARE(r->InstrumentSerial, 0x00455654u);
    QCOMPARE(r->TestTime, 86400u);
    QCOMPARE(r->FullCalDate, 0x12345678u);
    QCOMPARE(r->InstrumentVersion, quint16(300));
    QCOMPARE(r->InstrumentBattery, quint8(41));
    QCOMPARE(r->RemindInterval, quint8(180));
    QCOMPARE(r->AudioDbMin, quint8(38));
    QCOMPARE(r->AudioDbMaxLeft, quint8(97));
    QCOMPARE(r->PassFailFlags, quint16(0xC400));
    QVERIFY(bitOf(r->PassFailFlags, 15) && bitOf(r->PassFailFlags, 14) && bitOf(r->PassFailFlags, 10));
    QVERIFY(!bitOf(r->PassFailFlags, 13));
    for (int e = 0; e < 7; ++e) {
        const TestSensorEntry& s = r->Sensors[std::size_t(e)];
        QCOMPARE(s.SensorSerial, quint32(4096 + e));
        QCOMPARE(s.TWAAlarm, qint16(10 + e));
        QCOMPARE(s.STELAlarm, qint16(20));
        QCOMPARE(s.HighAlarm, qint16(-10));
        QCOMPARE(s.WarningAlarm, qint16(50));
        QCOMPARE(s.Unused12, qint16(0x4143));
        QCOMPARE(s.LowAlarm, qint16(0x4B00));
        QCOMPARE(s.OldSpan, qint16(99));
        QCOMPARE(s.CalGasValue, quint16(50000));
        QCOMPARE(s.MaxPossibleSpan, qint16(256));
        QCOMPARE(s.BumpResponse, qint16(48));
        QCOMPARE(s.BumpTime, quint8(12));
        QCOMPARE(s.T63, quint8(63));
        QCOMPARE(s.SensorType, quint8(e == 3 ? 254 : 20 + e));
        QCOMPARE(s.GasPort, quint8(e % 4));
        QCOMPARE(s.GasValue, quint16(100));
        QCOMPARE(s.VOCRatio, qint16(110));
        QCOMPARE(s.ExpiryDate, quint16(366));
        QCOMPARE(s.SensorStatus, quint16(0xE507 + e));
        QVERIFY(passFailBump(s.SensorStatus));
        QCOMPARE(passFailSpan(s.SensorStatus), 3);
        QVERIFY(!passFailSensorZero(s.SensorStatus));
        QCOMPARE(spanFaultCause(s.SensorStatus), 5);
    }
    QCOMPARE(r->InstrumentFlags, quint16(0xA001));
    QCOMPARE(r->AudioDbMaxRight, quint8(99));
    QCOMPARE(r->VOCCode, quint8(7));
    QCOMPARE(encodeTestRecord(*r), image);
    QVERIFY(!decodeTestRecord(image.left(275)));
    QCOMPARE(decodeTestRecord(image + "extra"), r);
}

void TestDockCodec::recordFields()
{
    QCOMPARE(passFailSpan(0x6000), 3);
    QCOMPARE(spanFaultCause(0x0500), 5);
    QVERIFY(passFailSensorZero(0x1000));
    QVERIFY(!passFailBump(0x7FFF));
    // Entry e sits at 20 + 36 × (6 − e) and belongs to slot 6 − e.
    QCOMPARE(sensorEntryOffset(6), 20);
    QCOMPARE(sensorEntryOffset(0), 236);
    QCOMPARE(instrumentSlotOfSensorEntry(0), 6);
    QCOMPARE(instrumentSlotOfSensorEntry(6), 0);
    QCOMPARE(sensorEntryOfSlot(2), 4);
    QCOMPARE(normalizeIrDASpeedMask(63), quint8(63));
    QCOMPARE(normalizeIrDASpeedMask(0), quint8(7));
    QCOMPARE(normalizeIrDASpeedMask(255), quint8(7));
}

void TestDockCodec::audioGainTable_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("peak");
    QTest::addColumn<int>("gain"); // -1: refused
    QTest::newRow("110 dBA, peak 200") << 110.0 << 200 << 30;
    QTest::newRow("peak 100") << 110.0 << 100 << -1;
    QTest::newRow("peak 450") << 110.0 << 450 << -1;
    QTest::newRow("90 dBA") << 90.0 << 200 << -1;
    QTest::newRow("130 dBA") << 130.0 << 200 << -1;
    QTest::newRow("above 255 would wrap") << 129.0 << 101 << -1;
    QTest::newRow("largest that fits") << 124.0 << 101 << 240;
}

void TestDockCodec::audioGainTable()
{
    QFETCH(double, level);
    QFETCH(int, peak);
    QFETCH(int, gain);
    const auto g = audioGain(level, quint16(peak));
    QCOMPARE(g.has_value(), gain >= 0);
    if (g)
        QCOMPARE(int(*g), gain);
}

QTEST_GUILESS_MAIN(TestDockCodec)
#include "tst_dockcodec.moc"
