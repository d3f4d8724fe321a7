#include "instrument/SensorFrame.h"

#include "instrument/Kor7Format.h"

#include "common/Formatting.h"
#include "common/LedIndicator.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vx8 {

using namespace kor7;

namespace {
QLineEdit* readOnlyEdit(QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    e->setMinimumWidth(150);
    return e;
}
} // namespace

void setFlagLed(LedIndicator* led, bool flagSet)
{
    led->setOnColor(flagSet ? QColor(Qt::red) : QColor(Qt::green));
    led->setOn(true);
}

TfraSensor::TfraSensor(QWidget* parent) : QWidget(parent)
{
    m_tmrLoadData.setSingleShot(true);
    m_tmrLoadData.setInterval(50);
    connect(&m_tmrLoadData, &QTimer::timeout, this, [this] {
        m_tmrLoadData.stop();
        LoadSensorData();
    });

    auto* outer = new QVBoxLayout(this);
    gbSensor = new QGroupBox(QStringLiteral("Sensor Name - xxxxx"), this);
    outer->addWidget(gbSensor);
    auto* columns = new QHBoxLayout(gbSensor);

    gbSenAlms = new QGroupBox(QStringLiteral("Alarms (ppm)"), gbSensor);
    auto* alarms = new QGridLayout(gbSenAlms);
    lblDanger = new QLabel(QStringLiteral("Danger "), gbSenAlms);
    lblWarning = new QLabel(QStringLiteral("Warning"), gbSenAlms);
    lblStel = new QLabel(QStringLiteral("STEL"), gbSenAlms);
    lblTwa = new QLabel(QStringLiteral("TWA"), gbSenAlms);
    edDanger = readOnlyEdit(gbSenAlms);
    edWarning = readOnlyEdit(gbSenAlms);
    edStel = readOnlyEdit(gbSenAlms);
    edTwa = readOnlyEdit(gbSenAlms);
    int row = 0;
    for (auto [l, e] :
         {std::pair{lblDanger, edDanger}, {lblWarning, edWarning}, {lblStel, edStel}, {lblTwa, edTwa}}) {
        alarms->addWidget(l, row, 0);
        alarms->addWidget(e, row++, 1);
    }
    alarms->setRowStretch(row, 1);
    columns->addWidget(gbSenAlms);

    gbsenCal = new QGroupBox(QStringLiteral("Calibration"), gbSensor);
    auto* cal = new QFormLayout(gbsenCal);
    lblCalGas = new QLabel(QStringLiteral("Manual Cal Gas"), gbsenCal);
    edCalGas = readOnlyEdit(gbsenCal);
    cal->addRow(lblCalGas, edCalGas);
    edLastFreshAirCal = readOnlyEdit(gbsenCal);
    cal->addRow(QStringLiteral("Last Fresh Air Cal"), edLastFreshAirCal);
    edLastGasCal = readOnlyEdit(gbsenCal);
    cal->addRow(QStringLiteral("Last Gas Cal"), edLastGasCal);
    edLastBump = readOnlyEdit(gbsenCal);
    cal->addRow(QStringLiteral("Last Bump"), edLastBump);
    edCalFrom = readOnlyEdit(gbsenCal);
    cal->addRow(QStringLiteral("Cal From"), edCalFrom);
    edCalTo = readOnlyEdit(gbsenCal);
    cal->addRow(QStringLiteral("Cal To"), edCalTo);
    edSqf = readOnlyEdit(gbsenCal);
    cal->addRow(QStringLiteral("SQF"), edSqf);
    edExpiration = readOnlyEdit(gbsenCal);
    cal->addRow(QStringLiteral("Expiration Date"), edExpiration);
    edManufacture = readOnlyEdit(gbsenCal);
    cal->addRow(QStringLiteral("Manufacture Date"), edManufacture);
    lblVocFactor = new QLabel(QStringLiteral("VOC Factor"), gbsenCal);
    edVocFactor = readOnlyEdit(gbsenCal);
    cal->addRow(lblVocFactor, edVocFactor);
    lblVocFactor->setVisible(false);
    edVocFactor->setVisible(false);
    columns->addWidget(gbsenCal);

    auto* status = new QVBoxLayout();
    chkDecPoint = new QCheckBox(QStringLiteral("Enable Dec Point"), gbSensor);
    status->addWidget(chkDecPoint);
    auto addLed = [&](const QString& text) {
        auto* line = new QHBoxLayout();
        auto* led = new LedIndicator(gbSensor);
        line->addWidget(led);
        line->addWidget(new QLabel(text, gbSensor));
        line->addStretch();
        status->addLayout(line);
        return led;
    };
    ledZeroCal = addLed(QStringLiteral("Zero Cal"));
    ledSpanCal = addLed(QStringLiteral("Span Cal"));
    ledBump = addLed(QStringLiteral("Bump"));
    status->addStretch();
    columns->addLayout(status);
    outer->addStretch();
}

