#include "app/RegistrySettings.h"

#include "app/AppException.h"
#include "common/ProgramFolder.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "common/TextCleaning.h"
#include "common/Trace.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace vx8 {

namespace {

const QString GasSetupFileName = QStringLiteral("VX8GasSetup.ini");

QString readProgram(const QString& name)
{
    return ReadRegistryString(RegKey::Program, name);
}

// A decimal integer (optional sign, digits only, surrounding blanks allowed).
bool parseDecimal(const QString& text, long long& value)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 18) {
        // More than 18 characters cannot be a value we keep; treat it as "huge".
        bool allDigits = !t.isEmpty();
        for (QChar c : t) {
            allDigits = allDigits && c.isDigit() && c.unicode() < 128;
        }
        if (allDigits) {
            value = std::numeric_limits<long long>::max();
            return true;
        }
        return false;
    }
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        const bool sign = i == 0 && (c == u'-' || c == u'+') && t.size() > 1;
        if (!sign && !(c >= u'0' && c <= u'9')) {
            return false;
        }
    }
    bool ok = false;
    value = t.toLongLong(&ok);
    return ok;
}

} // namespace

int applyIntegerRule(const QString& text, int current, int max)
{
    long long v = 0;
    if (!parseDecimal(text, v) || v < 1) {
        return current;
    }
    return v > max ? max : int(v);
}

QString applyFlagRule(const QString& text)
{
    const QString t = text.trimmed();
    return t.isEmpty() ? QStringLiteral("False") : t;
}

QString cleanLotNumber(const QString& text)
{
    const QString cleaned = CleanText(text, QStringLiteral(" ")).trimmed();
    return cleaned.isEmpty() ? QStringLiteral("N/A") : cleaned;
}

QString gasDateFormat(const QLocale& locale)
{
    QString date = locale.dateFormat(QLocale::ShortFormat);
    if (!date.contains(QLatin1String("yyyy"))) {
        // A two-digit year would read back a century early.
        date.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    }
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(u't'); // the zone name does not read back
    return date + u' ' + time.trimmed();
}

QString formatGasDate(const QDateTime& when, const QLocale& locale)
{
    return locale.toString(when, gasDateFormat(locale));
}

QDateTime parseGasDate(const QString& text, const QLocale& locale)
{
    const QString t = text.trimmed();
    QDateTime when = locale.toDateTime(t, gasDateFormat(locale));
    if (!when.isValid()) {
        when = QDateTime::fromString(t, Qt::ISODate);
    }
    return when;
}

