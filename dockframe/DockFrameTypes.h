#pragma once

#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>
#include <functional>

namespace vx8 {

// The values of the global settings the frame reads. The main window hands the frame a function
// that reads them afresh, so a change in the options dialog reaches the frames at once.
struct DockFrameSettings
{
    int SoftwareType = 10;
    int DockTimeout = 10;         // seconds
    int InstrCommandTimeout = 30; // seconds
    int NetworkVerificationInMinutes = 10;
    QString CalNow = QStringLiteral("False");
    QString SkipCal = QStringLiteral("False");
    QString SetO2GasCalFlag = QStringLiteral("False");
    bool EmailEnabled = false;
    std::array<int, 4> SmtpAddress{0, 0, 0, 0};
    QString EmailRecipient;
    QString EmailMessageText;
    QLocale FormatSettings;

    // The date-time format of the settings.
    QString FormatDateTime(const QDateTime& t) const { return FormatSettings.toString(t, QLocale::ShortFormat); }
};

namespace SoftwareType {
inline constexpr int Normal = 10;
inline constexpr int Shop = 100;
inline constexpr int FlashOnly = 200;
inline constexpr int DownloadAndFlashOnly = 201;
inline constexpr int QC = 999;
} // namespace SoftwareType

// The LEDs of the frame. Every change to one of them is made to the summary frame's LED of the
// same name as well; DockConnectionStatus exists only on the summary frame, ACPower only here.
enum class FrameLed {
    MLDetected,
    MLConnected,
    MLProcessing,
    MLCalComplete,
    MLFaulted,
    BattStatus,
    ACPower,
    DockConnectionStatus,
};

// The test-cycle states the frame's dock events set (the full cycle is the tick's).
namespace TestState {
inline constexpr quint8 isDisconnected = 0;
inline constexpr quint8 isInserted = 1;
inline constexpr quint8 isDetected = 2;
inline constexpr quint8 isConnected = 3;
inline constexpr quint8 isRemoved = 37;
inline constexpr quint8 isEthernetPingFailed = 46;
inline constexpr quint8 isReEnableDockAfterFailure = 47;
} // namespace TestState

// A dock definition as the start-up needs it (from the dock definition database).
struct DockDescriptionInfo
{
    bool found = false;
    QString alias;
    QString address;
    bool updateDockName = false;
};

// Five-digit dock serial; "INVLD" when longer.
QString DockSerialText(quint64 serial);

} // namespace vx8
