#pragma once

#include "common/db/DBSettings.h"

namespace vx8::db {

// What the program knows about the results database after start-up: the connection settings,
// whether the server answered (DBConnected), the schema version read (DBVersion, 0 until read) and
// the lowest program version it accepts (DBRequiredVersion, hundredths). Set on the main thread
// during start-up; read from any thread (worker jobs take a copy of the settings).
class ResultsDatabase
{
public:
    static TDBSettings settings();
    static void setSettings(const TDBSettings& settings);
    static bool connected();
    static void setConnected(bool connected);
    static int dbVersion();
    static void setDbVersion(int version);
    static int requiredProgramVersion();
    static void setRequiredProgramVersion(int hundredths);
    static QString serverVersion();
    static void setServerVersion(const QString& text);
};

} // namespace vx8::db