SettingsLoadResult LoadRegistryDefaults(TGlobalVars& vars, const SettingsEnvironment& env)
{
    LocalDebugString(QStringLiteral("LoadRegistryDefaults"));
    Prompter& prompter = env.prompter ? *env.prompter : Prompter::instance();
    SettingsLoadResult result;
    vars.SettingsLoaded = false;

    // 1. Initial values.
    const QString gasSetupFile = programPath(GasSetupFileName);
    vars.SetInitialValues();

    // 2. Software type: one of the known modes, else Normal.
    {
        long long type = 0;
        if (parseDecimal(readProgram(QStringLiteral("SoftwareType")), type) && type != 0 &&
            SoftwareTypes::isKnown(type)) {
            vars.SoftwareType = std::uint16_t(type);
        }
    }

    // 3. The QC folder and oxygen gas value, only in QC mode.
    if (vars.SoftwareType == SoftwareTypes::QC) {
        vars.QCDir = ReadRegistryString(RegKey::QC, QStringLiteral("QCDir"));
        if (vars.QCDir.trimmed().isEmpty()) {
            throw AppError(QStringLiteral(
                "*** \"QCDir\" registry key does not exist.  Contact supervisor for assistance. ***"));
        }
        vars.QC02GasValue = applyIntegerRule(ReadRegistryString(RegKey::QC, QStringLiteral("QC02GasValue")),
                                             vars.QC02GasValue, SettingLimits::MaxCount);
    }

    // 4. The gas setup file's date.
    {
        const QString text = readProgram(QStringLiteral("GasIniDate"));
        const QFileInfo gasFile(gasSetupFile);
        if (text.trimmed().isEmpty()) {
            if (gasFile.exists() && !env.programFile.isEmpty()) {
                const QDateTime programDate = QFileInfo(env.programFile).lastModified();
                vars.GasIniDate = programDate;
                vars.GasFileDate = programDate;
            }
        } else {
            const QDateTime stored = parseGasDate(text, vars.FormatSettings);
            if (stored.isValid()) {
                vars.GasIniDate = stored;
                if (gasFile.exists()) {
                    const QDateTime fileDate = gasFile.lastModified();
                    if (fileDate.date() > stored.date()) {
                        prompter.warn(QStringLiteral(
                            "A new gas setup file has been installed to improve performance.  Please "
                            "reselect all gas selections from the Dock's drop down list, verify all cal gas "
                            "values and update each dock's configuration.\r\n\r\nAll dock configurations "
                            "must be updated to gain peak performance."));
                        vars.GasFileDate = fileDate;
                    }
                }
            }
        }
    }

    // 5. Time-outs and the reminder interval.
    vars.DockTimeout =
        applyIntegerRule(readProgram(QStringLiteral("DockTimeout")), vars.DockTimeout, SettingLimits::MaxSeconds);
    vars.InstrCommandTimeout = applyIntegerRule(readProgram(QStringLiteral("InstrCommandTimeout")),
                                                vars.InstrCommandTimeout, SettingLimits::MaxSeconds);
    vars.CalDueReminderInterval = applyIntegerRule(readProgram(QStringLiteral("CalDueReminderInterval")),
                                                   vars.CalDueReminderInterval, SettingLimits::MaxCount);

    // 6. Instrument firmware upgrades.
    vars.FlashInstr = applyFlagRule(readProgram(QStringLiteral("FlashInstr")));
    vars.InstrFlashAvailable = true;
    QString flashFile, flashFolder;
    const bool found = env.latestInstrFlash && env.latestInstrFlash(flashFile, flashFolder);
    vars.InstrFlashFile = flashFile;
    vars.InstrFlashFolder = flashFolder;
    if (!found) {
        if (TGlobalVars::isTrue(vars.FlashInstr)) {
            prompter.inform(QStringLiteral("Flash File for KOR7 not found, flashing disabled!"));
            vars.FlashInstr = QStringLiteral("False");
        }
        vars.InstrFlashAvailable = false;
    }

    // 7. Calibration flags.
    vars.SkipCal = applyFlagRule(readProgram(QStringLiteral("SkipCal")));
    vars.CalNow = applyFlagRule(readProgram(QStringLiteral("CalNow")));
    vars.SetO2GasCalFlag = applyFlagRule(readProgram(QStringLiteral("SetO2GasCalFlag")));

    // 8. Calibration gas lot and order numbers.
    vars.CalGasLotNum = cleanLotNumber(readProgram(QStringLiteral("CalGasLotNum")));
    vars.CalGasPONum = cleanLotNumber(readProgram(QStringLiteral("CalGasPONum")));

    // 9. Network verification interval; the obsolete value goes.
    vars.NetworkVerificationInMinutes = 5;
    {
        long long minutes = 0;
        if (parseDecimal(readProgram(QStringLiteral("NetworkVerificationInMinutes")), minutes) && minutes >= 0) {
            vars.NetworkVerificationInMinutes =
                minutes == 0 ? 5 : int(std::min<long long>(minutes, SettingLimits::MaxMinutes));
        } else {
            WriteRegistryString(RegKey::Program, QStringLiteral("NetworkVerificationInMinutes"),
                                QStringLiteral("5"));
        }
    }
    DeleteRegistryValue(RegKey::Program, QStringLiteral("NetworkVerifyInterval"));

    // 10. Listening mode.
    vars.ListeningModeInterval = applyIntegerRule(readProgram(QStringLiteral("ListeningModeInterval")),
                                                  vars.ListeningModeInterval, SettingLimits::MaxMinutes);
    vars.ListeningModeUnits = applyIntegerRule(readProgram(QStringLiteral("ListeningModeUnits")),
                                               vars.ListeningModeUnits, SettingLimits::MaxCount);

    // 11. Certificates need a printer.
    vars.PrintCalCerticate = applyFlagRule(readProgram(QStringLiteral("PrintCalCerticate")));
    vars.PrintBumpCerticate = applyFlagRule(readProgram(QStringLiteral("PrintBumpCerticate")));
    if ((TGlobalVars::isTrue(vars.PrintCalCerticate) || TGlobalVars::isTrue(vars.PrintBumpCerticate)) &&
        !(env.printerInstalled && env.printerInstalled())) {
        prompter.inform(QStringLiteral("There is no defined default printer.  All print options will be "
                                       "disabled until a default printer is installed."));
        vars.PrintCalCerticate = QStringLiteral("False");
        vars.PrintBumpCerticate = QStringLiteral("False");
    }

    // 12. Fault sound.
    vars.PlaySoundOnFault = applyFlagRule(readProgram(QStringLiteral("PlaySoundOnFault")));
    {
        const QString sound = readProgram(QStringLiteral("FaultSoundFile"));
        vars.FaultSoundFile.clear();
        if (!sound.trimmed().isEmpty() && QFileInfo(programPath(QStringLiteral("Sounds/") + sound)).isFile()) {
            vars.FaultSoundFile = sound;
        }
    }

    // Every value is read: from here on the settings may be written back.
    vars.SettingsLoaded = true;

    // 13. Caption, serial number mode, QC folder.
    result.captionSuffix = SoftwareTypes::captionSuffix(vars.SoftwareType);
    if (vars.SoftwareType == SoftwareTypes::SerialNumberUpdate) {
        vars.SerialUpdateMode = true;
    }
    if (vars.SoftwareType == SoftwareTypes::QC && !QFileInfo(QDir::fromNativeSeparators(vars.QCDir)).isDir()) {
        prompter.error(QStringLiteral("The QC Directory CANNOT BE FOUND (QC Dir: ") + vars.QCDir +
                       QStringLiteral(")!\n\r\n\rQC Mode CANNOT function properly.  Please contact your "
                                      "Supervisor for assistance!"));
        result.proceed = false;
    }
    return result;
}

