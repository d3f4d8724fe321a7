// The memory image and the unit-memory and sensor-slot field layouts: fields decode from their
// offsets, encode back into them, and every other byte is carried unchanged.

#include "instrument/Kor7Memory.h"

#include <QTest>

using namespace vx8::kor7;

namespace {

QByteArray pattern(int n, int seed)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 13 + seed) & 0xFF);
    return b;
}

// A unit memory as an instrument would send it: known fields at their offsets, filler elsewhere.
QByteArray fixtureUnit()
{
    QByteArray b = pattern(UnitMemorySize, 1);
    b[3] = 0x05; // zero calibration and bump due
    putLe32(b, 4, 123456789);
    putLe16(b, 8, 123);
    putLe16(b, 24, 2);    // language
    putLe16(b, 26, 4321); // access PIN
    putLe32(b, 12, 86400 * 9000);
    putLe32(b, 16, 3725);
    putLe16(b, 20, 30);
    putLe16(b, 32, 45);
    putLe16(b, 34, 75);
    putLe32(b, 36, 86400 * 9100);
    putLe32(b, 40, 86400 * 9200);
    putLe32(b, 52, (1u << 8) | (1u << 25) | (1u << 31) | (1u << 6) | (1u << 18));
    putLe16(b, 56, 180);
    putLe16(b, 58, 30);
    putLe16(b, 60, 365);
    b[62] = 15;
    b[63] = 8;
    putLe32(b, 64, 86400 * 9300);
    return b;
}

QByteArray fixtureSlot()
{
    QByteArray b = pattern(SensorSlotSize, 2);
    b[2] = 0x22; // span due, decimal point available, not enabled
    b[3] = 101;  // H2S
    putLe32(b, 4, 654321);
    putLe32(b, 8, 1000000);
    putLe32(b, 12, 2000000);
    putLe16(b, 16, static_cast<quint16>(-5));
    putLe16(b, 20, 100);
    putLe16(b, 22, 200);
    putLe16(b, 24, 150);
    putLe16(b, 26, 50);
    putLe16(b, 44, 250);
    putLe16(b, 54, 10);
    putLe16(b, 56, 500);
    putLe16(b, 126, 17);
    putLe32(b, 136, 3000000);
    putLe32(b, 144, 4000000);
    putLe32(b, 148, 5000000);
    putLe16(b, 208, 123);
    b[224] = 7;
    return b;
}

} // namespace

class TstKor7Memory : public QObject
{
    Q_OBJECT

private slots:
    void imageLayout();
    void unitFields();
    void unitRoundTripKeepsOtherBytes();
    void sensorFields();
    void sensorRoundTripKeepsOtherBytes();
    void optionBits_data();
    void optionBits();
    void twoBitOptions();
    void slotFlags();
    void sensorGroups_data();
    void sensorGroups();
    void slotOrders();
    void shortBlocksRefused();
};

void TstKor7Memory::imageLayout()
{
    QCOMPARE(ImageSize, 2568);
    QCOMPARE(sensorSlotOffset(0), 264);
    QCOMPARE(sensorSlotOffset(3), 1032);
    QCOMPARE(sensorSlotOffset(6) + SensorSlotSize, 2056);
    QCOMPARE(ScreensOffset + ScreensSize, ImageSize);

    Kor7Image image;
    QVERIFY(image.setSlotBytes(3, pattern(256, 9)));
    QCOMPARE(image.bytes().mid(1032, 256), pattern(256, 9));
    QCOMPARE(image.bytes().mid(1288, 256), QByteArray(256, '\0'));
    QVERIFY(image.setScreenBytes(pattern(128, 4)));
    QCOMPARE(image.bytes().mid(2440), pattern(128, 4));
    QVERIFY(!image.setSlotBytes(7, pattern(256, 9)));
    QVERIFY(!image.setSlotBytes(2, pattern(230, 9)));
    QCOMPARE(image.slotBytes(2), QByteArray(256, '\0'));
}

void TstKor7Memory::unitFields()
{
    const UnitConfig u = decodeUnitConfig(fixtureUnit());
    QCOMPARE(u.statusFlags, quint8(5));
    QVERIFY(u.needsZero());
    QVERIFY(!u.needsSpan());
    QVERIFY(u.needsBump());
    QCOMPARE(u.serialNumber, 123456789u);
    QVERIFY(u.serialValid());
    QCOMPARE(u.firmwareVersion, quint16(123));
    QCOMPARE(u.accessPin, quint16(4321));
    QCOMPARE(u.languageCode, quint16(2));
    QCOMPARE(u.turnOnTime, 86400u * 9000);
    QCOMPARE(u.totalRunTime, 3725u);
    QCOMPARE(u.backlightTimeOut, quint16(30));
    QCOMPARE(u.securityBeepInterval, quint16(45));
    QCOMPARE(u.sampleInterval, quint16(75));
    QCOMPARE(u.lastFullCal, 86400u * 9100);
    QCOMPARE(u.lastBump, 86400u * 9200);
    QVERIFY(u.option(PeakAlarmEnabled));
    QVERIFY(u.option(VibratorInstalled));
    QVERIFY(!u.option(VibratorEnabled));
    QVERIFY(u.option(FreshAirCalStart));
    QCOMPARE(u.calReminderDays, quint16(180));
    QCOMPARE(u.bumpReminderDays, quint16(30));
    QCOMPARE(u.serviceReminderDays, quint16(365));
    QCOMPARE(u.stelMinutes, quint8(15));
    QCOMPARE(u.twaHours, quint8(8));
    QCOMPARE(u.lastService, 86400u * 9300);

    UnitConfig one;
    one.serialNumber = 1;
    QVERIFY(!one.serialValid());
    one.serialNumber = 1000000000;
    QVERIFY(!one.serialValid());
}

