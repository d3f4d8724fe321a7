#pragma once

// The Kor7 memory image and the field layouts of its unit memory and sensor slots. The image is a
// byte array with typed accessors: a field is read from and written into its bytes in place, so
// every byte this program does not interpret travels from the read back to the write unchanged.

#include "instrument/Kor7Codec.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>

#include <array>

namespace vx8::kor7 {

// ---- Unit option word (bytes 52–55) bit numbers -----------------------------------------------
enum OptionBit : int
{
    EnterUserOnStart = 3,
    MainPasscodeModeLow = 6, // two-bit option, bits 6–7
    PeakAlarmEnabled = 8,
    AvgReadingsEnabled = 9,
    StelAlarmEnabled = 10,
    TwaAlarmEnabled = 11,
    CalDueLockout = 16,
    BasicPasscodeModeLow = 17, // two-bit option, bits 17–18
    TempScale = 20,
    DLStatus = 22,
    AlarmLatchEnabled = 24,
    VibratorInstalled = 25,
    LargeClampEnabled = 26,
    VibratorEnabled = 28,
    FreshAirCalStart = 31,
};

// ---- Unit memory layout (offsets in the 264 bytes, little-endian) -----------------------------
namespace unit {
inline constexpr int StatusFlags = 3;       // bit 0 zero cal, bit 1 span cal, bit 2 bump due
inline constexpr int SerialNumber = 4;      // 4 bytes
inline constexpr int FirmwareVersion = 8;   // 2 bytes, × 100
inline constexpr int TurnOnTime = 12;       // 4 bytes, seconds since 2000
inline constexpr int TotalRunTime = 16;     // 4 bytes, seconds
inline constexpr int BacklightTimeOut = 20; // 2 bytes
inline constexpr int LanguageCode = 24;     // 2 bytes (written by the templates)
// The access PIN the dock compares and writes (the dock keeps it as an unsigned 16-bit value).
// The instrument's memory map as this program knows it gives the PIN no place, so it is fixed
// here, once: bytes 26–27 (used by no other field), little-endian.
inline constexpr int AccessPin = 26;       // 2 bytes
inline constexpr int SecurityBeep = 32;    // 2 bytes, seconds
inline constexpr int SampleInterval = 34;  // 2 bytes, seconds
inline constexpr int LastFullCal = 36;     // 4 bytes
inline constexpr int LastBump = 40;        // 4 bytes
inline constexpr int OptionWord = 52;      // 4 bytes
inline constexpr int CalReminder = 56;     // 2 bytes, days
inline constexpr int BumpReminder = 58;    // 2 bytes, days
inline constexpr int ServiceReminder = 60; // 2 bytes, days
inline constexpr int StelPeriod = 62;      // 1 byte, minutes
inline constexpr int TwaPeriod = 63;       // 1 byte, hours
inline constexpr int LastService = 64;     // 4 bytes
} // namespace unit

// ---- Sensor slot layout (offsets in the 256 bytes, little-endian) ----------------------------
namespace slot {
inline constexpr int Flags = 2;    // bit 0 zero, 1 span, 2 bump, 5 dec. point available, 6 enabled
inline constexpr int TypeCode = 3; // 0 or 254: empty slot
inline constexpr int SerialNumber = 4;
inline constexpr int LastSpanCal = 8;
inline constexpr int LastZeroCal = 12;
inline constexpr int LowAlarm = 16;
inline constexpr int WarningAlarm = 20;
inline constexpr int DangerAlarm = 22;
inline constexpr int StelAlarm = 24;
inline constexpr int TwaAlarm = 26;
inline constexpr int DefaultLowAlarmO2 = 28;
inline constexpr int DefaultLowAlarm = 32;
inline constexpr int DefaultHighAlarm = 34;
inline constexpr int DefaultStelAlarm = 36;
inline constexpr int DefaultTwaAlarm = 38;
inline constexpr int CalGasValue = 44; // unsigned
inline constexpr int CalFrom = 54;
inline constexpr int CalTo = 56;
inline constexpr int ZeroCalCurrent = 60;
inline constexpr int SpanCalCurrent = 62;
inline constexpr int T63 = 126;
inline constexpr int LastBump = 136;
inline constexpr int ManufactureDate = 144;
inline constexpr int WarrantyExpiration = 148;
inline constexpr int VocFactor = 208; // × 100
inline constexpr int VocCode = 224;   // 1 byte
} // namespace slot

// Slot flag bits.
inline constexpr int FlagNeedsZero = 0;
inline constexpr int FlagNeedsSpan = 1;
inline constexpr int FlagNeedsBump = 2;
inline constexpr int FlagDecimalPointAvailable = 5;
inline constexpr int FlagDecimalPointEnabled = 6;

// ---- Sensor type groups ----------------------------------------------------------------------
enum class SensorGroup
{
    Empty,
    Oxygen,
    Combustible,
    Voc,
    PercentVolume,
    Toxic
};
SensorGroup sensorGroup(int typeCode);
bool isEmptySlotType(int typeCode); // 0 or 254
bool isVocType(int typeCode);       // 30–39

// ---- The decoded fields, one decoder/encoder for every reader and writer ---------------------
struct UnitConfig
{
    quint8 statusFlags = 0;
    quint32 serialNumber = 0;
    quint16 firmwareVersion = 0; // × 100
    quint16 accessPin = 0;
    quint32 turnOnTime = 0;
    quint32 totalRunTime = 0;
    quint16 backlightTimeOut = 0;
    quint16 languageCode = 0;
    quint16 securityBeepInterval = 0;
    quint16 sampleInterval = 0;
    quint32 lastFullCal = 0;
    quint32 lastBump = 0;
    quint32 options = 0;
    quint16 calReminderDays = 0;
    quint16 bumpReminderDays = 0;
    quint16 serviceReminderDays = 0;
    quint8 stelMinutes = 0;
    quint8 twaHours = 0;
    quint32 lastService = 0;

