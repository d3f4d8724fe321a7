#include "common/db/ResultsDatabase.h"

#include <QMutex>
#include <QMutexLocker>

namespace vx8::db {

namespace {
struct State
{
    QMutex mutex;
    TDBSettings settings;
    bool connected = false;
    int dbVersion = 0;
    int required = 0;
};
State& state()
{
    static State s;
    return s;
}
} // namespace

TDBSettings ResultsDatabase::settings()
{
    QMutexLocker lock(&state().mutex);
    return state().settings;
}

void ResultsDatabase::setSettings(const TDBSettings& settings)
{
    QMutexLocker lock(&state().mutex);
    state().settings = settings;
}

bool ResultsDatabase::connected()
{
    QMutexLocker lock(&state().mutex);
    return state().connected;
}

void ResultsDatabase::setConnected(bool connected)
{
    QMutexLocker lock(&state().mutex);
    state().connected = connected;
}

int ResultsDatabase::dbVersion()
{
    QMutexLocker lock(&state().mutex);
    return state().dbVersion;
}

void ResultsDatabase::setDbVersion(int version)
{
    QMutexLocker lock(&state().mutex);
    state().dbVersion = version;
}

int ResultsDatabase::requiredProgramVersion()
{
    QMutexLocker lock(&state().mutex);
    return state().required;
}

void ResultsDatabase::setRequiredProgramVersion(int hundredths)
{
    QMutexLocker lock(&state().mutex);
    state().required = hundredths;
}

QString ResultsDatabase::serverVersion()
{
    QMutexLocker lock(&state().mutex);
    return state().settings.ServerVersion;
}

void ResultsDatabase::setServerVersion(const QString& text)
{
    QMutexLocker lock(&state().mutex);
    state().settings.ServerVersion = text;
}

} // namespace vx8::db