void TfraSensor::setSlotImage(const Kor7Image* image, int slot)
{
    m_image = image;
    m_slot = slot;
}

void TfraSensor::setVoc(int code, const QString& name)
{
    m_vocCode = code;
    m_vocName = name;
}

void TfraSensor::LoadSensorData()
{
    if (!m_image)
        return;
    const SensorConfig s = m_image->sensor(m_slot);
    const int t = s.typeCode;
    auto show = [](QWidget* w, bool on) { w->setVisible(on); };

    switch (s.group()) {
    case SensorGroup::Oxygen:
        show(lblStel, false), show(edStel, false), show(lblTwa, false), show(edTwa, false);
        show(lblCalGas, false), show(edCalGas, false);
        gbSenAlms->setTitle(QStringLiteral("Alarms (%)"));
        lblDanger->setText(QStringLiteral("High"));
        lblWarning->setText(QStringLiteral("Low"));
        edDanger->setText(FormatAlarmLevelText(s.dangerAlarm, t, false));
        edWarning->setText(FormatAlarmLevelText(s.lowAlarm, t, false));
        break;
    case SensorGroup::Combustible:
        show(lblStel, false), show(edStel, false), show(lblTwa, false), show(edTwa, false);
        show(lblCalGas, true), show(edCalGas, true);
        gbSenAlms->setTitle(QStringLiteral("Alarms (%)"));
        lblDanger->setText(QStringLiteral("Danger"));
        lblWarning->setText(QStringLiteral("Warning"));
        edDanger->setText(FormatAlarmLevelText(s.dangerAlarm, t, false));
        edWarning->setText(FormatAlarmLevelText(s.warningAlarm, t, false));
        break;
    case SensorGroup::PercentVolume:
    case SensorGroup::Voc:
    case SensorGroup::Toxic:
    case SensorGroup::Empty: {
        const bool percent = s.group() == SensorGroup::PercentVolume;
        show(lblStel, true), show(edStel, true), show(lblTwa, true), show(edTwa, true);
        show(lblCalGas, true), show(edCalGas, true);
        gbSenAlms->setTitle(percent ? QStringLiteral("Alarms (%)") : QStringLiteral("Alarms (ppm)"));
        lblDanger->setText(QStringLiteral("Danger"));
        lblWarning->setText(QStringLiteral("Warning"));
        edDanger->setText(FormatAlarmLevelText(s.dangerAlarm, t, false));
        edWarning->setText(FormatAlarmLevelText(s.warningAlarm, t, false));
        edStel->setText(FormatAlarmLevelText(s.stelAlarm, t, false));
        edTwa->setText(FormatAlarmLevelText(s.twaAlarm, t, false));
        break;
    }
    }
    edCalGas->setText(CalGasText(s.calGasValue, t));

    gbSensor->setTitle(SensorCaption(s, m_vocName));
    const bool voc = isVocType(t);
    lblVocFactor->setVisible(voc);
    edVocFactor->setVisible(voc);
    if (voc)
        edVocFactor->setText(
            QString::asprintf("%2.2f", s.vocFactor / 100.0).replace(QLatin1Char('.'), DecimalSeparator()));
    else
        edVocFactor->clear();

    edLastFreshAirCal->setText(SecondsToText(s.lastZeroCal));
    edLastGasCal->setText(SecondsToText(s.lastSpanCal));
    edLastBump->setText(SecondsToText(s.lastBump));
    edExpiration->setText(SecondsToText(s.warrantyExpiration));
    edManufacture->setText(SecondsToText(s.manufactureDate));
    edCalFrom->setText(FormatGasValueLevelText(s.calFrom, t, false));
    edCalTo->setText(FormatGasValueLevelText(s.calTo, t, false));
    edSqf->setText(QString::number(s.t63));

    setFlagLed(ledZeroCal, s.flag(FlagNeedsZero));
    setFlagLed(ledSpanCal, s.flag(FlagNeedsSpan));
    setFlagLed(ledBump, s.flag(FlagNeedsBump));
    if (s.flag(FlagDecimalPointAvailable)) {
        chkDecPoint->setEnabled(true);
        chkDecPoint->setChecked(s.flag(FlagDecimalPointEnabled));
    } else {
        chkDecPoint->setChecked(false);
        chkDecPoint->setEnabled(false);
    }
}

} // namespace vx8
