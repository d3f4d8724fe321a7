// The instrument pages: the Instrument page filled from the unit memory (and the serial-number
// question), the sensor pages by type group, the VOC names, the live gas-reading box.

#include "instrument/InstrumentView.h"
#include "instrument/Kor7.h"
#include "instrument/SensorFrame.h"
#include "instrument/VocList.h"

#include "common/LedIndicator.h"
#include "common/Prompter.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>
#include <QTest>

#include <qcoro/qcorotask.h>

using namespace vx8;
using namespace vx8::kor7;

namespace {

QByteArray unitFixture(quint32 serial)
{
    QByteArray b(UnitMemorySize, '\x5A');
    UnitConfig u = decodeUnitConfig(b);
    u.statusFlags = 0x02; // span due
    u.serialNumber = serial;
    u.firmwareVersion = 123;
    u.turnOnTime = 86400 * 9000;
    u.totalRunTime = 3725;
    u.sampleInterval = 75;
    u.securityBeepInterval = 0;
    u.lastFullCal = 86400 * 9100;
    u.lastBump = 100; // less than a day: N/A
    u.calReminderDays = 180;
    u.bumpReminderDays = 30;
    u.serviceReminderDays = 365;
    u.stelMinutes = 15;
    u.twaHours = 8;
    u.lastService = 86400 * 9300;
    u.options =
        (1u << DLStatus) | (1u << PeakAlarmEnabled) | (1u << VibratorInstalled) | (1u << TwaAlarmEnabled);
    encodeUnitConfig(u, b);
    return b;
}

QByteArray slotFixture(int type, quint32 serial, int flags)
{
    QByteArray b(SensorSlotSize, '\0');
    SensorConfig s;
    s.typeCode = static_cast<quint8>(type);
    s.serialNumber = serial;
    s.flags = static_cast<quint8>(flags);
    s.lowAlarm = 195;
    s.warningAlarm = 100;
    s.dangerAlarm = type >= 10 && type <= 19 ? 235 : 200;
    s.stelAlarm = 150;
    s.twaAlarm = 0;
    s.calGasValue = 250;
    s.calFrom = 10;
    s.calTo = 500;
    s.t63 = 17;
    s.vocCode = 2;
    s.vocFactor = 53;
    s.lastZeroCal = 86400 * 9000;
    encodeSensorConfig(s, b);
    return b;
}

} // namespace

class TstInstrumentView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init();
    void cleanup();
    void instrumentPage();
    void serialAskedUntilValid();
    void sensorPages_data();
    void sensorPages();
    void emptySlotNeverShown();
    void vocNames();
    void decimalPoint();
    void gasReadings();

private:
    std::unique_ptr<UnattendedPrompter> m_prompter;
    std::unique_ptr<TKor7> m_kor7;
    std::unique_ptr<TInstrumentView> m_view;
    TVocList m_vocs;
};

void TstInstrumentView::init()
{
    m_prompter = std::make_unique<UnattendedPrompter>();
    m_prompter->setEcho(false);
    m_kor7 = std::make_unique<TKor7>(nullptr, m_prompter.get());
    m_view = std::make_unique<TInstrumentView>(nullptr, m_prompter.get());
    m_view->setKor7(m_kor7.get());
    TVoc isobutylene, benzene;
    isobutylene.voccode = 0;
    isobutylene.longname = QStringLiteral("Isobutylene");
    benzene.voccode = 2;
    benzene.longname = QStringLiteral("Benzene");
    m_vocs.setEntries({isobutylene, benzene});
    m_view->setVocList(&m_vocs);
    Kor7Image& image = m_kor7->EEImage();
    QVERIFY(image.setUnitBytes(unitFixture(123456789)));
    QVERIFY(image.setSlotBytes(0, slotFixture(11, 1001, 0x00)));
    QVERIFY(image.setSlotBytes(1, slotFixture(21, 1002, 0x01)));
    QVERIFY(image.setSlotBytes(2, slotFixture(31, 1003, 0x60)));
    QVERIFY(image.setSlotBytes(3, slotFixture(101, 1004, 0x44)));
    QVERIFY(image.setSlotBytes(4, slotFixture(41, 1005, 0x00)));
    QVERIFY(image.setSlotBytes(5, slotFixture(254, 1006, 0x00)));
    QVERIFY(image.setScreenBytes(*encodeScreens({"CALDERWICK", "", "", "", "", "", "", "SERVICE"})));
}

void TstInstrumentView::cleanup()
{
    m_view.reset();
    m_kor7.reset();
}

