#pragma once

// Texts the instrument pages show, as pure functions (the views only place them): alarm levels
// and gas values by sensor type, the data-logger and security-beep intervals, sensor captions and
// the live gas-reading line.

#include "instrument/Kor7Memory.h"

#include <QString>

#include <array>

namespace vx8::kor7 {

// raw / GasDivisor(type): "%2.1f" (10–29 and the rest), "%2.2f" (41, 70–79); with the unit
// " %" (10–29, 41, 70–79) or " ppm".
QString FormatGasValueLevelText(int raw, int typeCode, bool withUnit);
// As FormatGasValueLevelText, but "%2.2f" also for 140–149 and 180–189, and 0 is "Disabled" (no unit).
QString FormatAlarmLevelText(int raw, int typeCode, bool withUnit);
// The manual calibration gas value: raw / GasDivisor(type) as "%2.1f".
QString CalGasText(quint16 raw, int typeCode);

enum class TextColor
{
    Unchanged,
    Black,
    Green,
    Blue
};
struct IntervalText
{
    QString text;
    TextColor color = TextColor::Unchanged;
};
// Non-zero: minutes "%2d" + ":" + seconds "%02d", in black; 0: "Disabled" in green; without data
// logging "BlackBox" in blue whatever the interval.
IntervalText DLIntervalText(int seconds, bool dataLogging);
// The same without the colour reset and without the BlackBox rule.
IntervalText SecurityBeepIntervalText(int seconds);

// Gas name (or, for a VOC sensor, the VOC name) + " (" + six-digit serial + ")".
QString SensorCaption(const SensorConfig& sensor, const QString& vocName);

// The live reading line: for every slot with a sensor (type from the sensor table),
// " " + gas name + ": " + the slot's reading (element 6 − slot of the dock's reading).
QString GasReadingsText(const QByteArray& sensorTable, const std::array<int, 7>& dockReading);

} // namespace vx8::kor7
