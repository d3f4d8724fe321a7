#include "instrument/Kor7Format.h"

#include "common/Formatting.h"

namespace vx8::kor7 {

namespace {

bool in(int v, int lo, int hi)
{
    return v >= lo && v <= hi;
}

// raw / divisor with `decimals` decimals (rounded half away from zero), blank-padded to `width`.
QString fixed(qint64 raw, int divisor, int decimals, int width)
{
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const bool negative = raw < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(raw) : quint64(raw);
    const quint64 numerator = magnitude * quint64(scale);
    quint64 q = numerator / quint64(divisor);
    if (2 * (numerator % quint64(divisor)) >= quint64(divisor))
        ++q;
    QString text = negative && q != 0 ? QStringLiteral("-") : QString();
    text += QString::number(q / quint64(scale));
    if (decimals > 0)
        text +=
            DecimalSeparator() + QStringLiteral("%1").arg(q % quint64(scale), decimals, 10, QLatin1Char('0'));
    return text.size() >= width ? text : QString(width - text.size(), QLatin1Char(' ')) + text;
}

QString unitText(int t)
{
    return (in(t, 10, 29) || t == 41 || in(t, 70, 79)) ? QStringLiteral(" %") : QStringLiteral(" ppm");
}

} // namespace

QString FormatGasValueLevelText(int raw, int t, bool withUnit)
{
    const int decimals = (t == 41 || in(t, 70, 79)) ? 2 : 1;
    QString text = fixed(raw, GasDivisor(t), decimals, 2);
    if (withUnit)
        text += unitText(t);
    return text;
}

QString FormatAlarmLevelText(int raw, int t, bool withUnit)
{
    if (raw == 0)
        return QStringLiteral("Disabled");
    const int decimals = (t == 41 || in(t, 70, 79) || in(t, 140, 149) || in(t, 180, 189)) ? 2 : 1;
    QString text = fixed(raw, GasDivisor(t), decimals, 2);
    if (withUnit)
        text += unitText(t);
    return text;
}

QString CalGasText(quint16 raw, int t)
{
    return fixed(raw, GasDivisor(t), 1, 2);
}

IntervalText DLIntervalText(int seconds, bool dataLogging)
{
    if (!dataLogging)
        return {QStringLiteral("BlackBox"), TextColor::Blue};
    if (seconds == 0)
        return {QStringLiteral("Disabled"), TextColor::Green};
    return {QStringLiteral("%1:%2").arg(seconds / 60, 2).arg(seconds % 60, 2, 10, QLatin1Char('0')),
            TextColor::Black};
}

IntervalText SecurityBeepIntervalText(int seconds)
{
    if (seconds == 0)
        return {QStringLiteral("Disabled"), TextColor::Green};
    return {QStringLiteral("%1:%2").arg(seconds / 60, 2).arg(seconds % 60, 2, 10, QLatin1Char('0')),
            TextColor::Unchanged};
}

QString SensorCaption(const SensorConfig& s, const QString& vocName)
{
    const QString name = isVocType(s.typeCode) ? vocName : GasName(s.typeCode);
    return name + QStringLiteral(" (") + FormatSensorSerial(s.serialNumber) + QStringLiteral(")");
}

QString GasReadingsText(const QByteArray& sensorTable, const std::array<int, 7>& dockReading)
{
    QString text;
    const auto bySlot = gasReadingBySlot(dockReading);
    for (int s = 0; s < SensorSlotCount && s < sensorTable.size(); ++s) {
        const int t = static_cast<quint8>(sensorTable[s]);
        if (isEmptySlotType(t))
            continue;
        text += QStringLiteral(" ") + GasName(t) + QStringLiteral(": ") +
                FormatGasValueLevelText(bySlot[s], t, true);
    }
    return text;
}

} // namespace vx8::kor7