void TstInstrumentView::instrumentPage()
{
    int asked = 0;
    m_view->AskSerialNumber = [&](QString, QString) -> QCoro::Task<std::optional<QString>> {
        ++asked;
        co_return std::nullopt;
    };
    QCoro::waitFor(m_view->ShowInstrConfig());
    QCOMPARE(asked, 0);
    QCOMPARE(m_view->pgSensorData->currentIndex(), 0);
    QCOMPARE(m_view->edInstrSerial->text(), QStringLiteral("123456789"));
    QCOMPARE(m_view->edFirmware->text(), QStringLiteral("1.23"));
    QCOMPARE(m_view->edTurnOnTime->text(), SecondsToText(86400 * 9000));
    QCOMPARE(m_view->edTotalRunTime->text(), QStringLiteral("01h 02m 05s"));
    QCOMPARE(m_view->edSampleInterval->text(), QStringLiteral(" 1:15"));
    QCOMPARE(m_view->edSecurityBeep->text(), QStringLiteral("Disabled"));
    QCOMPARE(m_view->edLastFullCal->text(), SecondsToText(86400 * 9100));
    QCOMPARE(m_view->edLastBump->text(), QStringLiteral("N/A"));
    QCOMPARE(m_view->edCalReminder->text(), QStringLiteral("180 day(s)"));
    QCOMPARE(m_view->edBumpReminder->text(), QStringLiteral("30 day(s)"));
    QCOMPARE(m_view->edStel->text(), QStringLiteral("15 min(s)"));
    QCOMPARE(m_view->edTwa->text(), QStringLiteral("8 hour(s)"));
    QCOMPARE(m_view->edServiceReminder->text(), QStringLiteral("365 day(s)"));
    QCOMPARE(m_view->edLastService->text(), SecondsToText(86400 * 9300));
    QVERIFY(m_view->chkPeak->isChecked());
    QVERIFY(m_view->chkTwa->isChecked());
    QVERIFY(!m_view->chkStel->isChecked());
    QVERIFY(m_view->chkVibrator->isChecked()); // bit 25, VibratorInstalled
    QVERIFY(!m_view->chkLatch->isChecked());
    QCOMPARE(m_view->ledNeedsSpan->onColor(), QColor(Qt::red));
    QCOMPARE(m_view->ledNeedsZero->onColor(), QColor(Qt::green));
    QCOMPARE(m_view->edScreen[0]->text(), QStringLiteral("CALDERWICK     "));
    QVERIFY(m_view->pgInstrument->widget(0)->isEnabled());

    // Without data logging the interval reads "BlackBox".
    m_kor7->SetOption(DLStatus, false);
    QCoro::waitFor(m_view->ShowInstrConfig());
    QCOMPARE(m_view->edSampleInterval->text(), QStringLiteral("BlackBox"));
    QCOMPARE(m_view->edSampleInterval->palette().color(QPalette::Text), QColor(Qt::blue));
    QCOMPARE(m_view->edSecurityBeep->palette().color(QPalette::Text), QColor(Qt::darkGreen));
    // The edit-writing forms, as the option view uses them.
    QLineEdit edit;
    QCOMPARE(FormatDLInterval(&edit, 0, true), QStringLiteral("Disabled"));
    QCOMPARE(edit.text(), QStringLiteral("Disabled"));
    QCOMPARE(edit.palette().color(QPalette::Text), QColor(Qt::darkGreen));
    QCOMPARE(FormatDLInterval(&edit, 605, true), QStringLiteral("10:05"));
    QCOMPARE(edit.palette().color(QPalette::Text), QColor(Qt::black));
    QCOMPARE(FormatSecurityBeepInterval(&edit, 90), QStringLiteral(" 1:30"));
    QCOMPARE(edit.palette().color(QPalette::Text), QColor(Qt::black)); // left as it was
}

