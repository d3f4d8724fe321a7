#include "app/database/DatabaseChecks.h"

#include "common/CalderCryptor.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "common/Trace.h"
#include "common/db/Database.h"
#include "common/db/ResultsDatabase.h"

#include <cmath>

namespace vx8 {

namespace {
const QString ConnectionFailedText = QStringLiteral("Database Connection Failed");

QString formatVersion(double v)
{
    return QString::asprintf("%2.2f", v);
}
} // namespace

TDBSettings ReadDBSettings(Prompter* prompter)
{
    LocalDebugString(QStringLiteral("ReadDBSettings"), lcDb());
    TDBSettings s;
    s.ServerName = ReadRegistryString(RegKey::Database, QStringLiteral("ServerName"));
    if (s.ServerName.isEmpty()) {
        return s;
    }
    s.DatabaseName = ReadRegistryString(RegKey::Database, QStringLiteral("DatabaseName"));
    s.ServerPort = ReadRegistryString(RegKey::Database, QStringLiteral("ServerPort"));
    s.UserName = ReadRegistryString(RegKey::Database, QStringLiteral("UserName"));
    const TCalderCryptor cryptor(prompter);
    s.Password = cryptor.DecryptPassword(ReadRegistryString(RegKey::Database, QStringLiteral("Password")),
                                         TCalderCryptor::Passphrase);
    return s;
}

int VersionHundredths(double programVersion)
{
    return int(std::lround(programVersion * 100.0));
}

bool ParseSmtpAddress(const QString& text, std::array<quint8, 4>& octets, QString* problem)
{
    octets = {0, 0, 0, 0};
    const QString s = text.trimmed();
    auto refuse = [&](const QString& why) {
        octets = {0, 0, 0, 0};
        if (problem) {
            *problem = why;
        }
        return false;
    };
    if (s.isEmpty()) {
        return refuse(QStringLiteral("no address"));
    }
    const QStringList parts = s.split(u'.');
    if (parts.size() != 4) {
        return refuse(QStringLiteral("not four parts separated by dots"));
    }
    std::array<quint8, 4> out{};
    for (int k = 0; k < 4; ++k) {
        const QString part = parts.at(k).trimmed();
        bool allDigits = !part.isEmpty() && part.size() <= 3;
        for (const QChar c : part) {
            allDigits = allDigits && c >= u'0' && c <= u'9';
        }
        if (!allDigits) {
            return refuse(QStringLiteral("part %1 (\"%2\") is not a number").arg(k + 1).arg(parts.at(k)));
        }
        const int v = part.toInt();
        if (v > 255) {
            return refuse(QStringLiteral("part %1 (%2) is above 255").arg(k + 1).arg(v));
        }
        out[size_t(k)] = quint8(v);
    }
    octets = out;
    return true;
}

bool CheckDBConnection(const TDBSettings& settings, bool show, Prompter& prompter)
{
    LocalDebugString(QStringLiteral("CheckDBConnection"), lcDb());
    const QString failure = QStringLiteral(
        "Vexa Database Connection Failed!  Please check status of Database Server and database using "
        "Administrator and try again.");
    db::Connection connection(settings);
    if (connection.open()) {
        connection.close();
        return true;
    }
    LocalDebugString(QStringLiteral("CheckDBConnection: ") + connection.lastError(), lcDb());
    if (show) {
        prompter.warn(failure);
    }
    return false;
}

bool CheckDBVersion(const TDBSettings& settings, bool dbConnected, int requiredDBVersion, double programVersion,
                    int& dbVersion, int& requiredProgramVersion, QString& serverVersion, Prompter& prompter)
{
    return CheckDBVersionHundredths(settings, dbConnected, requiredDBVersion, VersionHundredths(programVersion), dbVersion,
                                    requiredProgramVersion, serverVersion, prompter);
}

bool CheckDBVersionHundredths(const TDBSettings& settings, bool dbConnected, int requiredDBVersion, int programHundredths,
                              int& dbVersion, int& requiredProgramVersion, QString& serverVersion, Prompter& prompter)
{
    LocalDebugString(QStringLiteral("CheckDBVersion"), lcDb());
    dbVersion = 0;
    if (!dbConnected) {
        return true;
    }
    db::Connection connection(settings);
    if (!connection.open()) {
        prompter.warn(ConnectionFailedText);
        return false;
    }
    const db::Rows rows = connection.query(QStringLiteral("SELECT * FROM db_version LIMIT 1"));
    if (!rows.ok()) {
        // Not a results database this program can use: say why instead of going on blind.
        prompter.warn(QStringLiteral("The version of the Vexa database could not be read: ") + connection.lastError());
        return false;
    }
    if (rows.isEmpty()) {
        return true;
    }
    const db::Row row = rows.first();
    dbVersion = row.toInt(QStringLiteral("db_version"), 0);
    if (dbVersion < requiredDBVersion) {
        prompter.inform(
            QStringLiteral("UPGRADE INFORMATION: The current version of the database is ") + QString::number(dbVersion) +
            QStringLiteral(" and MUST BE updated for ") + QStringLiteral("VX8") + QStringLiteral(" to start!") +
            QStringLiteral("\r\n\r\n") + QStringLiteral("Version 7.20 or higher of ") + QStringLiteral("Administrator") +
            QStringLiteral(" is required to update the database (") + QString::number(requiredDBVersion) +
            QStringLiteral(")!") + QStringLiteral("  Start ") + QStringLiteral("Administrator") +
            QStringLiteral(" to find out what version you have and visit ") + DownloadAddress +
            QStringLiteral(" for an upgrade for ") + QStringLiteral("Administrator") +
            QStringLiteral(" if necessary.  Please note ") + QStringLiteral("Administrator") +
            QStringLiteral(" is installed with ") + QStringLiteral("Database Manager") +
            QStringLiteral(" and may only need to be started to update the database."));
        return false;
    }
    requiredProgramVersion = row.toInt(QStringLiteral("vx8_req"), 0);
    // Whole hundredths on both sides: 230 and 2.3 are equal.
    if (requiredProgramVersion > programHundredths) {
        prompter.inform(QStringLiteral("This version of VX8 (v") + formatVersion(programHundredths / 100.0) +
                        QStringLiteral(") is below the minimum requirements of the default Vexa Database(") +
                        QStringLiteral("v") + formatVersion(requiredProgramVersion / 100.0) + QStringLiteral(")!") +
                        QStringLiteral("\r\n\r\n") + QStringLiteral("Solution:  Please check ") + DownloadAddress +
                        QStringLiteral(" for an ") + QStringLiteral("VX8") + QStringLiteral(" update."));
        return false;
    }
    const db::Rows version = connection.query(QStringLiteral("SELECT version()"));
    if (version.ok()) {
        serverVersion = version.first().text(QStringLiteral("version"));
    }
    return true;
}

bool GetEmailSettings(const TDBSettings& settings, bool dbConnected, TEmailSettings& out, Prompter& prompter)
{
    LocalDebugString(QStringLiteral("GetEmailSettings"), lcDb());
    out = TEmailSettings();
    if (!dbConnected) {
        return false;
    }
    db::Connection connection(settings);
    if (!connection.open()) {
        prompter.warn(ConnectionFailedText);
        return false;
    }
    const db::Rows rows = connection.query(QStringLiteral("SELECT * FROM emailoptions LIMIT 1"));
    if (!rows.ok()) {
        LocalDebugString(QStringLiteral("GetEmailSettings: ") + connection.lastError(), lcDb());
        prompter.status(QStringLiteral("E-mail settings could not be read from the database: ") + connection.lastError());
        return false;
    }
    if (rows.isEmpty()) {
        return false;
    }
    const db::Row row = rows.first();
    out.Enabled = row.toBool(QStringLiteral("emailenabled"), false);
    if (!out.Enabled) {
        return false;
    }
    out.Recipient = row.text(QStringLiteral("recipient1"));
    out.MessageText = row.text(QStringLiteral("addedmsgtext"));
    const QString address = row.text(QStringLiteral("smtpipaddress"));
    QString problem;
    if (!ParseSmtpAddress(address, out.SmtpAddress, &problem)) {
        const QString text = QStringLiteral("The SMTP address \"") + address +
                             QStringLiteral("\" of the e-mail settings is not a valid IP address (") + problem +
                             QStringLiteral("); the docks get 0.0.0.0.");
        LocalDebugString(text, lcDb());
        prompter.status(text);
    }
    return true;
}

TDatabaseStartup RunDatabaseStartup(Prompter& prompter, double programVersion)
{
    return RunDatabaseStartup(prompter, programVersion, ReadDBSettings(&prompter));
}

TDatabaseStartup RunDatabaseStartup(Prompter& prompter, double programVersion, const TDBSettings& settings)
{
    LocalDebugString(QStringLiteral("RunDatabaseStartup"), lcDb());
    TDatabaseStartup r;
    r.settings = settings;
    db::ResultsDatabase::setConnected(false);
    db::ResultsDatabase::setDbVersion(0);
    db::ResultsDatabase::setSettings(settings);
    if (!settings.isAssigned()) {
        r.outcome = TDatabaseStartup::Outcome::NotAssigned;
        return r;
    }
    if (!CheckDBConnection(settings, false, prompter)) {
        const bool launch = prompter.ask(Prompter::Kind::Error,
                                         QStringLiteral("The connection to database server or the Vexa database has failed!  "
                                                        "The program cannot start until it is resolved!  Do you want to start "
                                                        "Administrator to try to resolve the problem?"),
                                         Prompter::Yes | Prompter::No, Prompter::No) == Prompter::Yes;
        r.outcome = launch ? TDatabaseStartup::Outcome::LaunchAdministrator : TDatabaseStartup::Outcome::Terminate;
        return r;
    }
    db::ResultsDatabase::setConnected(true);
    GetEmailSettings(settings, true, r.email, prompter);
    QString serverVersion;
    const bool versionOk = CheckDBVersion(settings, true, RequiredDBVersion, programVersion, r.DBVersion,
                                          r.DBRequiredVersion, serverVersion, prompter);
    db::ResultsDatabase::setDbVersion(r.DBVersion);
    db::ResultsDatabase::setRequiredProgramVersion(r.DBRequiredVersion);
    r.settings.ServerVersion = serverVersion;
    db::ResultsDatabase::setServerVersion(serverVersion);
    r.outcome = versionOk ? TDatabaseStartup::Outcome::Connected : TDatabaseStartup::Outcome::Terminate;
    return r;
}

} // namespace vx8
