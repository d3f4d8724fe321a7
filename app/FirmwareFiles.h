#pragma once

#include <QByteArray>
#include <QString>

namespace vx8 {

class Prompter;

// The header of a dock firmware file (131 072 bytes): version x 100 at offset 2000 and the type
// marker at 2002 (both big-endian), the build date-time text from 2012 up to the first zero byte.
// Only the first 2049 bytes are read.
struct DockFlashHeader
{
    bool loaded = false; // something could be read
    bool valid = false;  // type marker 36000
    int version = 0;
    QByteArray dateTimeText;
};
// Reads the header; when nothing can be read shows "No flash data loaded!" (when a prompter is given).
DockFlashHeader ReadDockFlashHeader(const QString& path, Prompter* prompter);

// The newest dock firmware file of "DockFlash/" in the program folder ("Kernel.bin" left out):
// a later file replaces the choice when its version is not lower and the choice's date-time text
// sorts before its own. The file name without folder; empty when there is none.
QString GetLatestFlashVersion(Prompter* prompter);

// An instrument firmware file: exactly 262 144 bytes, type code 15 at offset 262105; the version
// is the text at 262100 (4 characters), the description the 19 characters at 262080.
struct InstrFlashFile
{
    bool valid = false;
    QString versionText;
    QString description;
    double versionValue = 0;
};
InstrFlashFile ReadInstrFlashFile(const QString& path);

// The instrument firmware folder (value "KOR7" of the flash key, without a trailing separator)
// and its firmware file with the highest version (the first found wins a tie). When the folder
// does not exist shows "Flash Location NOT found! (folder)" and returns false.
bool GetLatestInstrFlash(QString& fileName, QString& folder, Prompter& prompter);

} // namespace vx8
