#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace vx8 {

QString programFolder()
{
    QString folder = qEnvironmentVariable("VX8_HOME");
    if (folder.isEmpty()) {
        folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    }
    folder = QDir::fromNativeSeparators(folder);
    if (!folder.endsWith(u'/')) {
        folder += u'/';
    }
    return folder;
}

QString programPath(const QString& relative)
{
    return joinPath(programFolder(), relative);
}

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty()) {
        return name;
    }
    QString f = QDir::fromNativeSeparators(folder);
    QString n = QDir::fromNativeSeparators(name);
    while (f.endsWith(u'/') && f.size() > 1) {
        f.chop(1);
    }
    while (n.startsWith(u'/')) {
        n.remove(0, 1);
    }
    return f == QStringLiteral("/") ? f + n : f + u'/' + n;
}

} // namespace vx8
