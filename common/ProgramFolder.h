#pragma once

#include <QString>

namespace vx8 {

// The program folder: where "Sounds/", "DockFlash/", "DockSetup/", the error logs and
// "VX8GasSetup.ini" live. VX8_HOME when set (tests use a temporary folder), else the folder of the
// executable. Always ends with "/".
QString programFolder();

// programFolder() + relative path ("Sounds/alarm.wav").
QString programPath(const QString& relative);

// Joins a folder and a file name with exactly one separator between them.
QString joinPath(const QString& folder, const QString& name);

} // namespace vx8
