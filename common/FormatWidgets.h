#pragma once

#include <QColor>
#include <QString>

class QLineEdit;
class QPlainTextEdit;

namespace vx8 {

// The font colour of a gas edit whose value is 0 or less.
inline const QColor GasEditLowColor = QColor(0x80, 0x00, 0x00); // maroon

// FormatGasEditText for the edit's value; sets the edit's font colour to the window-text colour, or
// to maroon when raw is 0 or less. The edit's text itself is left to the caller. A null edit only
// gives the text.
QString FormatGasEdit(QLineEdit* edit, int raw, int code, bool appendUnit);

// Appends a line to a log memo. When the memo already holds more than limit lines it is cleared
// first. False (and nothing done) when there is no memo.
bool AddMemoLine(QPlainTextEdit* memo, const QString& line, int limit);

// The number of lines a memo holds (0 when it is empty).
int MemoLineCount(const QPlainTextEdit* memo);

} // namespace vx8
