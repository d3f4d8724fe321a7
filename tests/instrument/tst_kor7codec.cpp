// The instrument codec: request bytes, reply decoders (full, every truncation, NAK, wrong index,
// ECK), clock, screens and the firmware file check.

#include "instrument/Kor7Codec.h"

#include <QTest>

#include <functional>

using namespace vx8::kor7;

Q_DECLARE_METATYPE(vx8::kor7::ReplyStatus)

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(static_cast<char>(v));
    return b;
}

QByteArray pattern(int n, int seed)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return b;
}

using Decoder = std::function<ReplyStatus(const QByteArray&, char)>;

// Every reply decoder, by command, with a full reply for index '3'.
struct DecoderCase
{
    const char* name;
    Decoder decode;
    QByteArray full;
    bool hasEndMarker;
};

QList<DecoderCase> decoderCases()
{
    const QByteArray ack3("ACK3");
    auto st = [](auto f) { return [f](const QByteArray& r, char i) { return f(r, i).status; }; };
    QByteArray events = ack3 + bytes({1, 2}) + pattern(96, 1);
    QByteArray session = ack3 + bytes({4}) + pattern(SessionHeaderSize, 2);
    QByteArray records = ack3 + bytes({0x01, 0x02, 2}) + pattern(2 * dataLoggerRecordSize(4), 3);
    return {
        {"ack", st(decodeAck), ack3, false},
        {"WHO", st(decodeWho), ack3 + "15", false},
        {"VFL", st(decodeFlashVersion), ack3 + "1", false}, // any text from one byte on
        {"CKE", st(decodeEventCount), ack3 + bytes({30}), true},
        {"CKD", st(decodeSessionCount), ack3 + bytes({1, 12}), true},
        {"RAC I", st(decodeInstrumentCounts), ack3 + pattern(10, 4), false},
        {"RAC S", st(decodeSensorCounts), ack3 + pattern(14, 5), false},
        {"GGR", st(decodeGasReading), ack3 + "R" + pattern(14, 6), false},
        {"RAE", st(decodeSensorSlot), ack3 + pattern(SensorSlotSize, 7), false},
        {"RUE", st(decodeUnitMemory), ack3 + pattern(UnitMemorySize, 8), false},
        {"RCS", st(decodeScreens), ack3 + pattern(ScreensSize, 9), false},
        {"GST", st(decodeSensorTable), ack3 + pattern(7, 10), false},
        {"RSC", st(decodeClock), ack3 + bytes({0, 1, 2, 3}), false},
        {"WEP", st(decodePageEcho), ack3 + bytes({1, 2}), false},
        {"DED", st(decodeEventPacket), events, true},
        {"RSS", st(decodeSessionHeader), session, true},
        {"DSD", [](const QByteArray& r, char i) { return decodeRecordPacket(r, i, 4).status; }, records,
         true},
    };
}

} // namespace

class TstKor7Codec : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void indexSequence();
    void everyDecoder_data();
    void everyDecoder();
    void decodedValues();
    void whoLooksOnlyAtData_data();
    void whoLooksOnlyAtData();
    void countUpperBounds();
    void gasReadingNeedsTag();
    void recordPacketKeepsWholeRecords();
    void clock_data();
    void clock();
    void screens();
    void flashFile_data();
    void flashFile();
    void flashBlockSum();
    void versionValue();
    void randomReplies();
};