void TstKor7Memory::unitRoundTripKeepsOtherBytes()
{
    const QByteArray original = fixtureUnit();
    QByteArray b = original;
    QVERIFY(encodeUnitConfig(decodeUnitConfig(b), b));
    QCOMPARE(b, original); // decode + encode is the identity

    UnitConfig u = decodeUnitConfig(b);
    u.setOption(TwaAlarmEnabled, true);
    u.serialNumber = 987654321;
    QVERIFY(encodeUnitConfig(u, b));
    for (int i = 0; i < UnitMemorySize; ++i) {
        const bool serial = i >= 4 && i < 8;
        const bool option = i == 53; // bit 11 lives in the second byte of the word
        if (!serial && !option)
            QVERIFY2(b[i] == original[i], qPrintable(QStringLiteral("byte %1 changed").arg(i)));
    }
    QCOMPARE(le32(b, 4), 987654321u);
    QVERIFY(decodeUnitConfig(b).option(TwaAlarmEnabled));
}

void TstKor7Memory::sensorFields()
{
    const SensorConfig s = decodeSensorConfig(fixtureSlot());
    QCOMPARE(s.typeCode, quint8(101));
    QCOMPARE(s.group(), SensorGroup::Toxic);
    QVERIFY(s.flag(FlagNeedsSpan));
    QVERIFY(!s.flag(FlagNeedsZero));
    QVERIFY(s.flag(FlagDecimalPointAvailable));
    QVERIFY(!s.flag(FlagDecimalPointEnabled));
    QCOMPARE(s.serialNumber, 654321u);
    QCOMPARE(s.lastSpanCal, 1000000u);
    QCOMPARE(s.lastZeroCal, 2000000u);
    QCOMPARE(s.lowAlarm, qint16(-5));
    QCOMPARE(s.warningAlarm, qint16(100));
    QCOMPARE(s.dangerAlarm, qint16(200));
    QCOMPARE(s.stelAlarm, qint16(150));
    QCOMPARE(s.twaAlarm, qint16(50));
    QCOMPARE(s.calGasValue, quint16(250));
    QCOMPARE(s.calFrom, qint16(10));
    QCOMPARE(s.calTo, qint16(500));
    QCOMPARE(s.t63, qint16(17));
    QCOMPARE(s.lastBump, 3000000u);
    QCOMPARE(s.manufactureDate, 4000000u);
    QCOMPARE(s.warrantyExpiration, 5000000u);
    QCOMPARE(s.vocFactor, quint16(123));
    QCOMPARE(s.vocCode, quint8(7));
}

void TstKor7Memory::sensorRoundTripKeepsOtherBytes()
{
    const QByteArray original = fixtureSlot();
    QByteArray b = original;
    QVERIFY(encodeSensorConfig(decodeSensorConfig(b), b));
    QCOMPARE(b, original);

    Kor7Image image;
    QVERIFY(image.setSlotBytes(4, original));
    SensorConfig s = image.sensor(4);
    s.dangerAlarm = 350;
    QVERIFY(image.setSensor(4, s));
    const QByteArray after = image.slotBytes(4);
    for (int i = 0; i < SensorSlotSize; ++i)
        if (i != 22 && i != 23)
            QVERIFY2(after[i] == original[i], qPrintable(QStringLiteral("byte %1 changed").arg(i)));
    QCOMPARE(le16s(after, 22), qint16(350));
    // Neighbouring slots are untouched.
    QCOMPARE(image.slotBytes(3), QByteArray(256, '\0'));
    QCOMPARE(image.slotBytes(5), QByteArray(256, '\0'));
}

void TstKor7Memory::optionBits_data()
{
    QTest::addColumn<int>("bit");
    for (int bit : {3, 8, 9, 10, 11, 16, 20, 22, 24, 25, 26, 28, 31})
        QTest::newRow(qPrintable(QString::number(bit))) << bit;
}

