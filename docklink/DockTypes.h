#pragma once

// Values the dock reports and the two records it stores: the 504-byte configuration and the
// 276-byte test record. The byte images and their codecs are in DockCodec.h.

#include <QByteArray>
#include <QtGlobal>

#include <array>

namespace vx8 {

// Step of the dock's own test sequence (event "7"). The dock sends the ordinal as a raw byte; an
// ordinal above Cmd_PIDTest is carried as it came so that callers can report it.
enum class TDockState : quint8
{
    Cmd_Enq,
    Cmd_Who,
    Cmd_Ver,
    Cmd_BatVoltage,
    Cmd_Alm,
    Cmd_AlmTest,
    Cmd_Stb,
    Cmd_Vib,
    Cmd_CheckZero,
    Cmd_Zero,
    Cmd_Zeroing,
    Cmd_SetClock,
    Cmd_WaitForGas,
    Cmd_WaitForNoGas,
    Cmd_BumpStart,
    Cmd_Bumping,
    Cmd_GetGasRead,
    Cmd_UnitEE,
    Cmd_SensorEE,
    Cmd_SensorEE_2,
    Cmd_Span,
    Cmd_Spanning,
    Cmd_UpdtFullCallDate,
    Cmd_Purge,
    Cmd_Disc,
    Cmd_EnableGasReadings,
    Cmd_WSensorEE,
    Cmd_StartPump,
    Cmd_Alm2,
    Cmd_UnitEE_2,
    Cmd_WUnitEE,
    Cmd_GetSTable,
    Cmd_UpdateT63,
    Cmd_Visual,
    Cmd_PIDTest,
};

// Outcome of the dock's test (event "3"), raw ordinal as for TDockState.
enum class TTestResult : quint8
{
    NO_ERROR,
    WRONG_GAS,
    WRONG_INST,
    NO_GAS,
    FAILED_ZERO,
    LOW_FLOW,
    SENSOR_NOT_SUP,
    COMM_ERROR,
    WRONG_VERSION,
    ABORTED_BY_PC,
    BAD_INST_SERIAL,
    LOW_BAT_ERROR,
    O2_NEEDS_NITROGEN_CAL,
    INST_NOT_INSERTED,
    WRONG_PIN,
    PID_LAMP_FAILURE,
};

// State of an instrument just placed in the dock (event "A", the digit's value).
enum class TInstState : quint8
{
    IS_WakingUp,
    IS_Charging,
    IS_DeadAlkaline
};

// Why the dock spans a sensor (event "B"), raw ordinal.
enum class TSpanCalDueTo : quint8
{
    Span_CalFlag,
    Span_FailedBump,
    Span_Unknown,
    Span_DockCalDue
};

enum class TSensorSlot : quint8
{
    S_SLOT_0,
    S_SLOT_1,
    S_SLOT_2,
    S_SLOT_3,
    S_SLOT_4,
    S_SLOT_5,
    S_SLOT_6
};

// A set of sensor slots carried as one byte: bit n stands for slot n.
struct TSensorFlags
{
    quint8 bits = 0;
    bool contains(TSensorSlot slot) const { return bits & (1u << quint8(slot)); }
    bool operator==(const TSensorFlags&) const = default;
};

// The seven readings of a gas-reading event, in the order the dock sends them: element k is the
// k-th big-endian word of the event. The dock numbers the sensors the other way round from the
// instrument, so element sensorEntryOfSlot(s) belongs to instrument slot s.
using TGasReading = std::array<qint16, 7>;

// The dock numbers sensors the other way round from the instrument: test-record sensor entry e and
// gas-reading element e belong to instrument sensor slot 6 − e. This is the one place that says so.
constexpr int instrumentSlotOfSensorEntry(int entry)
{
    return 6 - entry;
}
constexpr int sensorEntryOfSlot(int slot)
{
    return 6 - slot;
}

// One gas inlet of the configuration (60 bytes in the image).
struct InletBlock
{
    QByteArray GasType = QByteArray(16, '\0'); // 16 raw bytes: the name, padded
    quint8 GasPriority = 0;
    quint16 Unused17 = 0; // bytes 17-18, kept as read
    quint8 Unused19 = 0;  // byte 19, kept as read
    // Component i of the gas type (i = 0 to 9); the image stores them in reverse position order.
    std::array<quint16, 10> Concentration{}; // 65535 = component absent
    std::array<quint8, 10> GasCode{};        // 255 = absent
    std::array<quint8, 10> BumpDuration{};   // 255 = absent
    bool operator==(const InletBlock&) const = default;
};

// The dock configuration, read with "REE" and written with "WEE".
struct DockConfigRecord
{
    quint32 SerialNumber = 0;
    quint32 SettingFlags = 0; // bit n of the dock settings is bit 31 − n of this value
    quint16 FirmwareVersion = 0;
    quint16 RecordCount = 0;
    quint32 FirstRecord = 0;
    quint32 NextRecord = 0;
    quint16 VisualSpan = 0;
    quint16 AudioSpan = 0;
    quint16 AudioMin = 0;
    quint8 BumpLow = 0;
    quint8 BumpHigh = 0;
    quint8 LCDContrast = 0;
    quint8 LowFlowPoint = 0; // shown value + 1
    std::array<quint8, 6> MACAddress{};
    std::array<quint8, 4> IPAddress{};
    std::array<quint8, 4> GatewayAddress{};
    std::array<quint8, 4> SubnetMask{};
    quint8 IrDASpeedMask = 0;
    quint16 AccessPIN = 0;
    std::array<InletBlock, 4> Inlets{};
    quint8 CalInterval = 0;
    QByteArray DockDescription = QByteArray(24, '\0'); // 24 raw bytes
    QByteArray EmailRecipient = QByteArray(50, '\0');  // 50 raw bytes
    QByteArray EmailText = QByteArray(50, '\0');       // 50 raw bytes
    std::array<quint8, 4> SMTPAddress{};
    quint8 PumpFlow = 0;
    quint8 MicGain = 0;
    quint8 ProtocolVersion = 0;
    quint8 DHCPDelay = 0;
    qint32 AutoBumpTime1 = 0;
    qint32 AutoBumpTime2 = 0;
    qint32 AutoBumpTime3 = 0;
    bool operator==(const DockConfigRecord&) const = default;
};

// One sensor of a test record (36 bytes in the image).
struct TestSensorEntry
{
    quint32 SensorSerial = 0;
    qint16 TWAAlarm = 0;
    qint16 STELAlarm = 0;
    qint16 HighAlarm = 0;
    qint16 WarningAlarm = 0;
    qint16 Unused12 = 0; // bytes 12-13, kept as read
    qint16 LowAlarm = 0;
    qint16 OldSpan = 0;
    quint16 CalGasValue = 0;
    qint16 MaxPossibleSpan = 0;
    qint16 BumpResponse = 0;
    quint8 BumpTime = 0;
    quint8 T63 = 0;
    quint8 SensorType = 0; // 0 or 254: no sensor
    quint8 GasPort = 0;
    quint16 GasValue = 0;
    qint16 VOCRatio = 0;
    quint16 ExpiryDate = 0; // days since 2000-01-01
    quint16 SensorStatus = 0;
    bool operator==(const TestSensorEntry&) const = default;
};

// One stored test result of the dock ("GTR", "STD").
struct TestRecord
{
    quint32 InstrumentSerial = 0;
    quint32 TestTime = 0;    // seconds since 2000-01-01 00:00:00
    quint32 FullCalDate = 0; // instrument seconds since 2000
    quint16 InstrumentVersion = 0;
    quint8 InstrumentBattery = 0;
    quint8 RemindInterval = 0;
    quint8 AudioDbMin = 0;
    quint8 AudioDbMaxLeft = 0;
    quint16 PassFailFlags = 0;
    // Indexed by sensor entry e; entry e belongs to instrument slot instrumentSlotOfSensorEntry(e).
    std::array<TestSensorEntry, 7> Sensors{};
    quint16 InstrumentFlags = 0;
    quint8 AudioDbMaxRight = 0;
    quint8 VOCCode = 0;
    bool operator==(const TestRecord&) const = default;
};

} // namespace vx8
