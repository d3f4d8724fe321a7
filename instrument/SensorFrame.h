#pragma once

// TfraSensor: the page of one sensor slot, filled from the slot's bytes of the memory image.

#include "instrument/Kor7Memory.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace vx8 {

class LedIndicator;

class TfraSensor : public QWidget
{
    Q_OBJECT

public:
    explicit TfraSensor(QWidget* parent = nullptr);

    // The image the frame reads its slot from (not owned) and the slot.
    void setSlotImage(const kor7::Kor7Image* image, int slot);
    int slot() const { return m_slot; }
    void setVoc(int code, const QString& name);
    int vocCode() const { return m_vocCode; }
    QString vocName() const { return m_vocName; }

    // Starts tmrLoadData (50 ms); its handler stops it and calls LoadSensorData.
    void startLoad() { m_tmrLoadData.start(); }
    QTimer& tmrLoadData() { return m_tmrLoadData; }
    // Fills the frame from the slot image.
    void LoadSensorData();

    // The widgets, for the page that hosts the frame and for tests.
    QGroupBox* gbSensor = nullptr;
    QGroupBox* gbSenAlms = nullptr;
    QGroupBox* gbsenCal = nullptr;
    QLabel* lblDanger = nullptr;
    QLabel* lblWarning = nullptr;
    QLabel* lblStel = nullptr;
    QLabel* lblTwa = nullptr;
    QLineEdit* edDanger = nullptr;
    QLineEdit* edWarning = nullptr;
    QLineEdit* edStel = nullptr;
    QLineEdit* edTwa = nullptr;
    QLabel* lblCalGas = nullptr;
    QLineEdit* edCalGas = nullptr;
    QLineEdit* edLastFreshAirCal = nullptr;
    QLineEdit* edLastGasCal = nullptr;
    QLineEdit* edLastBump = nullptr;
    QLineEdit* edCalFrom = nullptr;
    QLineEdit* edCalTo = nullptr;
    QLineEdit* edSqf = nullptr;
    QLineEdit* edExpiration = nullptr;
    QLineEdit* edManufacture = nullptr;
    QLabel* lblVocFactor = nullptr;
    QLineEdit* edVocFactor = nullptr;
    QCheckBox* chkDecPoint = nullptr;
    LedIndicator* ledZeroCal = nullptr;
    LedIndicator* ledSpanCal = nullptr;
    LedIndicator* ledBump = nullptr;

private:
    const kor7::Kor7Image* m_image = nullptr;
    int m_slot = 0;
    int m_vocCode = 0;
    QString m_vocName = QStringLiteral("Unknown");
    QTimer m_tmrLoadData;
};

// A status LED: red when the flag is set, green otherwise.
void setFlagLed(LedIndicator* led, bool flagSet);

} // namespace vx8