void TstKor7Memory::optionBits()
{
    QFETCH(int, bit);
    Kor7Image image;
    QVERIFY(image.setUnitBytes(fixtureUnit()));
    const QByteArray before = image.bytes();
    const bool was = image.GetOption(bit);
    image.SetOption(bit, !was);
    QCOMPARE(image.GetOption(bit), !was);
    // Exactly one bit of the image changed, in the option word's byte for that bit.
    const QByteArray after = image.bytes();
    for (int i = 0; i < ImageSize; ++i) {
        if (i == unit::OptionWord + bit / 8)
            QCOMPARE(static_cast<quint8>(after[i] ^ before[i]), quint8(1u << (bit % 8)));
        else
            QVERIFY(after[i] == before[i]);
    }
    image.SetOption(bit, was);
    QCOMPARE(image.bytes(), before);
}

void TstKor7Memory::twoBitOptions()
{
    Kor7Image image;
    QVERIFY(image.setUnitBytes(fixtureUnit()));
    QCOMPARE(image.GetTwoBitOption(MainPasscodeModeLow), 1);  // bit 6 set, bit 7 clear
    QCOMPARE(image.GetTwoBitOption(BasicPasscodeModeLow), 2); // bit 17 clear, bit 18 set
    image.SetTwoBitOption(MainPasscodeModeLow, 3);
    QVERIFY(image.GetOption(6) && image.GetOption(7));
    QVERIFY(image.GetOption(PeakAlarmEnabled)); // bit 8 untouched
}

void TstKor7Memory::slotFlags()
{
    Kor7Image image;
    QVERIFY(!image.SlotFlagBit1(2));
    image.SetSlotFlagBit1(2);
    QVERIFY(image.SlotFlagBit1(2));
    QCOMPARE(static_cast<quint8>(image.bytes()[sensorSlotOffset(2) + 2]), quint8(0x02));
    image.SetSlotFlagBit0(2);
    QCOMPARE(static_cast<quint8>(image.bytes()[sensorSlotOffset(2) + 2]), quint8(0x03));
    QVERIFY(!image.SlotFlagBit1(1));
    QVERIFY(!image.SlotFlagBit1(3));
}

void TstKor7Memory::sensorGroups_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("group");
    QTest::newRow("0") << 0 << int(SensorGroup::Empty);
    QTest::newRow("254") << 254 << int(SensorGroup::Empty);
    QTest::newRow("10") << 10 << int(SensorGroup::Oxygen);
    QTest::newRow("19") << 19 << int(SensorGroup::Oxygen);
    QTest::newRow("20") << 20 << int(SensorGroup::Combustible);
    QTest::newRow("29") << 29 << int(SensorGroup::Combustible);
    QTest::newRow("30") << 30 << int(SensorGroup::Voc);
    QTest::newRow("39") << 39 << int(SensorGroup::Voc);
    QTest::newRow("40") << 40 << int(SensorGroup::Toxic);
    QTest::newRow("41") << 41 << int(SensorGroup::PercentVolume);
    QTest::newRow("42") << 42 << int(SensorGroup::Toxic);
    QTest::newRow("70") << 70 << int(SensorGroup::PercentVolume);
    QTest::newRow("79") << 79 << int(SensorGroup::PercentVolume);
    QTest::newRow("81") << 81 << int(SensorGroup::Toxic);
    QTest::newRow("255") << 255 << int(SensorGroup::Toxic);
}

void TstKor7Memory::sensorGroups()
{
    QFETCH(int, type);
    QFETCH(int, group);
    QCOMPARE(int(sensorGroup(type)), group);
}

void TstKor7Memory::slotOrders()
{
    // The dock's gas reading: element 0 is slot 6, element 6 is slot 0.
    const std::array<int, 7> dock{60, 50, 40, 30, 20, 10, 0};
    QCOMPARE(gasReadingBySlot(dock), (std::array<int, 7>{0, 10, 20, 30, 40, 50, 60}));
    // The instrument's sensor counts are already in slot order.
    const std::array<int, 7> counts{0, 10, 20, 30, 40, 50, 60};
    QCOMPARE(sensorCountsBySlot(counts), counts);
    // Test-record entries.
    QCOMPARE(slotOfTestRecordEntry(0), 6);
    QCOMPARE(slotOfTestRecordEntry(6), 0);
    for (int e = 0; e < 7; ++e)
        QCOMPARE(testRecordEntryOfSlot(slotOfTestRecordEntry(e)), e);
    QCOMPARE(gasReadingElementOfSlot(2), 4);
    QCOMPARE(sensorCountElementOfSlot(2), 2);
}

void TstKor7Memory::shortBlocksRefused()
{
    QByteArray b = fixtureUnit().left(263);
    QVERIFY(!encodeUnitConfig(UnitConfig{}, b));
    QCOMPARE(decodeUnitConfig(b).serialNumber, 0u);
    QByteArray s = fixtureSlot().left(230);
    QVERIFY(!encodeSensorConfig(SensorConfig{}, s));
    QCOMPARE(decodeSensorConfig(s).typeCode, quint8(0));
    Kor7Image image;
    QVERIFY(!image.setUnitBytes(fixtureUnit().left(260)));
    QCOMPARE(image.unitBytes(), QByteArray(264, '\0'));
}

QTEST_GUILESS_MAIN(TstKor7Memory)
#include "tst_kor7memory.moc"
