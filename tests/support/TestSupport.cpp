#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vx8::test {

TempHome::TempHome()
    : m_oldHome(qgetenv("VX8_HOME")), m_oldRegistry(qgetenv("VX8_REGISTRY")),
      m_hadHome(qEnvironmentVariableIsSet("VX8_HOME")), m_hadRegistry(qEnvironmentVariableIsSet("VX8_REGISTRY"))
{
    qputenv("VX8_HOME", m_dir.path().toLocal8Bit());
    qputenv("VX8_REGISTRY", registryPath().toLocal8Bit());
}

TempHome::~TempHome()
{
    if (m_hadHome) {
        qputenv("VX8_HOME", m_oldHome);
    } else {
        qunsetenv("VX8_HOME");
    }
    if (m_hadRegistry) {
        qputenv("VX8_REGISTRY", m_oldRegistry);
    } else {
        qunsetenv("VX8_REGISTRY");
    }
}

QString TempHome::folder() const
{
    return m_dir.path() + u'/';
}

QString TempHome::registryPath() const
{
    return m_dir.path() + QStringLiteral("/registry.reg");
}

QString TempHome::path(const QString& relative) const
{
    return folder() + relative;
}

bool TempHome::writeFile(const QString& relative, const QByteArray& bytes) const
{
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

int scaled(int ms)
{
    bool ok = false;
    const double f = qEnvironmentVariable("VX8_TEST_TIME_FACTOR").toDouble(&ok);
    return ok && f > 0 ? int(ms * f) : ms;
}

} // namespace vx8::test
