// Framing of the older families on the direct carriers: escaping, checksum, frame extraction.

#include "instrument/KorFraming.h"

#include <QTest>

using namespace vx8;
using namespace vx8::korframe;

namespace {
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}
} // namespace

class TstKorFraming : public QObject
{
    Q_OBJECT

private slots:
    void families();
    void frames_data();
    void frames();
    void checksumOverflow();
    void extraction_data();
    void extraction();
    void chunkWithStartReplacesBuffer();
};

void TstKorFraming::families()
{
    QVERIFY(usesMessageIndex(TKorType::tpKor7));
    QVERIFY(usesMessageIndex(TKorType::tpZeltHead));
    QVERIFY(!usesMessageIndex(TKorType::tpKor6));
    QVERIFY(isFramed(TKorType::tpMellic) && isFramed(TKorType::tpTessary) && isFramed(TKorType::tpQuorra));
    QVERIFY(!isFramed(TKorType::tpKor7) && !isFramed(TKorType::tpKorLite));
}

void TstKorFraming::frames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("Quorra ENQ") << int(TKorType::tpQuorra) << QByteArray("ENQ") << hex("E6454E5100E4E7");
    QTest::newRow("Quorra ENQ 02 escapes the sum")
        << int(TKorType::tpQuorra) << QByteArray("ENQ\x02") << hex("E6454E510200E8C6E7");
    QTest::newRow("Mellic escapes E6 E7 E8")
        << int(TKorType::tpMellic) << hex("E6E7E8") << hex("E6E8C6E8C7E8C8E7");
    QTest::newRow("Kor7 as it is") << int(TKorType::tpKor7) << QByteArray("ENQ0") << QByteArray("ENQ0");
    QTest::newRow("Kor6 as it is") << int(TKorType::tpKor6) << hex("E6E7") << hex("E6E7");
}

void TstKorFraming::frames()
{
    QFETCH(int, type);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, frame);
    const auto built = buildFrame(TKorType(type), message);
    QVERIFY(built.has_value());
    QCOMPARE(*built, frame);
    if (isFramed(TKorType(type))) {
        // What goes out comes back: the receiving side decodes the same message.
        ReceiveBuffer buffer;
        buffer.add(*built);
        QCOMPARE(GetTessaryMsg(buffer, TKorType(type)).value_or("none"), message);
    }
}

void TstKorFraming::checksumOverflow()
{
    QCOMPARE(CalculateChecksum(QByteArray(258, '\xFF')), std::optional<quint16>());
    QCOMPARE(CalculateChecksum(QByteArray(257, '\xFF')).value_or(0), quint16(65535));
    QVERIFY(!buildFrame(TKorType::tpQuorra, QByteArray(300, '\xFF')).has_value());
}

void TstKorFraming::extraction_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("expected"); // "none" for no message
    QTest::newRow("split frame") << int(TKorType::tpMellic) << QList<QByteArray>{hex("E64142"), hex("43E7")}
                                 << QByteArray("ABC");
    QTest::newRow("no end yet") << int(TKorType::tpMellic) << QList<QByteArray>{hex("E64142")}
                                << QByteArray("none");
    QTest::newRow("bad checksum dropped")
        << int(TKorType::tpQuorra) << QList<QByteArray>{hex("E6454E5100E5E7")} << QByteArray("none");
    QTest::newRow("good checksum") << int(TKorType::tpQuorra) << QList<QByteArray>{hex("E6454E5100E4E7")}
                                   << QByteArray("ENQ");
    QTest::newRow("escape at the end of a chunk")
        << int(TKorType::tpTessary) << QList<QByteArray>{hex("E641E8"), hex("C7E7")} << hex("41E7");
}

void TstKorFraming::extraction()
{
    QFETCH(int, type);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, expected);
    ReceiveBuffer buffer;
    std::optional<QByteArray> got;
    for (const QByteArray& c : chunks) {
        buffer.add(c);
        if (auto m = GetTessaryMsg(buffer, TKorType(type)))
            got = m;
    }
    QCOMPARE(got.value_or("none"), expected);
    QVERIFY(!buffer.frameComplete);
    // A taken frame is not taken a second time.
    buffer.frameComplete = true;
    QVERIFY(!GetTessaryMsg(buffer, TKorType(type)).has_value() || expected == "none");
}

void TstKorFraming::chunkWithStartReplacesBuffer()
{
    ReceiveBuffer buffer;
    buffer.add(hex("E64142"));
    buffer.add(hex("E64344E7")); // a new frame starts: the broken one is dropped
    QCOMPARE(GetTessaryMsg(buffer, TKorType::tpMellic).value_or("none"), QByteArray("CD"));
}

QTEST_GUILESS_MAIN(TstKorFraming)
#include "tst_korframing.moc"
