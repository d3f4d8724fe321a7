#pragma once

// The dock's own test states (event "7") and test results (event "3"), as ordinals on the wire.
namespace vx8::sim {

enum DockState : int
{
    Cmd_Enq = 0,
    Cmd_Who = 1,
    Cmd_Ver = 2,
    Cmd_BatVoltage = 3,
    Cmd_Alm = 4,
    Cmd_AlmTest = 5,
    Cmd_Stb = 6,
    Cmd_Vib = 7,
    Cmd_CheckZero = 8,
    Cmd_Zero = 9,
    Cmd_Zeroing = 10,
    Cmd_SetClock = 11,
    Cmd_WaitForGas = 12,
    Cmd_WaitForNoGas = 13,
    Cmd_BumpStart = 14,
    Cmd_Bumping = 15,
    Cmd_GetGasRead = 16,
    Cmd_UnitEE = 17,
    Cmd_SensorEE = 18,
    Cmd_SensorEE_2 = 19,
    Cmd_Span = 20,
    Cmd_Spanning = 21,
    Cmd_UpdtFullCallDate = 22,
    Cmd_Purge = 23,
    Cmd_Disc = 24,
    Cmd_EnableGasReadings = 25,
    Cmd_WSensorEE = 26,
    Cmd_StartPump = 27,
    Cmd_Alm2 = 28,
    Cmd_UnitEE_2 = 29,
    Cmd_WUnitEE = 30,
    Cmd_GetSTable = 31,
    Cmd_UpdateT63 = 32,
    Cmd_Visual = 33,
    Cmd_PIDTest = 34
};

enum TestResult : int
{
    NO_ERROR = 0,
    WRONG_GAS = 1,
    WRONG_INST = 2,
    NO_GAS = 3,
    FAILED_ZERO = 4,
    LOW_FLOW = 5,
    SENSOR_NOT_SUP = 6,
    COMM_ERROR = 7,
    WRONG_VERSION = 8,
    ABORTED_BY_PC = 9,
    BAD_INST_SERIAL = 10,
    LOW_BAT_ERROR = 11,
    O2_NEEDS_NITROGEN_CAL = 12,
    INST_NOT_INSERTED = 13,
    WRONG_PIN = 14,
    PID_LAMP_FAILURE = 15
};

} // namespace vx8::sim