void TstKor7Codec::requests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray slot = pattern(SensorSlotSize, 11);
    const QByteArray unitB = pattern(UnitMemorySize, 12);
    const QByteArray scr = pattern(ScreensSize, 13);
    const QByteArray block = pattern(FlashBlockSize, 14);
    QTest::newRow("ENQ") << requestEnq() << QByteArray("ENQ ");
    QTest::newRow("WHO") << requestWho() << QByteArray("WHO ");
    QTest::newRow("VFL") << requestFlashVersion() << QByteArray("VFL ");
    QTest::newRow("CLD") << requestClearDatalogger() << QByteArray("CLD ");
    QTest::newRow("CLE") << requestClearEventLogger() << QByteArray("CLE ");
    QTest::newRow("CKE") << requestEventCount() << QByteArray("CKE ");
    QTest::newRow("DED") << requestEvents(1, 8) << QByteArray("DED ") + bytes({1, 8});
    QTest::newRow("CKD") << requestSessionCount(1) << QByteArray("CKD ") + bytes({1});
    QTest::newRow("RSS") << requestSession(3, 0) << QByteArray("RSS ") + bytes({3, 0});
    QTest::newRow("DSD") << requestRecords(7, 0x0102, 4) << QByteArray("DSD ") + bytes({7, 1, 2, 4});
    QTest::newRow("RAC I") << requestInstrumentCounts() << QByteArray("RAC I");
    QTest::newRow("RAC S") << requestSensorCounts() << QByteArray("RAC S");
    QTest::newRow("GGR") << requestGasReading() << QByteArray("GGR ");
    QTest::newRow("RAE") << requestReadSensorSlot(3) << QByteArray("RAE ") + bytes({3});
    QTest::newRow("WAE") << requestWriteSensorSlot(6, slot) << QByteArray("WAE ") + bytes({6}) + slot;
    QTest::newRow("WAE short") << requestWriteSensorSlot(6, slot.left(255)) << QByteArray();
    QTest::newRow("RUE") << requestReadUnitMemory() << QByteArray("RUE ");
    QTest::newRow("WUE") << requestWriteUnitMemory(unitB) << QByteArray("WUE ") + unitB;
    QTest::newRow("WUE short") << requestWriteUnitMemory(unitB.left(263)) << QByteArray();
    QTest::newRow("RCS") << requestReadScreens() << QByteArray("RCS ");
    QTest::newRow("WCS") << requestWriteScreens(scr) << QByteArray("WCS ") + scr;
    QTest::newRow("GST") << requestSensorTable() << QByteArray("GST ");
    QTest::newRow("RSC") << requestReadClock() << QByteArray("RSC ");
    QTest::newRow("STC") << requestSetClock(0x12345678)
                         << QByteArray("STC ") + bytes({0x12, 0x34, 0x56, 0x78});
    QTest::newRow("WEP") << requestWritePage(0x0203, block) << QByteArray("WEP ") + bytes({2, 3}) + block;
    QTest::newRow("WEP page 1024") << requestWritePage(1024, block) << QByteArray();
    QTest::newRow("WEP 257 bytes") << requestWritePage(1, block.left(257)) << QByteArray();
    QTest::newRow("PFM") << requestStartFlash() << QByteArray("PFM ");
}

void TstKor7Codec::requests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    QCOMPARE(request, expected);
    if (!expected.isEmpty())
        QCOMPARE(withIndex(request, '7').at(IndexPosition), '7');
}

void TstKor7Codec::indexSequence()
{
    // The link starts at '9', so the first command carries '0' and the eleventh '0' again.
    char index = '9';
    QByteArray seen;
    for (int i = 0; i < 11; ++i) {
        index = nextIndex(index);
        seen.append(index);
    }
    QCOMPARE(seen, QByteArray("01234567890"));
    QCOMPARE(withIndex("AB", '5'), QByteArray("AB")); // too short to carry an index
    QCOMPARE(withIndex("RAC I", '4'), QByteArray("RAC4I"));
}

void TstKor7Codec::everyDecoder_data()
{
    QTest::addColumn<int>("which");
    const auto cases = decoderCases();
    for (int i = 0; i < cases.size(); ++i)
        QTest::newRow(cases[i].name) << i;
}

void TstKor7Codec::everyDecoder()
{
    QFETCH(int, which);
    const DecoderCase c = decoderCases().at(which);

    QCOMPARE(c.decode(c.full, '3'), ReplyStatus::Ok);
    // The same reply after a stray byte is still found ("ACK" anywhere).
    QCOMPARE(c.decode(QByteArray("\x05") + c.full, '3'),
             c.name == QByteArray("CKE") || c.name == QByteArray("CKD")
                 ? ReplyStatus::Invalid // over the length bound
                 : ReplyStatus::Ok);
    // Every truncation takes the failure path; from the first byte on it is a beginning to wait on.
    for (int n = 0; n < c.full.size(); ++n) {
        const ReplyStatus s = c.decode(c.full.left(n), '3');
        QVERIFY2(s != ReplyStatus::Ok, qPrintable(QStringLiteral("%1 bytes").arg(n)));
        QCOMPARE(s, n == 0 ? ReplyStatus::Invalid : ReplyStatus::Short);
    }
    // Another command's reply.
    QByteArray other = c.full;
    other[3] = '2';
    QCOMPARE(c.decode(other, '3'), ReplyStatus::WrongIndex);
    QCOMPARE(c.decode(other, AnyIndex), ReplyStatus::Ok); // the index check switched off
    // Refusals and the end marker.
    QCOMPARE(c.decode("NAK", '3'), ReplyStatus::Nak);
    QCOMPARE(c.decode("NAK3", '3'), ReplyStatus::Nak);
    QCOMPARE(c.decode("NAK8", '3'), ReplyStatus::WrongIndex);
    QCOMPARE(c.decode("ECK3", '3'), ReplyStatus::Eck);
    QCOMPARE(c.decode("ECK1", '3'), ReplyStatus::WrongIndex);
    QCOMPARE(c.decode("garbage", '3'), ReplyStatus::Invalid);
    Q_UNUSED(c.hasEndMarker);
}

