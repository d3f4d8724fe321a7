#pragma once

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace vx8 {

// The operating modes the software type selects.
namespace SoftwareTypes {
inline constexpr std::uint16_t Normal = 10;
inline constexpr std::uint16_t Shop = 100;
inline constexpr std::uint16_t FlashOnly = 200;
inline constexpr std::uint16_t DownloadAndFlashOnly = 201;
inline constexpr std::uint16_t FlashAndCalOnly = 202;
inline constexpr std::uint16_t SerialNumberUpdate = 300;
inline constexpr std::uint16_t QC = 999;

// True for the seven types the program knows.
bool isKnown(long long type);
// Suffix of the main window caption (" (SHOP)", ...); empty for Normal and unknown types.
QString captionSuffix(std::uint16_t type);
// Suffix of the about box's product label (" (Flash Only)", ...).
QString aboutSuffix(std::uint16_t type);
} // namespace SoftwareTypes

// The one global settings object. Created by the main window's FormCreate and freed at the end of
// its close sequence; every other part of the program reads it through GlobalVars().
// Flags kept as "True"/"False" text are compared with "True" exactly (isTrue()).
class TGlobalVars : public QObject
{
    Q_OBJECT
public:
    explicit TGlobalVars(QObject* owner = nullptr);
    ~TGlobalVars() override;

    // Sets the fields that LoadRegistryDefaults starts from (the initial values of the settings).
    void SetInitialValues();

    static bool isTrue(const QString& flag) { return flag == QLatin1String("True"); }

    QStringList ListeningDocks;
    std::uint16_t SoftwareType = SoftwareTypes::Normal;
    int DockTimeout = 10;         // seconds
    int InstrCommandTimeout = 30; // seconds
    QString PrintCalCerticate = QStringLiteral("False");
    QString PrintBumpCerticate = QStringLiteral("False");
    QString LedgraLocation;
    QString FennraLocation;
    QString DockSetupConnection;
    bool SerialUpdateMode = false;
    QLocale FormatSettings;
    QDateTime GasIniDate;
    QDateTime GasFileDate;
    int NetworkVerificationInMinutes = 10;
    int ListeningModeInterval = 10;
    int ListeningModeUnits = 1; // 1 minutes, 2 hours, 3 days
    QString SkipCal = QStringLiteral("False");
    QString CalNow = QStringLiteral("False");
    QString CalGasLotNum = QStringLiteral("N/A");
    QString CalGasPONum = QStringLiteral("N/A");
    int CalDueReminderInterval = 30; // days
    QString PlaySoundOnFault = QStringLiteral("False");
    QString FaultSoundFile;
    QString FlashInstr = QStringLiteral("False");
    bool InstrFlashAvailable = false;
    QString InstrFlashFile;
    QString InstrFlashFolder;
    bool AskDockFlashUpgrade = true;
    bool ShowListenFlashNotice = true;
    bool EmailEnabled = false;
    std::array<int, 4> SmtpAddress{0, 0, 0, 0};
    QString EmailRecipient;
    QString EmailMessageText;
    QString QCDir = QStringLiteral("C:\\QC");
    int QC02GasValue = 18;
    QString SetO2GasCalFlag = QStringLiteral("False");
    int TemplateID = 0;
    QString TemplateName = QStringLiteral("Generic(No Change)");

    // True once LoadRegistryDefaults has read every value. Until then SaveRegistryDefaults writes
    // nothing, so a start that never got as far as the settings cannot overwrite the stored ones.
    bool SettingsLoaded = false;

    static QDateTime initialDate();
};

// The global reference; nullptr before FormCreate and after the close sequence.
TGlobalVars* GlobalVars();

} // namespace vx8
