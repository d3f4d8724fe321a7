// Texts of the instrument pages: alarm levels and gas values by type, intervals, captions, and the
// live reading line with its reversed slot order.

#include "instrument/Kor7Format.h"

#include <QLocale>
#include <QTest>

using namespace vx8::kor7;

class TstKor7Format : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void levels_data();
    void levels();
    void intervals();
    void captions();
    void readingsLine();
};

void TstKor7Format::levels_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("alarm");
    QTest::addColumn<QString>("gas");
    QTest::newRow("O2 high") << 235 << 11 << "23.5 %"
                             << "23.5 %";
    QTest::newRow("O2 zero") << 0 << 11 << "Disabled"
                             << "0.0 %";
    QTest::newRow("LEL") << 100 << 21 << "10.0 %"
                         << "10.0 %";
    QTest::newRow("CH4 vol") << 2500 << 41 << "2.50 %"
                             << "2.50 %";
    QTest::newRow("CO2") << 500 << 71 << "0.50 %"
                         << "0.50 %";
    QTest::newRow("ClO2") << 15 << 141 << "0.15 ppm"
                          << "0.2 ppm"; // one decimal, half away from zero
    QTest::newRow("PH3") << 3 << 181 << "0.30 ppm"
                         << "0.3 ppm";
    QTest::newRow("H2S") << 100 << 101 << "10.0 ppm"
                         << "10.0 ppm";
    QTest::newRow("CO negative") << -5 << 81 << "-0.5 ppm"
                                 << "-0.5 ppm";
}

void TstKor7Format::levels()
{
    QFETCH(int, raw);
    QFETCH(int, type);
    QFETCH(QString, alarm);
    QFETCH(QString, gas);
    QCOMPARE(FormatAlarmLevelText(raw, type, true), alarm);
    QCOMPARE(FormatGasValueLevelText(raw, type, true), gas);
    QCOMPARE(FormatAlarmLevelText(raw, type, false),
             raw == 0 ? QStringLiteral("Disabled") : alarm.left(alarm.indexOf(QLatin1Char(' '))));
}

void TstKor7Format::intervals()
{
    auto dl = DLIntervalText(75, true);
    QCOMPARE(dl.text, QStringLiteral(" 1:15"));
    QCOMPARE(dl.color, TextColor::Black);
    dl = DLIntervalText(0, true);
    QCOMPARE(dl.text, QStringLiteral("Disabled"));
    QCOMPARE(dl.color, TextColor::Green);
    dl = DLIntervalText(75, false);
    QCOMPARE(dl.text, QStringLiteral("BlackBox"));
    QCOMPARE(dl.color, TextColor::Blue);
    QCOMPARE(DLIntervalText(3600, true).text, QStringLiteral("60:00"));
    const auto beep = SecurityBeepIntervalText(30);
    QCOMPARE(beep.text, QStringLiteral(" 0:30"));
    QCOMPARE(beep.color, TextColor::Unchanged);
    QCOMPARE(SecurityBeepIntervalText(0).text, QStringLiteral("Disabled"));
    QCOMPARE(CalGasText(250, 101), QStringLiteral("25.0"));
    QCOMPARE(CalGasText(50, 21), QStringLiteral("5.0"));
}

void TstKor7Format::captions()
{
    SensorConfig h2s;
    h2s.typeCode = 101;
    h2s.serialNumber = 4321;
    QCOMPARE(SensorCaption(h2s, QStringLiteral("ignored")), QStringLiteral("H2S (004321)"));
    SensorConfig voc;
    voc.typeCode = 31;
    voc.serialNumber = 123;
    QCOMPARE(SensorCaption(voc, QStringLiteral("Unknown")), QStringLiteral("Unknown (000123)"));
    QCOMPARE(SensorCaption(voc, QStringLiteral("Benzene")), QStringLiteral("Benzene (000123)"));
}

void TstKor7Format::readingsLine()
{
    // Slots: 0 O2, 1 LEL, 2 empty, 3 H2S, 4 empty (254), 5 and 6 empty.
    const QByteArray table = QByteArray::fromHex("0b15006500fe0000").left(7);
    // The dock lists slot s at element 6 - s.
    const std::array<int, 7> dock{0, 0, 7, 350, 0, 55, 209};
    QCOMPARE(GasReadingsText(table, dock), QStringLiteral(" O2: 20.9 % LEL: 5.5 % H2S: 35.0 ppm"));
    QCOMPARE(GasReadingsText(QByteArray(7, '\0'), dock), QString());
}

QTEST_GUILESS_MAIN(TstKor7Format)
#include "tst_kor7format.moc"
