#pragma once

#include "app/GlobalVars.h"

#include <QString>

#include <functional>

namespace vx8 {

class Prompter;

// What loading the settings needs from around it; the main window fills it in, tests replace
// the parts that depend on the machine (printers, firmware folder).
struct SettingsEnvironment
{
    Prompter* prompter = nullptr;
    // True when at least one printer is installed.
    std::function<bool()> printerInstalled;
    // The newest instrument firmware file and its folder; false when none was found.
    std::function<bool(QString& file, QString& folder)> latestInstrFlash;
    // The program file, whose date stands in for the gas setup file's on the first run.
    QString programFile;
};

struct SettingsLoadResult
{
    // False when the program must end here (QC mode with a QC folder that does not exist).
    bool proceed = true;
    // The software type's suffix for the main window caption.
    QString captionSuffix;
};

// Limits that keep every interval derived from a setting inside a timer's range.
namespace SettingLimits {
inline constexpr int MaxSeconds = 2147483;      // x 1000 ms fits a timer interval
inline constexpr int MaxMinutes = 35791;        // x 60000 ms fits a timer interval
inline constexpr int MaxCount = 1000000;        // other integers (days, gas values, units)
} // namespace SettingLimits

// The integer rule: a decimal integer from 1 up replaces the current value (capped at max);
// anything else (empty, not a number, 0, negative) keeps it.
int applyIntegerRule(const QString& text, int current, int max);
// The flag rule: the trimmed text, an empty text becoming "False".
QString applyFlagRule(const QString& text);

// The text form of GasIniDate: the locale's short date (always with a four-digit year) and its
// long time (without the zone name).
QString gasDateFormat(const QLocale& locale);
QString formatGasDate(const QDateTime& when, const QLocale& locale);
// An invalid QDateTime when the text is not a date-time of that form (or ISO 8601).
QDateTime parseGasDate(const QString& text, const QLocale& locale);

// Fills the settings from the registry. A QC mode without a "QCDir" value throws AppError.
SettingsLoadResult LoadRegistryDefaults(TGlobalVars& vars, const SettingsEnvironment& env);

// Writes the settings back, in the fixed order, showing a message for each failed write.
// Writes nothing (and returns false) when the settings were never completely loaded.
bool SaveRegistryDefaults(const TGlobalVars& vars, Prompter& prompter);

// Text cleaning of a lot or order number read from the registry: cleaned, trimmed, "N/A" when empty.
QString cleanLotNumber(const QString& text);

} // namespace vx8
