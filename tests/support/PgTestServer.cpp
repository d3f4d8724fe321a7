#include "PgTestServer.h"

#include "common/db/Database.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>

namespace vx8::test {

PgTestServer::PgTestServer()
{
    m_file = qEnvironmentVariable("VX8_PG_CONNECTION_FILE");
    if (m_file.isEmpty()) {
        m_file = qEnvironmentVariable("VX8_TEST_BINARY_DIR") + QStringLiteral("/pgtest/connection.env");
    }
    QFile f(m_file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_error = QStringLiteral("no database server settings in %1 (run the test through ctest, "
                                 "which starts the server with the fixture db_cluster_start)")
                      .arg(m_file);
        return;
    }
    QHash<QString, QString> values;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const int eq = int(line.indexOf(u'='));
        if (line.isEmpty() || line.startsWith(u'#') || eq <= 0) {
            continue;
        }
        values.insert(line.left(eq), line.mid(eq + 1));
    }
    m_host = values.value(QStringLiteral("VX8_DB_HOST"));
    m_port = values.value(QStringLiteral("VX8_DB_PORT"));
    m_database = values.value(QStringLiteral("VX8_DB_NAME"));
    m_template = values.value(QStringLiteral("VX8_DB_TEMPLATE"));
    m_user = values.value(QStringLiteral("VX8_DB_USER"));
    m_password = values.value(QStringLiteral("VX8_DB_PASSWORD"));
    m_adminUser = values.value(QStringLiteral("VX8_DB_ADMIN_USER"));
    m_adminPassword = values.value(QStringLiteral("VX8_DB_ADMIN_PASSWORD"));
    m_loaded = !m_host.isEmpty() && !m_port.isEmpty() && !m_database.isEmpty() && !m_user.isEmpty();
    if (!m_loaded) {
        m_error = QStringLiteral("incomplete database server settings in %1").arg(m_file);
    }
}

const PgTestServer& PgTestServer::instance()
{
    static const PgTestServer server;
    return server;
}

TDBSettings PgTestServer::settings() const
{
    TDBSettings s;
    s.ServerName = m_host;
    s.ServerPort = m_port;
    s.DatabaseName = m_database;
    s.UserName = m_user;
    s.Password = m_password;
    return s;
}

TDBSettings PgTestServer::adminSettings(const QString& database) const
{
    TDBSettings s;
    s.ServerName = m_host;
    s.ServerPort = m_port;
    s.DatabaseName = database;
    s.UserName = m_adminUser;
    s.Password = m_adminPassword;
    return s;
}

ScratchDatabase::ScratchDatabase()
{
    const PgTestServer& server = PgTestServer::instance();
    if (!server.loaded()) {
        m_error = server.error();
        return;
    }
    static QAtomicInteger<int> counter;
    m_name = QStringLiteral("t_%1_%2_%3")
                 .arg(QCoreApplication::applicationPid())
                 .arg(counter.fetchAndAddRelaxed(1))
                 .arg(QRandomGenerator::global()->bounded(1000000));
    db::Connection admin(server.adminSettings());
    // Names are made here from digits and letters only; identifiers cannot be bound parameters.
    if (!admin.exec(QStringLiteral("CREATE DATABASE %1 OWNER %2 TEMPLATE %3")
                        .arg(m_name, server.user(), server.templateDatabase()))) {
        m_error = admin.lastError();
        return;
    }
    m_ok = true;
}

ScratchDatabase::~ScratchDatabase()
{
    if (!m_ok) {
        return;
    }
    db::Connection admin(PgTestServer::instance().adminSettings());
    admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
}

TDBSettings ScratchDatabase::settings() const
{
    TDBSettings s = PgTestServer::instance().settings();
    s.DatabaseName = m_name;
    return s;
}

TDBSettings ScratchDatabase::adminSettings() const
{
    return PgTestServer::instance().adminSettings(m_name);
}

bool ScratchDatabase::exec(const QString& sql)
{
    db::Connection admin(adminSettings());
    if (!admin.exec(sql)) {
        m_error = admin.lastError();
        return false;
    }
    return true;
}

} // namespace vx8::test
