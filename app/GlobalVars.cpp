#include "app/GlobalVars.h"

namespace vx8 {

namespace {
TGlobalVars* g_globalVars = nullptr;
}

namespace SoftwareTypes {

bool isKnown(long long type)
{
    switch (type) {
    case Normal:
    case Shop:
    case FlashOnly:
    case DownloadAndFlashOnly:
    case FlashAndCalOnly:
    case SerialNumberUpdate:
    case QC:
        return true;
    default:
        return false;
    }
}

QString captionSuffix(std::uint16_t type)
{
    switch (type) {
    case Shop:
        return QStringLiteral(" (SHOP)");
    case FlashOnly:
        return QStringLiteral(" (FLASH ONLY)");
    case DownloadAndFlashOnly:
        return QStringLiteral(" (DL and FLASH ONLY)");
    case FlashAndCalOnly:
        return QStringLiteral(" (FLASH and CAL ONLY)");
    case SerialNumberUpdate:
        return QStringLiteral(" (Serial # Update)");
    case QC:
        return QStringLiteral(" (QC)");
    default:
        return {};
    }
}

QString aboutSuffix(std::uint16_t type)
{
    switch (type) {
    case Shop:
        return QStringLiteral(" (SHOP)");
    case FlashOnly:
        return QStringLiteral(" (Flash Only)");
    case DownloadAndFlashOnly:
        return QStringLiteral(" (DL and FLASH Only)");
    case FlashAndCalOnly:
        return QStringLiteral(" (FLASH and CAL Only)");
    case SerialNumberUpdate:
        return QStringLiteral(" (Serial # Update)");
    case QC:
        return QStringLiteral(" (QC)");
    default:
        return {};
    }
}

} // namespace SoftwareTypes

TGlobalVars::TGlobalVars(QObject* owner) : QObject(owner), FormatSettings(QLocale::system())
{
    setObjectName(QStringLiteral("GlobalVars"));
    GasIniDate = initialDate();
    GasFileDate = initialDate();
    g_globalVars = this;
}

TGlobalVars::~TGlobalVars()
{
    if (g_globalVars == this) {
        g_globalVars = nullptr;
    }
}

QDateTime TGlobalVars::initialDate()
{
    return QDateTime(QDate(1990, 1, 1), QTime(0, 0, 0, 0));
}

void TGlobalVars::SetInitialValues()
{
    SoftwareType = SoftwareTypes::Normal;
    DockTimeout = 10;
    InstrCommandTimeout = 30;
    PrintCalCerticate = QStringLiteral("False");
    PrintBumpCerticate = QStringLiteral("False");
    SerialUpdateMode = false;
    GasIniDate = initialDate();
    GasFileDate = initialDate();
    NetworkVerificationInMinutes = 10;
    ListeningModeInterval = 10;
    ListeningModeUnits = 1;
    SkipCal = QStringLiteral("False");
    CalNow = QStringLiteral("False");
    CalGasLotNum = QStringLiteral("N/A");
    CalGasPONum = QStringLiteral("N/A");
    CalDueReminderInterval = 30;
    PlaySoundOnFault = QStringLiteral("False");
    FaultSoundFile.clear();
    AskDockFlashUpgrade = true;
    ShowListenFlashNotice = true;
    QCDir = QStringLiteral("C:\\QC");
    QC02GasValue = 18;
    SetO2GasCalFlag = QStringLiteral("False");
    TemplateID = 0;
    TemplateName = QStringLiteral("Generic(No Change)");
}

TGlobalVars* GlobalVars()
{
    return g_globalVars;
}

} // namespace vx8
