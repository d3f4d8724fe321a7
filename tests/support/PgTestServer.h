#pragma once

#include "common/db/DBSettings.h"

#include <QString>

namespace vx8::test {

// The throw-away PostgreSQL cluster started by the ctest fixture "db" (scripts/pg-cluster). Its
// settings come from the file VX8_PG_CONNECTION_FILE, else <build>/pgtest/connection.env.
class PgTestServer
{
public:
    // The server of this test run; loaded() is false (with error()) when the file is missing.
    static const PgTestServer& instance();

    bool loaded() const { return m_loaded; }
    QString error() const { return m_error; }
    QString connectionFile() const { return m_file; }

    QString host() const { return m_host; }
    QString port() const { return m_port; }
    // The shared database (schema + seed); tests that change data use a ScratchDatabase instead.
    QString database() const { return m_database; }
    QString templateDatabase() const { return m_template; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    QString adminUser() const { return m_adminUser; }
    QString adminPassword() const { return m_adminPassword; }

    // The program's settings for the shared database.
    TDBSettings settings() const;
    // Superuser settings for a database of this server.
    TDBSettings adminSettings(const QString& database = QStringLiteral("postgres")) const;

private:
    PgTestServer();
    bool m_loaded = false;
    QString m_error, m_file;
    QString m_host, m_port, m_database, m_template, m_user, m_password, m_adminUser, m_adminPassword;
};

// A fresh database for one test case, copied from the template (schema + seed) and dropped again
// when the object goes.
class ScratchDatabase
{
public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString name() const { return m_name; }
    // The program's settings (the application user) for this database.
    TDBSettings settings() const;
    TDBSettings adminSettings() const;
    // Runs statements as the superuser in this database (test set-up); false with error().
    bool exec(const QString& sql);

private:
    bool m_ok = false;
    QString m_error, m_name;
};

} // namespace vx8::test
