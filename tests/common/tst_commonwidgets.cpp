#include "TestSupport.h"
#include "common/BarGauge.h"
#include "common/FormatWidgets.h"
#include "common/LedIndicator.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

using namespace vx8;

class TestCommonWidgets : public QObject
{
    Q_OBJECT
private slots:
    void ledDefaults();
    void ledColoursAndSteadyState();
    void ledBlinkingToggles();
    void ledBlinkingStopsWhenSteadyOrOff();
    void ledHint();
    void ledPaintsItsColour();

    void gauge_data();
    void gauge();
    void gaugeFollowsProgressEvents();

    void formatGasEditColours();
    void addMemoLineCap();
};

namespace {

// The colour at the middle of the rendered LED.
QColor centrePixel(LedIndicator& led)
{
    led.resize(led.sizeHint() * 2);
    QImage image(led.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    led.render(&image);
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

void TestCommonWidgets::ledDefaults()
{
    LedIndicator led;
    QCOMPARE(led.sizeHint(), QSize(15, 15));
    QVERIFY(!led.isOn());
    QVERIFY(!led.isLit());
    QVERIFY(!led.isBlinking());
    QCOMPARE(led.blinkInterval(), 200);
    QCOMPARE(led.offColor(), QColor(0x80, 0x80, 0x80));
    QCOMPARE(led.currentColor(), led.offColor());

    LedIndicator red(QColor(Qt::red));
    QCOMPARE(red.onColor(), QColor(Qt::red));
}

void TestCommonWidgets::ledColoursAndSteadyState()
{
    LedIndicator led;
    QSignalSpy lit(&led, &LedIndicator::litChanged);
    led.setOnColor(QColor(0x00, 0xFF, 0x00));
    led.setOffColor(QColor(Qt::darkGray));
    led.setOn(true);
    QVERIFY(led.isOn());
    QVERIFY(led.isLit());
    QCOMPARE(led.currentColor(), QColor(0x00, 0xFF, 0x00));
    QCOMPARE(lit.count(), 1);
    QCOMPARE(lit.at(0).at(0).toBool(), true);

    // setColor is the on colour; changing it does not switch the LED.
    led.setColor(QColor(0xFF, 0xFF, 0x00));
    QCOMPARE(led.onColor(), QColor(0xFF, 0xFF, 0x00));
    QCOMPARE(led.color(), QColor(0xFF, 0xFF, 0x00));
    QCOMPARE(led.currentColor(), QColor(0xFF, 0xFF, 0x00));
    QVERIFY(led.isOn());

    led.setOn(true); // no change, no signal
    QCOMPARE(lit.count(), 1);
    led.setOn(false);
    QVERIFY(!led.isLit());
    QCOMPARE(led.currentColor(), QColor(Qt::darkGray));
    QCOMPARE(lit.count(), 2);
}

void TestCommonWidgets::ledBlinkingToggles()
{
    LedIndicator led(QColor(Qt::red));
    led.setBlinkInterval(10);
    led.setOn(true);
    QSignalSpy lit(&led, &LedIndicator::litChanged);
    led.setBlinking(true);
    QVERIFY(led.isBlinking());
    QVERIFY(led.isOn());
    QVERIFY(led.isLit()); // a blink starts lit
    QTRY_VERIFY_WITH_TIMEOUT(lit.count() >= 4, test::scaled(5000));
    // It alternates: dark, lit, dark, lit ...; isOn stays true throughout.
    for (int i = 0; i < 4; ++i)
        QCOMPARE(lit.at(i).at(0).toBool(), i % 2 == 1);
    QVERIFY(led.isOn());
}

void TestCommonWidgets::ledBlinkingStopsWhenSteadyOrOff()
{
    LedIndicator led(QColor(Qt::red));
    led.setBlinkInterval(10);
    led.setOn(true);
    led.setBlinking(true);
    QSignalSpy lit(&led, &LedIndicator::litChanged);
    QTRY_VERIFY_WITH_TIMEOUT(lit.count() >= 1, test::scaled(5000));

    // Set steady: lit in its on colour, and it stays so.
    led.setBlinking(false);
    QVERIFY(led.isLit());
    QCOMPARE(led.currentColor(), QColor(Qt::red));
    lit.clear();
    QTest::qWait(100);
    QCOMPARE(lit.count(), 0);
    QVERIFY(led.isLit());

    // Switched off while blinking: dark and quiet; on again: blinking resumes.
    led.setBlinking(true);
    led.setOn(false);
    QVERIFY(!led.isLit());
    QVERIFY(led.isBlinking());
    lit.clear();
    QTest::qWait(100);
    QCOMPARE(lit.count(), 0);
    QVERIFY(!led.isLit());
    led.setOn(true);
    QTRY_VERIFY_WITH_TIMEOUT(lit.count() >= 3, test::scaled(5000));
}

void TestCommonWidgets::ledHint()
{
    LedIndicator led;
    led.setHint(QStringLiteral("Testing Completed"));
    QCOMPARE(led.hint(), QStringLiteral("Testing Completed"));
    QCOMPARE(led.toolTip(), QStringLiteral("Testing Completed"));
    led.setShowHint(false);
    QCOMPARE(led.toolTip(), QString());
    QCOMPARE(led.hint(), QStringLiteral("Testing Completed"));
    led.setHint(QStringLiteral("Charging"));
    QCOMPARE(led.toolTip(), QString());
    led.setShowHint(true);
    QCOMPARE(led.toolTip(), QStringLiteral("Charging"));
}

void TestCommonWidgets::ledPaintsItsColour()
{
    LedIndicator led(QColor(Qt::red));
    led.setOffColor(QColor(0x80, 0x80, 0x80));
    led.setOn(true);
    const QColor on = centrePixel(led);
    QVERIFY2(on.red() > on.green() + 60 && on.red() > on.blue() + 60, qPrintable(on.name()));
    led.setOn(false);
    const QColor off = centrePixel(led);
    QVERIFY2(qAbs(off.red() - off.green()) < 16 && qAbs(off.red() - off.blue()) < 16, qPrintable(off.name()));
    QVERIFY(off.alpha() == 255);
}

void TestCommonWidgets::gauge_data()
{
    QTest::addColumn<qint64>("minimum");
    QTest::addColumn<qint64>("maximum");
    QTest::addColumn<qint64>("progress");
    QTest::addColumn<qint64>("shown");
    QTest::addColumn<int>("percent");
    QTest::newRow("start") << qint64(0) << qint64(100) << qint64(0) << qint64(0) << 0;
    QTest::newRow("quarter") << qint64(0) << qint64(200) << qint64(50) << qint64(50) << 25;
    QTest::newRow("rounded down") << qint64(0) << qint64(3) << qint64(2) << qint64(2) << 66;
    QTest::newRow("done") << qint64(0) << qint64(131072) << qint64(131072) << qint64(131072) << 100;
    QTest::newRow("past maximum") << qint64(0) << qint64(10) << qint64(30) << qint64(10) << 100;
    QTest::newRow("below minimum") << qint64(10) << qint64(20) << qint64(-5) << qint64(10) << 0;
    QTest::newRow("offset range") << qint64(10) << qint64(20) << qint64(15) << qint64(15) << 50;
    QTest::newRow("empty range") << qint64(0) << qint64(0) << qint64(0) << qint64(0) << 0;
    QTest::newRow("huge range") << qint64(0) << (qint64(1) << 62) << (qint64(1) << 61) << (qint64(1) << 61)
                                << 50;
}

void TestCommonWidgets::gauge()
{
    QFETCH(qint64, minimum);
    QFETCH(qint64, maximum);
    QFETCH(qint64, progress);
    QFETCH(qint64, shown);
    QFETCH(int, percent);
    BarGauge gauge;
    gauge.setRange(minimum, maximum);
    gauge.setProgress(progress);
    QCOMPARE(gauge.progress(), shown);
    QCOMPARE(gauge.percent(), percent);
    QCOMPARE(gauge.text(), QString::number(percent) + QLatin1Char('%'));
    QImage image(gauge.sizeHint(), QImage::Format_ARGB32);
    gauge.resize(gauge.sizeHint());
    gauge.render(&image); // painting any state must not fail
}

void TestCommonWidgets::gaugeFollowsProgressEvents()
{
    // As a download display drives it: maximum := total, progress := total - remain, with the total
    // changing between sources.
    BarGauge gauge;
    QSignalSpy changed(&gauge, &BarGauge::progressChanged);
    gauge.setMaximum(40);
    gauge.setProgress(40 - 30);
    QCOMPARE(gauge.percent(), 25);
    gauge.setProgress(40 - 0);
    QCOMPARE(gauge.text(), QStringLiteral("100%"));
    gauge.setMaximum(8);
    QCOMPARE(gauge.progress(), qint64(8)); // kept inside the new range
    gauge.setProgress(8 - 6);
    QCOMPARE(gauge.percent(), 25);
    QCOMPARE(changed.count(), 4);
    gauge.setMinimum(50); // a minimum above the maximum moves the maximum
    QCOMPARE(gauge.maximum(), qint64(50));
    QCOMPARE(gauge.progress(), qint64(50));
    gauge.setMaximum(10); // and the other way round
    QCOMPARE(gauge.minimum(), qint64(10));
    gauge.setForeColor(QColor(Qt::red));
    QCOMPARE(gauge.foreColor(), QColor(Qt::red));
    gauge.setHint(QStringLiteral("Record 1 of 8"));
    QCOMPARE(gauge.toolTip(), QStringLiteral("Record 1 of 8"));
}

void TestCommonWidgets::formatGasEditColours()
{
    QLineEdit edit;
    const QColor normal = QApplication::palette(&edit).color(QPalette::Text);
    QVERIFY(normal != GasEditLowColor);
    QCOMPARE(FormatGasEdit(&edit, 0, 11, true), QStringLiteral("N/A"));
    QCOMPARE(edit.palette().color(QPalette::Text), GasEditLowColor);
    QCOMPARE(FormatGasEdit(&edit, 209, 11, true), QStringLiteral("20.9 %"));
    QCOMPARE(edit.palette().color(QPalette::Text), normal);
    QCOMPARE(FormatGasEdit(&edit, -3, 31, true), QStringLiteral("Disabled"));
    QCOMPARE(edit.palette().color(QPalette::Text), GasEditLowColor);
    QCOMPARE(edit.text(), QString()); // the text is the caller's to set
    QCOMPARE(FormatGasEdit(nullptr, 350, 101, true), QStringLiteral("35.0 ppm"));
}

void TestCommonWidgets::addMemoLineCap()
{
    QVERIFY(!AddMemoLine(nullptr, QStringLiteral("x"), 3));

    QPlainTextEdit memo;
    QCOMPARE(MemoLineCount(&memo), 0);
    QVERIFY(AddMemoLine(&memo, QStringLiteral("a"), 3));
    QCOMPARE(MemoLineCount(&memo), 1);
    QCOMPARE(memo.toPlainText(), QStringLiteral("a"));
    for (const char* line : {"b", "c", "d"})
        QVERIFY(AddMemoLine(&memo, QString::fromLatin1(line), 3));
    // Three lines are not more than the limit, so the fourth was appended.
    QCOMPARE(MemoLineCount(&memo), 4);
    QCOMPARE(memo.toPlainText(), QStringLiteral("a\nb\nc\nd"));
    // Four are: the memo is cleared before the fifth.
    QVERIFY(AddMemoLine(&memo, QStringLiteral("e"), 3));
    QCOMPARE(MemoLineCount(&memo), 1);
    QCOMPARE(memo.toPlainText(), QStringLiteral("e"));
    // An empty line still counts as a line.
    QVERIFY(AddMemoLine(&memo, QString(), 3));
    QCOMPARE(MemoLineCount(&memo), 2);
}

QTEST_MAIN(TestCommonWidgets)
#include "tst_commonwidgets.moc"
