#include "app/FirmwareFiles.h"

#include "common/ProgramFolder.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "common/Trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vx8 {

namespace {
constexpr qint64 DockHeaderBytes = 2049;
constexpr int DockFileType = 36000;
constexpr qint64 InstrImageBytes = 262144;
constexpr int InstrTypeCode = 15;

QStringList binFiles(const QString& folder)
{
    QDir dir(folder);
    return dir.entryList({QStringLiteral("*.bin"), QStringLiteral("*.BIN"), QStringLiteral("*.Bin")},
                         QDir::Files, QDir::Name | QDir::IgnoreCase);
}
} // namespace

DockFlashHeader ReadDockFlashHeader(const QString& path, Prompter* prompter)
{
    DockFlashHeader h;
    QFile f(path);
    QByteArray bytes;
    if (f.open(QIODevice::ReadOnly)) {
        bytes = f.read(DockHeaderBytes);
    }
    if (bytes.isEmpty()) {
        if (prompter) {
            prompter->inform(QStringLiteral("No flash data loaded!"));
        }
        return h;
    }
    h.loaded = true;
    auto byteAt = [&](qsizetype i) { return i < bytes.size() ? int(quint8(bytes[i])) : 0; };
    h.version = byteAt(2000) * 256 + byteAt(2001);
    h.valid = byteAt(2002) * 256 + byteAt(2003) == DockFileType;
    for (qsizetype i = 2012; i < bytes.size() && i <= 2048 && bytes[i] != 0; ++i) {
        h.dateTimeText += bytes[i];
    }
    return h;
}

QString GetLatestFlashVersion(Prompter* prompter)
{
    LocalDebugString(QStringLiteral("GetLatestFlashVersion"));
    const QString folder = programPath(QStringLiteral("DockFlash/"));
    QString chosen;
    int chosenVersion = 0;
    QString chosenDate;
    for (const QString& name : binFiles(folder)) {
        if (name.compare(QLatin1String("Kernel.bin"), Qt::CaseInsensitive) == 0) {
            continue;
        }
        const DockFlashHeader h = ReadDockFlashHeader(joinPath(folder, name), prompter);
        const QString date = QString::fromLatin1(h.dateTimeText);
        if (chosen.isEmpty()) {
            chosen = name;
            chosenVersion = h.version;
            chosenDate = date;
        } else if (h.version >= chosenVersion && QString::localeAwareCompare(chosenDate, date) < 0) {
            chosen = name;
            chosenVersion = h.version;
            chosenDate = date;
        }
    }
    return chosen;
}

InstrFlashFile ReadInstrFlashFile(const QString& path)
{
    InstrFlashFile r;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return r;
    }
    const QByteArray image = f.read(InstrImageBytes + 1);
    if (image.size() != InstrImageBytes) {
        return r;
    }
    r.versionText = QString::fromLatin1(image.mid(262100, 4));
    r.description = QString::fromLatin1(image.mid(262080, 19));
    bool ok = false;
    r.versionValue = r.versionText.trimmed().toDouble(&ok); // "." as the decimal separator
    if (!ok) {
        r.versionValue = 0;
    }
    r.valid = quint8(image[262105]) == InstrTypeCode;
    return r;
}

bool GetLatestInstrFlash(QString& fileName, QString& folder, Prompter& prompter)
{
    LocalDebugString(QStringLiteral("GetLatestInstrFlash"));
    QString location = ReadRegistryString(RegKey::Flash, QStringLiteral("KOR7"));
    while (location.size() > 1 && (location.endsWith(u'\\') || location.endsWith(u'/'))) {
        location.chop(1);
    }
    const QString localFolder = QDir::fromNativeSeparators(location);
    if (location.isEmpty() || !QFileInfo(localFolder).isDir()) {
        prompter.ask(Prompter::Kind::Confirmation, QStringLiteral("Flash Location NOT found! (") + location +
                                                       QStringLiteral(")"),
                     Prompter::Ok, Prompter::Ok);
        return false;
    }
    folder = location;
    QString best;
    double bestVersion = 0;
    for (const QString& name : binFiles(localFolder)) {
        const InstrFlashFile file = ReadInstrFlashFile(joinPath(localFolder, name));
        if (!file.valid) {
            continue;
        }
        if (best.isEmpty() || file.versionValue > bestVersion) {
            best = name;
            bestVersion = file.versionValue;
        }
    }
    if (best.isEmpty()) {
        return false;
    }
    fileName = joinPath(localFolder, best);
    return true;
}

} // namespace vx8
