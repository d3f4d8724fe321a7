#pragma once

#include <QString>

namespace vx8 {

// Connection parameters of the results database, read from the database key of the registry
// (written by the administration program, never by this one). The password is held decrypted.
struct TDBSettings
{
    QString UserName;
    QString Password;
    QString ServerName;
    QString ServerPort;   // decimal text
    QString DatabaseName;
    QString ServerVersion; // text of the server's "SELECT version()", for the status bar hint

    // Server name, database name, port and user name all present: a connection may be tried.
    bool isAssigned() const
    {
        return !ServerName.isEmpty() && !DatabaseName.isEmpty() && !ServerPort.isEmpty() &&
               !UserName.isEmpty();
    }
};

} // namespace vx8