void TstInstrumentView::serialAskedUntilValid()
{
    QVERIFY(m_kor7->EEImage().setUnitBytes(unitFixture(0)));
    const QByteArray before = m_kor7->EEImage().unitBytes();
    QStringList answers{"1", "abc", "", "987654321"};
    QStringList prompts, titles;
    QList<quint32> serialsSeen;
    m_view->AskSerialNumber = [&](QString title, QString prompt) -> QCoro::Task<std::optional<QString>> {
        titles << title;
        prompts << prompt;
        serialsSeen << m_kor7->EEImage().unit().serialNumber;
        if (answers.isEmpty())
            co_return std::nullopt;
        const QString a = answers.takeFirst();
        if (a.isEmpty())
            co_return std::nullopt; // the box closed without an entry: asked again
        co_return a;
    };
    QCoro::waitFor(m_view->ShowInstrConfig());
    QCOMPARE(prompts.size(), 4);
    QCOMPARE(titles.first(), QStringLiteral("Serial Number Out of Range"));
    QCOMPARE(prompts[0], QStringLiteral("Please enter the Serial Number from the instrument 0"));
    QCOMPARE(prompts[1], QStringLiteral("Please enter the Serial Number from the instrument 1")); // 1 is kept
    QCOMPARE(serialsSeen, (QList<quint32>{0, 1, 1, 1}));
    QCOMPARE(m_kor7->EEImage().unit().serialNumber, 987654321u);
    QCOMPARE(m_view->edInstrSerial->text(), QStringLiteral("987654321"));
    // Only the serial bytes changed.
    const QByteArray after = m_kor7->EEImage().unitBytes();
    for (int i = 0; i < UnitMemorySize; ++i)
        if (i < 4 || i >= 8)
            QVERIFY(after[i] == before[i]);
}

void TstInstrumentView::sensorPages_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("alarmTitle");
    QTest::addColumn<QString>("dangerLabel");
    QTest::addColumn<QString>("danger");
    QTest::addColumn<QString>("warningLabel");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<bool>("stelShown");
    QTest::addColumn<bool>("calGasShown");
    QTest::addColumn<QString>("calGas");
    QTest::newRow("O2") << 0 << "O2 (001001)"
                        << "Alarms (%)"
                        << "High"
                        << "23.5"
                        << "Low"
                        << "19.5" << false << false << "";
    QTest::newRow("LEL") << 1 << "LEL (001002)"
                         << "Alarms (%)"
                         << "Danger"
                         << "20.0"
                         << "Warning"
                         << "10.0" << false << true << "25.0";
    QTest::newRow("VOC") << 2 << "Benzene (001003)"
                         << "Alarms (ppm)"
                         << "Danger"
                         << "20.0"
                         << "Warning"
                         << "10.0" << true << true << "25.0";
    QTest::newRow("H2S") << 3 << "H2S (001004)"
                         << "Alarms (ppm)"
                         << "Danger"
                         << "20.0"
                         << "Warning"
                         << "10.0" << true << true << "25.0";
    QTest::newRow("CH4 %vol") << 4 << "CH4 (001005)"
                              << "Alarms (%)"
                              << "Danger"
                              << "0.20"
                              << "Warning"
                              << "0.10" << true << true << "0.3"; // 0.25 rounded half away from zero
}

void TstInstrumentView::sensorPages()
{
    QFETCH(int, slot);
    QFETCH(QString, caption);
    QFETCH(QString, alarmTitle);
    QFETCH(QString, dangerLabel);
    QFETCH(QString, danger);
    QFETCH(QString, warningLabel);
    QFETCH(QString, warning);
    QFETCH(bool, stelShown);
    QFETCH(bool, calGasShown);
    QFETCH(QString, calGas);
    m_view->show();
    m_view->HideSensorPages();
    m_view->ShowSensorConfig(slot);
    QVERIFY(m_view->pgSensorData->isTabVisible(slot + 1));
    QCOMPARE(m_view->pgSensorData->tabText(slot + 1), caption);
    TfraSensor* f = m_view->fraSensor[slot];
    QTRY_COMPARE(f->gbSensor->title(), caption); // loaded by tmrLoadData
    QCOMPARE(f->gbSenAlms->title(), alarmTitle);
    QCOMPARE(f->lblDanger->text(), dangerLabel);
    QCOMPARE(f->edDanger->text(), danger);
    QCOMPARE(f->lblWarning->text(), warningLabel);
    QCOMPARE(f->edWarning->text(), warning);
    m_view->pgSensorData->setCurrentIndex(slot + 1);
    QCOMPARE(f->edStel->isVisible(), stelShown);
    QCOMPARE(f->edTwa->isVisible(), stelShown);
    QCOMPARE(f->edCalGas->isVisible(), calGasShown);
    if (calGasShown)
        QCOMPARE(f->edCalGas->text(), calGas);
    if (stelShown)
        QCOMPARE(f->edTwa->text(), QStringLiteral("Disabled")); // a zero alarm
    QCOMPARE(f->edSqf->text(), QStringLiteral("17"));
    QCOMPARE(f->edLastFreshAirCal->text(), SecondsToText(86400 * 9000));
    QCOMPARE(f->edLastGasCal->text(), QStringLiteral("N/A"));
    QCOMPARE(f->edVocFactor->isVisible(), slot == 2);
    if (slot == 2)
        QCOMPARE(f->edVocFactor->text(), QStringLiteral("0.53"));
}