void TstKor7Codec::decodedValues()
{
    const auto counts =
        decodeInstrumentCounts(QByteArray("ACK0") + bytes({0xFF, 0xFE, 0, 2, 0, 3, 0, 4, 0x80, 0}), '0');
    QVERIFY(counts.ok());
    QCOMPARE(counts.batteryType, 0xFFFE); // not sign-extended
    QCOMPARE(counts.fotoSensor, 2);
    QCOMPARE(counts.battery, 3);
    QCOMPARE(counts.pump, 4);
    QCOMPARE(counts.temperature, 0x8000);

    const auto sc = decodeSensorCounts(
        QByteArray("ACK0") + bytes({0xFF, 0xFF, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0x80, 0}), '0');
    QVERIFY(sc.ok());
    QCOMPARE(sc.values, (SevenValues{-1, 1, 2, 3, 4, 5, -32768}));

    const auto gas = decodeGasReading(
        QByteArray("ACK0R") + bytes({0, 209, 0, 0, 0xFF, 0xFB, 0, 0, 0, 0, 0, 0, 0, 7}), '0');
    QVERIFY(gas.ok());
    QCOMPARE(gas.values, (SevenValues{209, 0, -5, 0, 0, 0, 7}));

    const auto clock = decodeClock(QByteArray("ACK0") + bytes({0x12, 0x34, 0x56, 0x78}), '0');
    QCOMPARE(clock.seconds, 0x12345678u);

    const auto echo = decodePageEcho(QByteArray("ACK0") + bytes({0x03, 0xFF}), '0');
    QCOMPARE(echo.page, 1023);

    const QByteArray slot = pattern(SensorSlotSize, 1);
    const auto rae = decodeSensorSlot(QByteArray("ACK0") + slot + "extra", '0');
    QCOMPARE(rae.data, slot); // the first 256 bytes

    const auto vfl = decodeFlashVersion(QByteArray("ACK0") + "2.05" + bytes({0}), '0');
    QCOMPARE(vfl.version, QStringLiteral("2.05"));

    const auto cke = decodeEventCount(QByteArray("ACK0") + bytes({200}), '0');
    QCOMPARE(cke.count, 200);
    const auto ckd = decodeSessionCount(QByteArray("ACK0") + bytes({0, 61}), '0');
    QCOMPARE(ckd.dataLoggerFlag, 0);
    QCOMPARE(ckd.count, 61);

    const auto ded = decodeEventPacket(QByteArray("ACK0") + bytes({5, 2}) + pattern(96, 3), '0');
    QCOMPARE(ded.first, 5);
    QCOMPARE(ded.events.size(), 2);
    QCOMPARE(ded.events[1], pattern(96, 3).mid(48));

    const auto rss = decodeSessionHeader(QByteArray("ACK0") + bytes({9}) + pattern(296, 4), '0');
    QCOMPARE(rss.sessionNumber, 9);
    QCOMPARE(rss.header, pattern(296, 4));
}

void TstKor7Codec::whoLooksOnlyAtData_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<char>("index");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("matches");
    QTest::newRow("15") << QByteArray("ACK015") << '0' << true << true;
    QTest::newRow("14") << QByteArray("ACK014") << '0' << true << false;
    QTest::newRow("index 1 then 5") << QByteArray("ACK150") << '1' << true << false;
    QTest::newRow("15 before ACK") << QByteArray("15ACK014") << '0' << true << false;
    QTest::newRow("15 later in data") << QByteArray("ACK0K7-15") << '0' << true << true;
    QTest::newRow("one data byte") << QByteArray("ACK01") << '0' << false << false;
}

