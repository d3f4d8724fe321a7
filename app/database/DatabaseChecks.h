#pragma once

#include "common/db/DBSettings.h"

#include <QString>

#include <array>

namespace vx8 {

class Prompter;

// The schema version this program needs.
inline constexpr int RequiredDBVersion = 23;

// Where the version messages send the user for an upgrade.
inline const QString DownloadAddress = QStringLiteral("the Calderwick download page");

// The results database's e-mail notification settings (first row of emailoptions).
struct TEmailSettings
{
    bool Enabled = false;
    QString Recipient;
    std::array<quint8, 4> SmtpAddress{}; // octet 1 first
    QString MessageText;
};

// Reads the database key of the registry: "ServerName"; only when it is set, "DatabaseName",
// "ServerPort", "UserName" and "Password" (stored encrypted, returned decrypted; an empty stored
// password shows "Invalid data for Decryption!" through the prompter).
TDBSettings ReadDBSettings(Prompter* prompter);

// The program version as hundredths (2.3 and 2.30 give 230), so that comparisons with vx8_req are
// exact.
int VersionHundredths(double programVersion);

// Dotted IPv4 text to four octets: the text is trimmed, then split at its dots. Anything but four
// decimal parts of 0..255 leaves all octets 0 and returns false with the reason in *problem.
bool ParseSmtpAddress(const QString& text, std::array<quint8, 4>& octets, QString* problem = nullptr);

// Start-up connection test with the settings (UTF-8 client encoding). show: the failure message
// is shown. True when the server accepted the login.
bool CheckDBConnection(const TDBSettings& settings, bool show, Prompter& prompter);

// Version check: only when dbConnected. dbVersion := db_version of the first row (0 until read),
// requiredProgramVersion := vx8_req (hundredths); serverVersion := the server's version text.
// False (after the message) when the database is older than requiredDBVersion or the program
// older than vx8_req; an empty db_version table passes.
bool CheckDBVersion(const TDBSettings& settings, bool dbConnected, int requiredDBVersion, double programVersion,
                    int& dbVersion, int& requiredProgramVersion, QString& serverVersion, Prompter& prompter);
// The same with the program version in exact hundredths (2.30 -> 230).
bool CheckDBVersionHundredths(const TDBSettings& settings, bool dbConnected, int requiredDBVersion, int programHundredths,
                              int& dbVersion, int& requiredProgramVersion, QString& serverVersion, Prompter& prompter);

// E-mail settings: only when dbConnected. Outputs cleared first; filled and True only when the
// first emailoptions row has emailenabled set. A bad smtpipaddress keeps the octets 0 and is
// reported as a status message.
bool GetEmailSettings(const TDBSettings& settings, bool dbConnected, TEmailSettings& out, Prompter& prompter);

// The database part of the main window's creation, in its order: settings read and password
// decrypted; CheckDBConnection without messages when the settings are complete (a failure asks
// whether to start the administrator program); when connected, GetEmailSettings and
// CheckDBVersion(RequiredDBVersion, programVersion). The global results-database state
// (db::ResultsDatabase) is set on the way.
struct TDatabaseStartup
{
    enum class Outcome {
        Connected,           // continue with the dock loading; email holds the e-mail settings
        NotAssigned,         // settings incomplete: the caller tells the user (database manager)
        LaunchAdministrator, // the connection failed and the user chose to start the administrator
        Terminate,           // the program ends (user declined, or a version refusal)
    };
    Outcome outcome = Outcome::Terminate;
    TDBSettings settings;
    TEmailSettings email;
    int DBVersion = 0;
    int DBRequiredVersion = 0;
};
TDatabaseStartup RunDatabaseStartup(Prompter& prompter, double programVersion);
// The same with settings already read (tests).
TDatabaseStartup RunDatabaseStartup(Prompter& prompter, double programVersion, const TDBSettings& settings);

} // namespace vx8
