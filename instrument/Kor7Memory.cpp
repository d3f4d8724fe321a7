#include "instrument/Kor7Memory.h"

namespace vx8::kor7 {

SensorGroup sensorGroup(int t)
{
    if (isEmptySlotType(t))
        return SensorGroup::Empty;
    if (t >= 10 && t <= 19)
        return SensorGroup::Oxygen;
    if (t >= 20 && t <= 29)
        return SensorGroup::Combustible;
    if (t >= 30 && t <= 39)
        return SensorGroup::Voc;
    if (t == 41 || (t >= 70 && t <= 79))
        return SensorGroup::PercentVolume;
    return SensorGroup::Toxic;
}

bool isEmptySlotType(int t)
{
    return t == 0 || t == 254;
}
bool isVocType(int t)
{
    return t >= 30 && t <= 39;
}

void UnitConfig::setOption(int bit, bool on)
{
    if (on)
        options |= (1u << bit);
    else
        options &= ~(1u << bit);
}

UnitConfig decodeUnitConfig(const QByteArray& b)
{
    UnitConfig c;
    if (b.size() < UnitMemorySize)
        return c;
    c.statusFlags = static_cast<quint8>(b[unit::StatusFlags]);
    c.serialNumber = le32(b, unit::SerialNumber);
    c.firmwareVersion = le16(b, unit::FirmwareVersion);
    c.accessPin = le16(b, unit::AccessPin);
    c.turnOnTime = le32(b, unit::TurnOnTime);
    c.totalRunTime = le32(b, unit::TotalRunTime);
    c.backlightTimeOut = le16(b, unit::BacklightTimeOut);
    c.languageCode = le16(b, unit::LanguageCode);
    c.securityBeepInterval = le16(b, unit::SecurityBeep);
    c.sampleInterval = le16(b, unit::SampleInterval);
    c.lastFullCal = le32(b, unit::LastFullCal);
    c.lastBump = le32(b, unit::LastBump);
    c.options = le32(b, unit::OptionWord);
    c.calReminderDays = le16(b, unit::CalReminder);
    c.bumpReminderDays = le16(b, unit::BumpReminder);
    c.serviceReminderDays = le16(b, unit::ServiceReminder);
    c.stelMinutes = static_cast<quint8>(b[unit::StelPeriod]);
    c.twaHours = static_cast<quint8>(b[unit::TwaPeriod]);
    c.lastService = le32(b, unit::LastService);
    return c;
}

bool encodeUnitConfig(const UnitConfig& c, QByteArray& b)
{
    if (b.size() != UnitMemorySize)
        return false;
    b[unit::StatusFlags] = static_cast<char>(c.statusFlags);
    putLe32(b, unit::SerialNumber, c.serialNumber);
    putLe16(b, unit::FirmwareVersion, c.firmwareVersion);
    putLe16(b, unit::AccessPin, c.accessPin);
    putLe32(b, unit::TurnOnTime, c.turnOnTime);
    putLe32(b, unit::TotalRunTime, c.totalRunTime);
    putLe16(b, unit::BacklightTimeOut, c.backlightTimeOut);
    putLe16(b, unit::LanguageCode, c.languageCode);
    putLe16(b, unit::SecurityBeep, c.securityBeepInterval);
    putLe16(b, unit::SampleInterval, c.sampleInterval);
    putLe32(b, unit::LastFullCal, c.lastFullCal);
    putLe32(b, unit::LastBump, c.lastBump);
    putLe32(b, unit::OptionWord, c.options);
    putLe16(b, unit::CalReminder, c.calReminderDays);
    putLe16(b, unit::BumpReminder, c.bumpReminderDays);
    putLe16(b, unit::ServiceReminder, c.serviceReminderDays);
    b[unit::StelPeriod] = static_cast<char>(c.stelMinutes);
    b[unit::TwaPeriod] = static_cast<char>(c.twaHours);
    putLe32(b, unit::LastService, c.lastService);
    return true;
}

SensorConfig decodeSensorConfig(const QByteArray& b)
{
    SensorConfig c;
    if (b.size() < SensorSlotSize)
        return c;
    c.flags = static_cast<quint8>(b[slot::Flags]);
    c.typeCode = static_cast<quint8>(b[slot::TypeCode]);
    c.serialNumber = le32(b, slot::SerialNumber);
    c.lastSpanCal = le32(b, slot::LastSpanCal);
    c.lastZeroCal = le32(b, slot::LastZeroCal);
    c.lowAlarm = le16s(b, slot::LowAlarm);
    c.warningAlarm = le16s(b, slot::WarningAlarm);
    c.dangerAlarm = le16s(b, slot::DangerAlarm);
    c.stelAlarm = le16s(b, slot::StelAlarm);
    c.twaAlarm = le16s(b, slot::TwaAlarm);
    c.defaultLowAlarmO2 = le16s(b, slot::DefaultLowAlarmO2);
    c.defaultLowAlarm = le16s(b, slot::DefaultLowAlarm);
    c.defaultHighAlarm = le16s(b, slot::DefaultHighAlarm);
    c.defaultStelAlarm = le16s(b, slot::DefaultStelAlarm);
    c.defaultTwaAlarm = le16s(b, slot::DefaultTwaAlarm);
    c.calGasValue = le16(b, slot::CalGasValue);
    c.calFrom = le16s(b, slot::CalFrom);
    c.calTo = le16s(b, slot::CalTo);
    c.zeroCalCurrent = le16s(b, slot::ZeroCalCurrent);
    c.spanCalCurrent = le16s(b, slot::SpanCalCurrent);
    c.t63 = le16s(b, slot::T63);
    c.lastBump = le32(b, slot::LastBump);
    c.manufactureDate = le32(b, slot::ManufactureDate);
    c.warrantyExpiration = le32(b, slot::WarrantyExpiration);
    c.vocFactor = le16(b, slot::VocFactor);
    c.vocCode = static_cast<quint8>(b[slot::VocCode]);
    return c;
}

bool encodeSensorConfig(const SensorConfig& c, QByteArray& b)
{
    if (b.size() != SensorSlotSize)
        return false;
    b[slot::Flags] = static_cast<char>(c.flags);
    b[slot::TypeCode] = static_cast<char>(c.typeCode);
    putLe32(b, slot::SerialNumber, c.serialNumber);
    putLe32(b, slot::LastSpanCal, c.lastSpanCal);
    putLe32(b, slot::LastZeroCal, c.lastZeroCal);
    putLe16(b, slot::LowAlarm, static_cast<quint16>(c.lowAlarm));
    putLe16(b, slot::WarningAlarm, static_cast<quint16>(c.warningAlarm));
    putLe16(b, slot::DangerAlarm, static_cast<quint16>(c.dangerAlarm));
    putLe16(b, slot::StelAlarm, static_cast<quint16>(c.stelAlarm));
    putLe16(b, slot::TwaAlarm, static_cast<quint16>(c.twaAlarm));
    putLe16(b, slot::DefaultLowAlarmO2, static_cast<quint16>(c.defaultLowAlarmO2));
    putLe16(b, slot::DefaultLowAlarm, static_cast<quint16>(c.defaultLowAlarm));
    putLe16(b, slot::DefaultHighAlarm, static_cast<quint16>(c.defaultHighAlarm));
    putLe16(b, slot::DefaultStelAlarm, static_cast<quint16>(c.defaultStelAlarm));
    putLe16(b, slot::DefaultTwaAlarm, static_cast<quint16>(c.defaultTwaAlarm));
    putLe16(b, slot::CalGasValue, c.calGasValue);
    putLe16(b, slot::CalFrom, static_cast<quint16>(c.calFrom));
    putLe16(b, slot::CalTo, static_cast<quint16>(c.calTo));
    putLe16(b, slot::ZeroCalCurrent, static_cast<quint16>(c.zeroCalCurrent));
    putLe16(b, slot::SpanCalCurrent, static_cast<quint16>(c.spanCalCurrent));
    putLe16(b, slot::T63, static_cast<quint16>(c.t63));
    putLe32(b, slot::LastBump, c.lastBump);
    putLe32(b, slot::ManufactureDate, c.manufactureDate);
    putLe32(b, slot::WarrantyExpiration, c.warrantyExpiration);
    putLe16(b, slot::VocFactor, c.vocFactor);
    b[slot::VocCode] = static_cast<char>(c.vocCode);
    return true;
}

// ---- Image -----------------------------------------------------------------------------------

QByteArray Kor7Image::slotBytes(int s) const
{
    if (s < 0 || s >= SensorSlotCount)
        return {};
    return m_bytes.mid(sensorSlotOffset(s), SensorSlotSize);
}

bool Kor7Image::setUnitBytes(const QByteArray& unit)
{
    if (unit.size() != UnitMemorySize)
        return false;
    m_bytes.replace(UnitMemoryOffset, UnitMemorySize, unit);
    return true;
}

bool Kor7Image::setSlotBytes(int s, const QByteArray& bytes)
{
    if (s < 0 || s >= SensorSlotCount || bytes.size() != SensorSlotSize)
        return false;
    m_bytes.replace(sensorSlotOffset(s), SensorSlotSize, bytes);
    return true;
}

bool Kor7Image::setScreenBytes(const QByteArray& screens)
{
    if (screens.size() != ScreensSize)
        return false;
    m_bytes.replace(ScreensOffset, ScreensSize, screens);
    return true;
}

void Kor7Image::setUnit(const UnitConfig& config)
{
    QByteArray b = unitBytes();
    encodeUnitConfig(config, b);
    setUnitBytes(b);
}

bool Kor7Image::setSensor(int s, const SensorConfig& config)
{
    QByteArray b = slotBytes(s);
    if (!encodeSensorConfig(config, b))
        return false;
    return setSlotBytes(s, b);
}

bool Kor7Image::GetOption(int bit) const
{
    if (bit < 0 || bit > 31)
        return false;
    return (le32(m_bytes, unit::OptionWord) >> bit) & 1u;
}

void Kor7Image::SetOption(int bit, bool value)
{
    if (bit < 0 || bit > 31)
        return;
    quint32 w = le32(m_bytes, unit::OptionWord);
    w = value ? (w | (1u << bit)) : (w & ~(1u << bit));
    putLe32(m_bytes, unit::OptionWord, w);
}

int Kor7Image::GetTwoBitOption(int lowBit) const
{
    return (GetOption(lowBit + 1) ? 2 : 0) | (GetOption(lowBit) ? 1 : 0);
}

void Kor7Image::SetTwoBitOption(int lowBit, int value)
{
    SetOption(lowBit, value & 1);
    SetOption(lowBit + 1, value & 2);
}

void Kor7Image::SetSlotFlagBit0(int s)
{
    if (s >= 0 && s < SensorSlotCount)
        m_bytes[sensorSlotOffset(s) + slot::Flags] =
            static_cast<char>(m_bytes[sensorSlotOffset(s) + slot::Flags] | 0x01);
}

void Kor7Image::SetSlotFlagBit1(int s)
{
    if (s >= 0 && s < SensorSlotCount)
        m_bytes[sensorSlotOffset(s) + slot::Flags] =
            static_cast<char>(m_bytes[sensorSlotOffset(s) + slot::Flags] | 0x02);
}

bool Kor7Image::SlotFlagBit1(int s) const
{
    if (s < 0 || s >= SensorSlotCount)
        return false;
    return m_bytes[sensorSlotOffset(s) + slot::Flags] & 0x02;
}

std::array<int, 7> gasReadingBySlot(const std::array<int, 7>& dockReading)
{
    std::array<int, 7> out{};
    for (int s = 0; s < 7; ++s)
        out[s] = dockReading[gasReadingElementOfSlot(s)];
    return out;
}

std::array<int, 7> sensorCountsBySlot(const std::array<int, 7>& counts)
{
    std::array<int, 7> out{};
    for (int s = 0; s < 7; ++s)
        out[s] = counts[sensorCountElementOfSlot(s)];
    return out;
}

} // namespace vx8::kor7
