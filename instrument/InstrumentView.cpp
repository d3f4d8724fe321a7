#include "instrument/InstrumentView.h"

#include "instrument/Kor7.h"
#include "instrument/Kor7Format.h"
#include "instrument/SensorFrame.h"
#include "instrument/VocList.h"

#include "common/Formatting.h"
#include "common/LedIndicator.h"
#include "common/Prompter.h"
#include "common/Trace.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <qcoro/qcorosignal.h>

namespace vx8 {

using namespace kor7;

namespace {

const QColor Navy(0x00, 0x00, 0x80);
const QColor Maroon(0x80, 0x00, 0x00);

QLineEdit* field(QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    e->setMinimumWidth(170);
    return e;
}

void setTextColor(QLineEdit* edit, const QColor& color)
{
    QPalette p = edit->palette();
    p.setColor(QPalette::Text, color);
    edit->setPalette(p);
}

void setTextColor(QLineEdit* edit, TextColor color)
{
    switch (color) {
    case TextColor::Unchanged:
        return;
    case TextColor::Black:
        setTextColor(edit, QColor(Qt::black));
        return;
    case TextColor::Green:
        setTextColor(edit, QColor(Qt::darkGreen));
        return;
    case TextColor::Blue:
        setTextColor(edit, QColor(Qt::blue));
        return;
    }
}

void setLabelColor(QLabel* label, const QColor& color)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

// The seven sensor pages, in slot order.
const char* const SensorPageNames[7] = {"tsO2", "tsEX1", "tsEX2", "tsTOX1", "tsTOX2", "tsTOX3", "tsDuoTox"};

} // namespace

QString FormatDLInterval(QLineEdit* Edit, int Seconds, bool DataLogging)
{
    const IntervalText t = DLIntervalText(Seconds, DataLogging);
    if (Edit) {
        QFont font = Edit->font();
        font.setBold(false);
        font.setItalic(false);
        Edit->setFont(font);
        setTextColor(Edit, QColor(Qt::black));
        setTextColor(Edit, t.color);
        Edit->setText(t.text);
    }
    return t.text;
}

QString FormatSecurityBeepInterval(QLineEdit* Edit, int Seconds)
{
    const IntervalText t = SecurityBeepIntervalText(Seconds);
    if (Edit) {
        setTextColor(Edit, t.color);
        Edit->setText(t.text);
    }
    return t.text;
}

TInstrumentView::TInstrumentView(QWidget* parent, Prompter* prompter) : QWidget(parent), m_prompter(prompter)
{
    auto* outer = new QVBoxLayout(this);
    pgSensorData = new QTabWidget(this);
    pgSensorData->setObjectName(QStringLiteral("pgSensorData"));
    outer->addWidget(pgSensorData, 1);
    buildInstrumentPage();
    for (int s = 0; s < SensorSlotCount; ++s) {
        auto* page = new QWidget(pgSensorData);
        page->setObjectName(QLatin1String(SensorPageNames[s]));
        auto* l = new QVBoxLayout(page);
        fraSensor[s] = new TfraSensor(page);
        fraSensor[s]->setObjectName(QStringLiteral("fraSensor%1").arg(s));
        l->addWidget(fraSensor[s]);
        sensorPage[s] = page;
        pgSensorData->addTab(page, QStringLiteral("Sensor %1").arg(s + 1));
        pgSensorData->setTabVisible(s + 1, false);
    }

    auto* bottom = new QHBoxLayout();
    gbGasReadings = new QGroupBox(QStringLiteral("Gas Readings"), this);
    auto* gl = new QVBoxLayout(gbGasReadings);
    lblGasReadings = new QLabel(gbGasReadings);
    lblGasReadings->setObjectName(QStringLiteral("lblGasReadings"));
    gl->addWidget(lblGasReadings);
    gbGasReadings->setVisible(false);
    bottom->addWidget(gbGasReadings, 1);
    lblBumpStatus = new QLabel(this);
    bottom->addWidget(lblBumpStatus);
    cbInstrReadTime = new QPushButton(QStringLiteral("Read Instrument Time"), this);
    cbInstrSetTime = new QPushButton(QStringLiteral("Set Instrument Time"), this);
    bottom->addWidget(cbInstrReadTime);
    bottom->addWidget(cbInstrSetTime);
    outer->addLayout(bottom);

    connect(cbInstrReadTime, &QPushButton::clicked, this, [this] { readTime(); });
    connect(cbInstrSetTime, &QPushButton::clicked, this, [this] { setTime(); });

    AskSerialNumber = [this](QString title, QString prompt) -> QCoro::Task<std::optional<QString>> {
        auto alive = m_alive;
        auto* dialog = new QInputDialog(this);
        dialog->setWindowTitle(title);
        dialog->setLabelText(prompt);
        dialog->setInputMode(QInputDialog::TextInput);
        dialog->setWindowModality(Qt::WindowModal); // only this window waits; the others go on
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<QInputDialog> guard(dialog);
        dialog->open();
        const auto result = co_await qCoro(dialog, &QDialog::finished);
        if (!*alive || !guard || result != QDialog::Accepted)
            co_return std::nullopt;
        co_return guard->textValue();
    };
}

TInstrumentView::~TInstrumentView()
{
    *m_alive = false;
}

Prompter& TInstrumentView::prompter() const
{
    return m_prompter ? *m_prompter : Prompter::instance();
}

void TInstrumentView::setKor7(TKor7* kor7)
{
    m_kor7 = kor7;
    for (int s = 0; s < SensorSlotCount; ++s)
        fraSensor[s]->setSlotImage(kor7 ? &kor7->EEImage() : nullptr, s);
}

void TInstrumentView::buildInstrumentPage()
{
    auto* page = new QWidget(pgSensorData);
    page->setObjectName(QStringLiteral("tsInstrument"));
    auto* l = new QVBoxLayout(page);
    pgInstrument = new QTabWidget(page);
    l->addWidget(pgInstrument);
    pgSensorData->addTab(page, QStringLiteral("Instrument"));

    auto form = [this](const QString& title) {
        auto* tab = new QWidget(pgInstrument);
        auto* f = new QFormLayout(tab);
        pgInstrument->addTab(tab, title);
        return std::pair{tab, f};
    };
    auto check = [](QWidget* parent, QFormLayout* f, const QString& text) {
        auto* c = new QCheckBox(text, parent);
        c->setEnabled(false); // shows the instrument's setting; templates change it
        f->addRow(c);
        return c;
    };
    auto led = [](QWidget* parent, QFormLayout* f, const QString& text) {
        auto* line = new QWidget(parent);
        auto* h = new QHBoxLayout(line);
        h->setContentsMargins(0, 0, 0, 0);
        auto* led = new LedIndicator(line);
        h->addWidget(led);
        h->addWidget(new QLabel(text, line));
        h->addStretch();
        f->addRow(line);
        return led;
    };

    auto [general, g] = form(QStringLiteral("General"));
    edInstrSerial = field(general);
    g->addRow(QStringLiteral("Serial Number"), edInstrSerial);
    edFirmware = field(general);
    g->addRow(QStringLiteral("Firmware"), edFirmware);
    edTurnOnTime = field(general);
    g->addRow(QStringLiteral("Turn On Time"), edTurnOnTime);
    edTotalRunTime = field(general);
    g->addRow(QStringLiteral("Total Run Time"), edTotalRunTime);
    ledNeedsZero = led(general, g, QStringLiteral("Zero Cal"));
    ledNeedsSpan = led(general, g, QStringLiteral("Span Cal"));
    ledNeedsBump = led(general, g, QStringLiteral("Bump"));
    general->setEnabled(false);

    auto [cal, c] = form(QStringLiteral("Calibration/Bump Testing"));
    edLastFullCal = field(cal);
    c->addRow(QStringLiteral("Last Full Calibration"), edLastFullCal);
    edLastBump = field(cal);
    c->addRow(QStringLiteral("Last Bump"), edLastBump);
    edCalReminder = field(cal);
    c->addRow(QStringLiteral("Calibration Reminder"), edCalReminder);
    edBumpReminder = field(cal);
    c->addRow(QStringLiteral("Bump Reminder"), edBumpReminder);
    chkCalDueLockout = check(cal, c, QStringLiteral("Cal Due Lockout"));
    chkFreshAirCal = check(cal, c, QStringLiteral("Fresh Air Cal on StartUp"));

    auto [features, f] = form(QStringLiteral("Features"));
    edSampleInterval = field(features);
    f->addRow(QStringLiteral("Sample Interval"), edSampleInterval);
    edStel = field(features);
    f->addRow(QStringLiteral("STEL Period"), edStel);
    edTwa = field(features);
    f->addRow(QStringLiteral("TWA Period"), edTwa);
    chkPeak = check(features, f, QStringLiteral("Enable PEAK Readings"));
    chkAverage = check(features, f, QStringLiteral("Enable Average Readings"));
    chkStel = check(features, f, QStringLiteral("Enable Stel Readings"));
    chkTwa = check(features, f, QStringLiteral("Enable TWA Readings"));
    chkLatch = check(features, f, QStringLiteral("Enable Latch Alarm"));
    chkLargeClamp = check(features, f, QStringLiteral("Enable Large Clamp"));
    chkVibrator = check(features, f, QStringLiteral("Enable Vibrator"));
    chkSelectUser = check(features, f, QStringLiteral("Enable Select User/Location on Start Up"));

    auto [service, sv] = form(QStringLiteral("Service / Security"));
    edSecurityBeep = field(service);
    sv->addRow(QStringLiteral("Security Beep"), edSecurityBeep);
    edServiceReminder = field(service);
    sv->addRow(QStringLiteral("Service Reminder"), edServiceReminder);
    edLastService = field(service);
    sv->addRow(QStringLiteral("Last Service Date"), edLastService);

    auto [screens, sc] = form(QStringLiteral("Custom Screens"));
    for (int k = 0; k < ScreenCount; ++k) {
        edScreen[k] = field(screens);
        sc->addRow(QStringLiteral("Screen %1").arg(k + 1), edScreen[k]);
    }
}

QCoro::Task<void> TInstrumentView::ShowInstrConfig()
{
    LocalDebugString(QStringLiteral("ShowInstrConfig"), lcInstr());
    auto alive = m_alive;
    if (!m_kor7)
        co_return;
    QPointer<TKor7> kor7 = m_kor7;
    pgSensorData->setCurrentIndex(0);

    UnitConfig unit = kor7->EEImage().unit();
    while (!unit.serialValid()) {
        setTextColor(edInstrSerial, QColor(Qt::red));
        edInstrSerial->setText(FormatInstrSerial(unit.serialNumber));
        const auto entry =
            co_await AskSerialNumber(QStringLiteral("Serial Number Out of Range"),
                                     QStringLiteral("Please enter the Serial Number from the instrument ") +
                                         QString::number(unit.serialNumber));
        if (!*alive || !kor7)
            co_return;
        bool ok = false;
        const qint64 value = entry ? entry->trimmed().toLongLong(&ok) : 0;
        if (ok && value >= 1 && value <= 999999999) {
            UnitConfig changed = kor7->EEImage().unit();
            changed.serialNumber = static_cast<quint32>(value);
            kor7->EEImage().setUnit(changed);
        }
        unit = kor7->EEImage().unit();
    }
    setTextColor(edInstrSerial, palette().color(QPalette::Text));

    edInstrSerial->setText(FormatInstrSerial(unit.serialNumber));
    edFirmware->setText(FormatHundredths(unit.firmwareVersion));
    edTurnOnTime->setText(SecondsToText(unit.turnOnTime));
    edTotalRunTime->setText(FormatDuration(unit.totalRunTime));
    FormatDLInterval(edSampleInterval, unit.sampleInterval, unit.option(DLStatus));
    edLastFullCal->setText(SecondsToText(unit.lastFullCal));
    edLastBump->setText(SecondsToText(unit.lastBump));
    setFlagLed(ledNeedsZero, unit.needsZero());
    setFlagLed(ledNeedsSpan, unit.needsSpan());
    setFlagLed(ledNeedsBump, unit.needsBump());
    FormatSecurityBeepInterval(edSecurityBeep, unit.securityBeepInterval);
    edCalReminder->setText(QString::number(unit.calReminderDays) + QStringLiteral(" day(s)"));
    edBumpReminder->setText(QString::number(unit.bumpReminderDays) + QStringLiteral(" day(s)"));
    edStel->setText(QString::number(unit.stelMinutes) + QStringLiteral(" min(s)"));
    edTwa->setText(QString::number(unit.twaHours) + QStringLiteral(" hour(s)"));
    edServiceReminder->setText(QString::number(unit.serviceReminderDays) + QStringLiteral(" day(s)"));
    edLastService->setText(SecondsToText(unit.lastService));
    chkCalDueLockout->setChecked(unit.option(CalDueLockout));
    chkPeak->setChecked(unit.option(PeakAlarmEnabled));
    chkAverage->setChecked(unit.option(AvgReadingsEnabled));
    chkStel->setChecked(unit.option(StelAlarmEnabled));
    chkTwa->setChecked(unit.option(TwaAlarmEnabled));
    chkLatch->setChecked(unit.option(AlarmLatchEnabled));
    chkLargeClamp->setChecked(unit.option(LargeClampEnabled));
    chkVibrator->setChecked(unit.option(VibratorInstalled)); // the "Enable Vibrator" box shows bit 25
    chkFreshAirCal->setChecked(unit.option(FreshAirCalStart));
    chkSelectUser->setChecked(unit.option(EnterUserOnStart));
    ShowCustomScreens();
    pgInstrument->widget(0)->setEnabled(true);
}

void TInstrumentView::ShowCustomScreens()
{
    if (!m_kor7)
        return;
    const QStringList texts = decodeScreenTexts(m_kor7->EEImage().screenBytes());
    for (int k = 0; k < ScreenCount; ++k)
        edScreen[k]->setText(texts.value(k));
}

void TInstrumentView::HideSensorPages()
{
    for (int s = 0; s < SensorSlotCount; ++s)
        pgSensorData->setTabVisible(s + 1, false);
}

void TInstrumentView::ShowSensorConfig(int Slot)
{
    LocalDebugString(QStringLiteral("ShowSensorConfig %1").arg(Slot), lcInstr());
    if (!m_kor7 || Slot < 0 || Slot >= SensorSlotCount)
        return;
    const SensorConfig s = m_kor7->EEImage().sensor(Slot);
    if (s.empty()) {
        pgSensorData->setTabVisible(Slot + 1, false);
        return;
    }
    TfraSensor* frame = fraSensor[Slot];
    frame->setSlotImage(&m_kor7->EEImage(), Slot);
    QString vocName;
    if (isVocType(s.typeCode)) {
        vocName = m_vocList ? m_vocList->GetVocName(s.vocCode) : QStringLiteral("Unknown");
        frame->setVoc(s.vocCode, vocName);
    }
    pgSensorData->setTabText(Slot + 1, SensorCaption(s, vocName));
    pgSensorData->setTabVisible(Slot + 1, true);
    frame->startLoad();
}

void TInstrumentView::VexaExpressDock1xGotGasReading(TDockState LastDockState, const TGasReading& Reading)
{
    switch (LastDockState) {
    case TDockState::Cmd_CheckZero:
        lblBumpStatus->setToolTip(QString());
        m_readingsColor = Navy;
        break;
    case TDockState::Cmd_WaitForGas:
        lblBumpStatus->setText(QStringLiteral("Bumping..."));
        setLabelColor(lblBumpStatus, Qt::black);
        break;
    case TDockState::Cmd_Bumping:
        lblBumpStatus->setText(QStringLiteral("Bump Passed"));
        lblBumpStatus->setToolTip(QStringLiteral("Bump Passed"));
        setLabelColor(lblBumpStatus, Qt::darkGreen);
        m_readingsColor = Qt::black;
        break;
    default:
        break;
    }
    if (LastDockState != TDockState::Cmd_Stb && LastDockState != TDockState::Cmd_CheckZero) {
        gbGasReadings->setVisible(true);
        std::array<int, 7> values{};
        for (int i = 0; i < 7; ++i)
            values[i] = Reading[i];
        const QByteArray table = m_kor7 ? m_kor7->SensorTable() : QByteArray();
        lblGasReadings->setText(GasReadingsText(table, values));
    }
    // Every update is visible: the colour alternates between maroon and navy (black stays).
    if (m_readingsColor != QColor(Qt::black))
        m_readingsColor = m_readingsColor == Maroon ? Navy : Maroon;
    setLabelColor(lblGasReadings, m_readingsColor);
}

QCoro::Task<void> TInstrumentView::readTime()
{
    auto alive = m_alive;
    QPointer<TKor7> kor7 = m_kor7;
    if (!kor7)
        co_return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    co_await kor7->GoOnLine(true);
    bool ok = false;
    if (kor7)
        ok = co_await kor7->ReadRTC();
    QApplication::restoreOverrideCursor();
    if (!*alive || !kor7 || !ok)
        co_return; // clock errors are the test cycle's
    prompter().inform(QLocale().toString(kor7->DateTime(), QLocale::ShortFormat));
}

QCoro::Task<void> TInstrumentView::setTime()
{
    auto alive = m_alive;
    QPointer<TKor7> kor7 = m_kor7;
    if (!kor7)
        co_return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = co_await kor7->SetRTC(QDateTime::currentDateTime());
    QApplication::restoreOverrideCursor();
    if (!*alive || !ok)
        co_return;
    prompter().inform(QStringLiteral("Instrument Time is set!"));
}

} // namespace vx8
