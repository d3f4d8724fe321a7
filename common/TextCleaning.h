#pragma once

#include <QString>

namespace vx8 {

// The cleaning of free texts such as the calibration gas lot and purchase order numbers: keeps, in
// order, only blank, "!", "#" to "'", "," to "9" (comma, hyphen, full stop, slash, digits) and the
// ASCII letters, drops every other character, and trims the result. An empty result gives
// defaultText.
QString CleanText(const QString& text, const QString& defaultText);

} // namespace vx8