void TstKor7Codec::whoLooksOnlyAtData()
{
    QFETCH(QByteArray, reply);
    QFETCH(char, index);
    QFETCH(bool, ok);
    QFETCH(bool, matches);
    const auto w = decodeWho(reply, index);
    QCOMPARE(w.ok(), ok);
    QCOMPARE(w.typeMatches, matches);
}

void TstKor7Codec::countUpperBounds()
{
    QCOMPARE(decodeEventCount(QByteArray("ACK0") + bytes({3, 0}), '0').status, ReplyStatus::Invalid);
    QCOMPARE(decodeSessionCount(QByteArray("ACK0") + bytes({1, 3, 0}), '0').status, ReplyStatus::Invalid);
}

void TstKor7Codec::gasReadingNeedsTag()
{
    QCOMPARE(decodeGasReading(QByteArray("ACK0X") + pattern(14, 1), '0').status, ReplyStatus::Invalid);
    QCOMPARE(decodeGasReading(QByteArray("ACK0X"), '0').status, ReplyStatus::Invalid);
    QCOMPARE(decodeGasReading(QByteArray("ACK0R"), '0').status, ReplyStatus::Short);
}

void TstKor7Codec::recordPacketKeepsWholeRecords()
{
    const int size = dataLoggerRecordSize(4);
    QCOMPARE(size, 72);
    const QByteArray body = pattern(4 * size, 5);
    // A packet of 4 records of 4 sensors is 7 + 288 bytes after "ACK".
    const auto full = decodeRecordPacket(QByteArray("ACK0") + bytes({0, 9, 4}) + body, '0', 4);
    QVERIFY(full.ok());
    QCOMPARE(QByteArray("ACK0").size() + 3 + body.size(), 3 + 4 + 288);
    QCOMPARE(full.firstRecord, 9);
    QCOMPARE(full.records.size(), 4);
    const auto cut =
        decodeRecordPacket(QByteArray("ACK0") + bytes({0, 9, 4}) + body.left(3 * size + 10), '0', 4);
    QCOMPARE(cut.status, ReplyStatus::Short);
    QCOMPARE(cut.records.size(), 3);
    QCOMPARE(cut.records[2], body.mid(2 * size, size));
    QCOMPARE(decodeRecordPacket(QByteArray("ACK0") + bytes({0, 9, 0}), '0', 7).status, ReplyStatus::Invalid);
}

void TstKor7Codec::clock_data()
{
    QTest::addColumn<quint32>("seconds");
    QTest::addColumn<QDateTime>("when");
    QTest::newRow("0") << 0u << QDateTime(QDate(2000, 1, 1), QTime(0, 0));
    QTest::newRow("one day") << 86400u << QDateTime(QDate(2000, 1, 2), QTime(0, 0));
    QTest::newRow("leap day") << quint32(59 * 86400 + 3661) << QDateTime(QDate(2000, 2, 29), QTime(1, 1, 1));
    // Across daylight-saving changes the wall clock advances by whole days only.
    QTest::newRow("summer") << quint32(QDate(2000, 1, 1).daysTo(QDate(2026, 7, 1)) * 86400 + 12 * 3600)
                            << QDateTime(QDate(2026, 7, 1), QTime(12, 0));
}

void TstKor7Codec::clock()
{
    QFETCH(quint32, seconds);
    QFETCH(QDateTime, when);
    QCOMPARE(SecondsToDateTime(seconds), when);
    QCOMPARE(DateTimeToSeconds(when), seconds);
    QCOMPARE(SecondsToText(seconds), seconds < 86400
                                         ? QStringLiteral("N/A")
                                         : QLocale::system().toString(when, QLocale::ShortFormat));
    QCOMPARE(SecondsToText(86399), QStringLiteral("N/A"));
    // Before 2000 there is no count: the clock is set to the start of its range.
    QCOMPARE(DateTimeToSeconds(QDateTime(QDate(1999, 12, 31), QTime(23, 0))), 0u);
    // STC carries the seconds high byte first.
    QCOMPARE(requestSetClock(DateTimeToSeconds(QDateTime(QDate(2000, 1, 2), QTime(0, 0, 1)))),
             QByteArray("STC ") + bytes({0, 1, 0x51, 0x81}));
}