    bool option(int bit) const { return (options >> bit) & 1u; }
    void setOption(int bit, bool on);
    bool needsZero() const { return statusFlags & 1; }
    bool needsSpan() const { return statusFlags & 2; }
    bool needsBump() const { return statusFlags & 4; }
    bool serialValid() const { return serialNumber >= 2 && serialNumber <= 999999999; }
};
// `unitBytes` must hold 264 bytes; a shorter block decodes to nothing (all fields 0).
UnitConfig decodeUnitConfig(const QByteArray& unitBytes);
// Writes the listed fields into `unitBytes` (264 bytes); every other byte is left as it is.
bool encodeUnitConfig(const UnitConfig& config, QByteArray& unitBytes);

struct SensorConfig
{
    quint8 flags = 0;
    quint8 typeCode = 0;
    quint32 serialNumber = 0;
    quint32 lastSpanCal = 0;
    quint32 lastZeroCal = 0;
    qint16 lowAlarm = 0;
    qint16 warningAlarm = 0;
    qint16 dangerAlarm = 0;
    qint16 stelAlarm = 0;
    qint16 twaAlarm = 0;
    qint16 defaultLowAlarmO2 = 0;
    qint16 defaultLowAlarm = 0;
    qint16 defaultHighAlarm = 0;
    qint16 defaultStelAlarm = 0;
    qint16 defaultTwaAlarm = 0;
    quint16 calGasValue = 0;
    qint16 calFrom = 0;
    qint16 calTo = 0;
    qint16 zeroCalCurrent = 0;
    qint16 spanCalCurrent = 0;
    qint16 t63 = 0;
    quint32 lastBump = 0;
    quint32 manufactureDate = 0;
    quint32 warrantyExpiration = 0;
    quint16 vocFactor = 0; // × 100
    quint8 vocCode = 0;

    bool flag(int bit) const { return (flags >> bit) & 1u; }
    bool empty() const { return isEmptySlotType(typeCode); }
    SensorGroup group() const { return sensorGroup(typeCode); }
};
SensorConfig decodeSensorConfig(const QByteArray& slotBytes);
bool encodeSensorConfig(const SensorConfig& config, QByteArray& slotBytes);

// ---- The 2568-byte image ---------------------------------------------------------------------
class Kor7Image
{
public:
    Kor7Image() : m_bytes(ImageSize, '\0') {}

    const QByteArray& bytes() const { return m_bytes; }

    QByteArray unitBytes() const { return m_bytes.mid(UnitMemoryOffset, UnitMemorySize); }
    QByteArray slotBytes(int slot) const;
    QByteArray screenBytes() const { return m_bytes.mid(ScreensOffset, ScreensSize); }
    // Replace one block; false (and nothing changed) for a wrong size or slot.
    bool setUnitBytes(const QByteArray& unit);
    bool setSlotBytes(int slot, const QByteArray& bytes);
    bool setScreenBytes(const QByteArray& screens);

    UnitConfig unit() const { return decodeUnitConfig(unitBytes()); }
    void setUnit(const UnitConfig& config);
    SensorConfig sensor(int slot) const { return decodeSensorConfig(slotBytes(slot)); }
    bool setSensor(int slot, const SensorConfig& config);

    bool GetOption(int bit) const;
    void SetOption(int bit, bool value);
    // Two-bit options: the value is (bit high << 1) | bit low.
    int GetTwoBitOption(int lowBit) const;
    void SetTwoBitOption(int lowBit, int value);

    // Slot flags (byte 2 of a slot).
    void SetSlotFlagBit0(int slot);
    void SetSlotFlagBit1(int slot);
    bool SlotFlagBit1(int slot) const;

private:
    QByteArray m_bytes;
};

// ---- Slot orders: each defined once here ---------------------------------------------------
// The dock's gas reading lists slot s at element 6 − s.
constexpr int gasReadingElementOfSlot(int slot)
{
    return 6 - slot;
}
// The instrument's sensor counts ("RAC S") are in slot order: element s is slot s.
constexpr int sensorCountElementOfSlot(int slot)
{
    return slot;
}
// Sensor entry e of the dock's test record belongs to instrument slot 6 − e.
constexpr int slotOfTestRecordEntry(int entry)
{
    return 6 - entry;
}
constexpr int testRecordEntryOfSlot(int slot)
{
    return 6 - slot;
}

// Reorder a seven-element list into slot order (result[s] = value of slot s).
std::array<int, 7> gasReadingBySlot(const std::array<int, 7>& dockReading);
std::array<int, 7> sensorCountsBySlot(const std::array<int, 7>& counts);

} // namespace vx8::kor7
