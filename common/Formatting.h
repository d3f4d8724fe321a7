#pragma once

#include <QByteArray>
#include <QString>

#include <span>

namespace vx8 {

// Gas names and value formatting shared by every layer: the gas code of a sensor to its name and
// scaling, raw sensor values to readings, serial numbers to fixed-width digit texts, seconds to
// hours-minutes-seconds, and a few text helpers. The texts go to the screen, the results database,
// the certificates and the QC file, so widths and spellings are part of those formats.
//
// Everything here is free of widgets and global state, so worker threads may call it. Numbers with a
// fraction use the decimal separator of the default QLocale (the user's locale unless the program
// sets another default).

// ---- Gas code ------------------------------------------------------------------------------------
// A gas code is an unsigned byte; codes outside 0..255 are treated like the unnamed codes.

// "O2", "LEL", "CH4", ... or "Unknown (<code>)".
QString GasName(int code);
// 1000 for 41 and 70-79; 100 for 140-149; 10 for all others.
int GasDivisor(int code);
// 0.01 for 0-9, 41-79, 140-149 and 210-255; 1.0 for 20-29; 0.1 for all others.
double GasResolution(int code);
// "%" for 10-29, 41 and 70-79; "ppm" for all others.
QString GasUnit(int code);
// 0 for 20-29; 2 for 41, 70-79 and 140-149; 1 for all others.
int GasDecimals(int code);
// The first code of the range of a gas name ("O2" -> 11, "CL2" -> 131, " co_duo " -> 81); compared
// exactly (case-sensitive, not trimmed) except for the two "_duo" names; 0 when nothing matches.
int GasCodeOfName(const QString& name);

// ---- Readings ------------------------------------------------------------------------------------
// x = raw / GasDivisor(code). The number format and unit text depend on the code:
//   10-19 "%2.1f" " %";  20-29 and 40 "%3.1d" of x rounded (ties to even) " %";
//   30-39 "%2.1d" of x rounded " ppm" (FormatGasReading: "%2.1f");  41, 70-79 "%2.2f" " %";
//   80-139, 150-209 "%2.1f" " ppm" (FormatGasReading: 180-189 "%2.2f");  140-149 "%2.2f" " ppm";
//   0-9, 42-69, 210-255: no number, the initial text stays.
// The unit text is appended only when appendUnit is set and a number replaced the initial text.

// Initial text "N/A" for codes 10-40, else "Disabled"; the number only for raw > 0.
QString FormatGasValue(int raw, int code, bool appendUnit);
// The text FormatGasEdit shows: initial "N/A" for 10-29 and 40, else "Disabled"; the number only for
// raw > 0. *lowValue (when given) is set when raw <= 0, i.e. when the edit's font turns maroon.
QString FormatGasEditText(int raw, int code, bool appendUnit, bool* lowValue = nullptr);
// Initial text "N/A"; the number for every raw value except -999 (zero and negative readings shown).
QString FormatGasReading(int raw, int code, bool appendUnit);

// The raw value missing readings carry.
inline constexpr int NoReading = -999;

// ---- Serial numbers, versions, durations -----------------------------------------------------------

// "%9.9d"; negative or above 999,999,999 gives "INVALID".
QString FormatInstrSerial(qint64 serial);
// "%6.6d"; negative or above 999,999 gives "INVALD".
QString FormatSensorSerial(qint64 serial);
// "%5.5u"; above 99,999 gives "INVLD".
QString FormatDockSerial(quint64 serial);
// value / 100 as "%2.2f": a firmware version word 123 gives "1.23".
QString FormatHundredths(quint16 value);
// "01h 02m 05s" for 3725; hours are not limited to two digits ("100h 00m 00s"). A negative
// duration is the same text for its magnitude with a leading "-".
QString FormatDuration(qint64 seconds);

// ---- Small helpers -------------------------------------------------------------------------------

// 1 when bit (number mod 32) of the byte is set, else 0; bit numbers 8 to 31 give 0.
int BitIsSet(quint8 value, int bitNumber);
// Appends the folder separator unless the text already ends with it. The folders of this program
// are separated by "/" where the Windows installation used "\", so "/" is what is appended.
QString AddTrailingBackslash(const QString& text);
// True when the text is a dotted IPv4 address (four parts of 1-3 digits, each 0-255, nothing else);
// the text is then rewritten without leading zeros ("010.001.002.003" -> "10.1.2.3"). Otherwise the
// text is unchanged and the result False.
bool CheckIPAddress(QString& address);

// ---- Byte and text conversions (texts are single-byte, Latin-1) ------------------------------------

// Every byte of the array, zeros included, one character each.
QString BytesToText(const QByteArray& bytes);
// The bytes at indices 0 up to highestIndex, stopping before the first zero byte and at the end of
// the array.
QString ZBytesToText(const QByteArray& bytes, qsizetype highestIndex);
// Copies the characters of the text into the buffer followed by a zero byte. At most size - 1
// characters are copied, so the zero always fits; an empty buffer is left alone. Characters outside
// Latin-1 become "?". Returns the number of characters copied.
qsizetype TextToBytes(std::span<char> buffer, const QString& text);
qsizetype TextToBytes(std::span<quint8> buffer, const QString& text);

// The locale decimal separator the formatters use.
QString DecimalSeparator();

} // namespace vx8