void TstKor7Codec::screens()
{
    QStringList eight{"CUSTOMER", "A very long screen text", "", "3", "4", "5", "6", "Service"};
    const auto bytesOpt = encodeScreens(eight);
    QVERIFY(bytesOpt.has_value());
    QCOMPARE(bytesOpt->size(), 128);
    QCOMPARE(bytesOpt->mid(0, 16), QByteArray("CUSTOMER       ") + bytes({0}));
    QCOMPARE(bytesOpt->mid(16, 16), QByteArray("A very long scr") + bytes({0}));
    QCOMPARE(decodeScreenTexts(*bytesOpt).at(7), QStringLiteral("Service        "));
    eight.removeLast();
    QVERIFY(!encodeScreens(eight).has_value());
}

void TstKor7Codec::flashFile_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("typeByte");
    QTest::addColumn<bool>("ok");
    QTest::newRow("good") << FlashFileSize << 15 << true;
    QTest::newRow("one byte short") << FlashFileSize - 1 << 15 << false;
    QTest::newRow("one byte long") << FlashFileSize + 1 << 15 << false;
    QTest::newRow("wrong type") << FlashFileSize << 14 << false;
    QTest::newRow("empty") << 0 << 15 << false;
}

void TstKor7Codec::flashFile()
{
    QFETCH(int, size);
    QFETCH(int, typeByte);
    QFETCH(bool, ok);
    QByteArray image = pattern(size, 3);
    if (size > FlashTypeOffset) {
        image.replace(FlashDescriptionOffset, FlashDescriptionLength, "Kor7 main firmware ");
        image.replace(FlashVersionOffset, FlashVersionLength, "2.10");
        image[FlashTypeOffset] = static_cast<char>(typeByte);
    }
    const FlashFileCheck c = ValidateFlashFile(image);
    QCOMPARE(c.ok, ok);
    QCOMPARE(c.error.isEmpty(), ok);
    if (size == FlashFileSize) {
        QCOMPARE(c.version, QStringLiteral("2.10"));
        QCOMPARE(c.description, QStringLiteral("Kor7 main firmware "));
    }
}

void TstKor7Codec::flashBlockSum()
{
    QByteArray image(FlashFileSize, '\xFF');
    const QByteArray block = flashBlock(image, 1023);
    QCOMPARE(block.size(), FlashBlockSize);
    // 256 × 255 = 65280 = 0xFF00.
    QCOMPARE(static_cast<quint8>(block[256]), 0xFF);
    QCOMPARE(static_cast<quint8>(block[257]), 0x00);
    QVERIFY(flashBlock(image, 1024).isEmpty());
    QVERIFY(flashBlock(image.left(1000), 3).isEmpty());
}

void TstKor7Codec::versionValue()
{
    QCOMPARE(VersionValue("1.23").value_or(-1), 1.23);
    QCOMPARE(VersionValue(" 2.05 ").value_or(-1), 2.05);
    QVERIFY(!VersionValue("1,23").has_value());
    QVERIFY(!VersionValue("").has_value());
    QVERIFY(!VersionValue("v1.2").has_value());
}

void TstKor7Codec::randomReplies()
{
    // Whatever arrives, a decoder never reads past it: an Ok reply always holds the bytes taken.
    const auto cases = decoderCases();
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) & 0x7FFF);
    };
    for (int round = 0; round < 3000; ++round) {
        const DecoderCase& c = cases[round % cases.size()];
        QByteArray r = c.full.left(next() % (c.full.size() + 8));
        for (int i = 0; i < r.size(); ++i)
            if (next() % 8 == 0)
                r[i] = static_cast<char>(next() & 0xFF);
        if (next() % 4 == 0)
            r.append(QByteArray(next() % 5, 'x'));
        const ReplyStatus s = c.decode(r, '3');
        if (s == ReplyStatus::Ok) {
            const int p = r.indexOf("ACK");
            QVERIFY(p >= 0 && r.size() >= p + 4);
            // The fixed-length replies: at least as long as the full reply from "ACK" on.
            const QByteArray name(c.name);
            if (name != "DED" && name != "DSD" && name != "VFL")
                QVERIFY2(r.size() - p >= c.full.size(), c.name);
        }
    }
}

QTEST_GUILESS_MAIN(TstKor7Codec)
#include "tst_kor7codec.moc"
