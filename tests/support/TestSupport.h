#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace vx8::test {

// A temporary program folder with its own registry file: sets VX8_HOME and VX8_REGISTRY for the
// life of the object and puts the previous values back afterwards.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    QString folder() const; // ends with "/"
    QString registryPath() const;
    QString path(const QString& relative) const;
    // Writes a file below the folder, creating folders on the way.
    bool writeFile(const QString& relative, const QByteArray& bytes) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome, m_oldRegistry;
    bool m_hadHome, m_hadRegistry;
};

// Multiplies a time-out (ms) by VX8_TEST_TIME_FACTOR (default 1) so slow machines can stretch them.
int scaled(int ms);

} // namespace vx8::test