bool SaveRegistryDefaults(const TGlobalVars& vars, Prompter& prompter)
{
    LocalDebugString(QStringLiteral("SaveRegistryDefaults"));
    if (!vars.SettingsLoaded) {
        LocalDebugString(QStringLiteral("SaveRegistryDefaults: settings were never loaded, nothing written"));
        return false;
    }
    bool allWritten = true;
    auto write = [&](const QString& key, const QString& name, const QString& text, const QString& label,
                     bool setting = false) {
        if (!WriteRegistryString(key, name, text)) {
            allWritten = false;
            prompter.warn(QStringLiteral("Could not update Registry with updated \"") + label +
                          (setting ? QStringLiteral("\" setting!") : QStringLiteral("\" value!")));
        }
    };
    const QString P = RegKey::Program;
    write(P, QStringLiteral("SoftwareType"), QString::number(vars.SoftwareType), QStringLiteral("Software Type"));
    if (vars.SoftwareType == SoftwareTypes::QC) {
        if (QFileInfo(QDir::fromNativeSeparators(vars.QCDir)).isDir()) {
            write(RegKey::QC, QStringLiteral("QCDir"), vars.QCDir, QStringLiteral("QC Dir"));
        }
        write(RegKey::QC, QStringLiteral("QCO2CalGasValue"), QString::number(vars.QC02GasValue),
              QStringLiteral("QC O2 Cal Gas Value"), true);
    }
    if (vars.GasIniDate.isValid() && vars.GasIniDate.date().year() > 1990) {
        write(P, QStringLiteral("GasIniDate"), formatGasDate(vars.GasIniDate, vars.FormatSettings),
              QStringLiteral("GasIniDate"));
    }
    write(P, QStringLiteral("InstrCommandTimeout"), QString::number(vars.InstrCommandTimeout),
          QStringLiteral("Instrument Command Timeout"));
    write(P, QStringLiteral("CalDueReminderInterval"), QString::number(vars.CalDueReminderInterval),
          QStringLiteral("Cal Due Reminder Interval"));
    write(P, QStringLiteral("FlashInstr"), vars.FlashInstr, QStringLiteral("Flash Instrument"));
    write(P, QStringLiteral("PlaySoundOnFault"), vars.PlaySoundOnFault, QStringLiteral("PlaySoundOnFault"));
    write(P, QStringLiteral("FaultSoundFile"), vars.FaultSoundFile, QStringLiteral("FaultSoundFile"));
    write(P, QStringLiteral("CalGasLotNum"), vars.CalGasLotNum, QStringLiteral("CalGasLotNum"));
    write(P, QStringLiteral("CalGasPONum"), vars.CalGasPONum, QStringLiteral("CalGasPONum"));
    write(P, QStringLiteral("PrintCalCerticate"), vars.PrintCalCerticate, QStringLiteral("PrintCalCerticate"));
    write(P, QStringLiteral("PrintBumpCerticate"), vars.PrintBumpCerticate, QStringLiteral("PrintBumpCerticate"));
    write(P, QStringLiteral("DockTimeout"), QString::number(vars.DockTimeout), QStringLiteral("Dock Timeout"));
    write(P, QStringLiteral("SkipCal"), vars.SkipCal, QStringLiteral("Skip Cal"));
    write(P, QStringLiteral("CalNow"), vars.CalNow, QStringLiteral("Cal Now"));
    return allWritten;
}

} // namespace vx8