void TstInstrumentView::emptySlotNeverShown()
{
    for (int s = 0; s < SensorSlotCount; ++s)
        m_view->ShowSensorConfig(s);
    QVERIFY(!m_view->pgSensorData->isTabVisible(5 + 1)); // type 254
    QVERIFY(!m_view->pgSensorData->isTabVisible(6 + 1)); // type 0
    for (int s = 0; s < 5; ++s)
        QVERIFY(m_view->pgSensorData->isTabVisible(s + 1));
}

void TstInstrumentView::vocNames()
{
    SensorConfig voc = m_kor7->EEImage().sensor(2);
    voc.vocCode = 9; // not in voc_info
    QVERIFY(m_kor7->EEImage().setSensor(2, voc));
    m_view->ShowSensorConfig(2);
    QCOMPARE(m_view->pgSensorData->tabText(3), QStringLiteral("Unknown (001003)"));
    QTRY_COMPARE(m_view->fraSensor[2]->gbSensor->title(), QStringLiteral("Unknown (001003)"));
    QCOMPARE(m_view->fraSensor[2]->vocCode(), 9);
}

void TstInstrumentView::decimalPoint()
{
    // Slot 2: bits 5 and 6 set; slot 3: bit 6 set but bit 5 clear.
    m_view->fraSensor[2]->LoadSensorData();
    QVERIFY(m_view->fraSensor[2]->chkDecPoint->isEnabled());
    QVERIFY(m_view->fraSensor[2]->chkDecPoint->isChecked());
    m_view->fraSensor[3]->LoadSensorData();
    QVERIFY(!m_view->fraSensor[3]->chkDecPoint->isEnabled());
    QVERIFY(!m_view->fraSensor[3]->chkDecPoint->isChecked());
    // LEDs: slot 3 has the bump flag (bit 2), slot 1 the zero flag.
    QCOMPARE(m_view->fraSensor[3]->ledBump->onColor(), QColor(Qt::red));
    QCOMPARE(m_view->fraSensor[3]->ledZeroCal->onColor(), QColor(Qt::green));
    m_view->fraSensor[1]->LoadSensorData();
    QCOMPARE(m_view->fraSensor[1]->ledZeroCal->onColor(), QColor(Qt::red));
}

void TstInstrumentView::gasReadings()
{
    // The sensor table as GST reported it.
    m_kor7->SetSensorTable(QByteArray::fromHex("0b151f65290000"));
    TGasReading reading{0, 0, 25, 350, 7, 55, 209}; // element 6 - s is slot s
    // Before the test has gas: nothing shown in the stand-by and zero-check states.
    m_view->VexaExpressDock1xGotGasReading(TDockState::Cmd_Stb, reading);
    QVERIFY(!m_view->gbGasReadings->isVisibleTo(m_view.get()));
    m_view->VexaExpressDock1xGotGasReading(TDockState::Cmd_CheckZero, reading);
    QVERIFY(!m_view->gbGasReadings->isVisibleTo(m_view.get()));
    m_view->VexaExpressDock1xGotGasReading(TDockState::Cmd_WaitForGas, reading);
    QVERIFY(m_view->gbGasReadings->isVisibleTo(m_view.get()));
    QCOMPARE(m_view->lblBumpStatus->text(), QStringLiteral("Bumping..."));
    QCOMPARE(m_view->lblGasReadings->text(),
             QStringLiteral(" O2: 20.9 % LEL: 5.5 % VOC: 0.7 ppm H2S: 35.0 ppm CH4: 0.03 %"));
    const QColor first = m_view->lblGasReadings->palette().color(QPalette::WindowText);
    m_view->VexaExpressDock1xGotGasReading(TDockState::Cmd_WaitForGas, reading);
    QVERIFY(m_view->lblGasReadings->palette().color(QPalette::WindowText) != first); // alternates
    m_view->VexaExpressDock1xGotGasReading(TDockState::Cmd_Bumping, reading);
    QCOMPARE(m_view->lblBumpStatus->text(), QStringLiteral("Bump Passed"));
    QCOMPARE(m_view->lblGasReadings->palette().color(QPalette::WindowText), QColor(Qt::black));
}

QTEST_MAIN(TstInstrumentView)
#include "tst_instrumentview.moc"
