#include "PgTestServer.h"
#include "TestSupport.h"

#include "app/database/DatabaseChecks.h"
#include "common/CalderCryptor.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "common/db/ResultsDatabase.h"

#include <QProcess>
#include <QTcpServer>
#include <QtTest>

using namespace vx8;
using vx8::test::PgTestServer;
using vx8::test::ScratchDatabase;

namespace {
QString closedPort()
{
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0)) {
        return QStringLiteral("1");
    }
    const quint16 p = s.serverPort();
    s.close();
    return QString::number(p);
}

const QString FailureText = QStringLiteral(
    "Vexa Database Connection Failed!  Please check status of Database Server and database using Administrator and try again.");
const QString StartupQuestion = QStringLiteral(
    "The connection to database server or the Vexa database has failed!  The program cannot start until it is resolved!  "
    "Do you want to start Administrator to try to resolve the problem?");

struct Quiet : UnattendedPrompter
{
    Quiet() { setEcho(false); }
};
} // namespace

class TstDbChecks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checkDBConnection_data();
    void checkDBConnection();
    void startup_data();
    void startup();
    void settingsFromTheRegistry_data();
    void settingsFromTheRegistry();
    void registryWriterTool();
    void checkDBVersion_data();
    void checkDBVersion();
    void versionChecksNeedAConnection();
    void emailSettings_data();
    void emailSettings();
};

void TstDbChecks::initTestCase()
{
    QVERIFY2(PgTestServer::instance().loaded(), qPrintable(PgTestServer::instance().error()));
}

void TstDbChecks::checkDBConnection_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("show");
    QTest::addColumn<bool>("connected");
    QTest::newRow("connected") << "" << true << true;
    QTest::newRow("wrong password, quiet") << "password" << false << false;
    QTest::newRow("wrong password, shown") << "password" << true << false;
    QTest::newRow("server down") << "down" << true << false;
    QTest::newRow("port not a number") << "port" << true << false;
}

void TstDbChecks::checkDBConnection()
{
    QFETCH(QString, change);
    QFETCH(bool, show);
    QFETCH(bool, connected);
    TDBSettings s = PgTestServer::instance().settings();
    if (change == QLatin1String("password")) {
        s.Password = QStringLiteral("not-the-password");
    } else if (change == QLatin1String("down")) {
        s.ServerPort = closedPort();
    } else if (change == QLatin1String("port")) {
        s.ServerPort = QStringLiteral("five");
    }
    Quiet prompter;
    QCOMPARE(CheckDBConnection(s, show, prompter), connected);
    const QStringList expected = (!connected && show) ? QStringList{FailureText} : QStringList{};
    QCOMPARE(prompter.texts(), expected);
}

void TstDbChecks::startup_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("asked");
    using O = TDatabaseStartup::Outcome;
    QTest::newRow("connected") << "" << "" << int(O::Connected) << false;
    QTest::newRow("port empty: no attempt") << "port empty" << "" << int(O::NotAssigned) << false;
    QTest::newRow("user empty: no attempt") << "user empty" << "" << int(O::NotAssigned) << false;
    QTest::newRow("database empty: no attempt") << "database empty" << "" << int(O::NotAssigned) << false;
    QTest::newRow("wrong password, start administrator") << "password" << "Yes" << int(O::LaunchAdministrator) << true;
    QTest::newRow("wrong password, give up") << "password" << "No" << int(O::Terminate) << true;
    QTest::newRow("server down, give up") << "down" << "No" << int(O::Terminate) << true;
}

void TstDbChecks::startup()
{
    QFETCH(QString, change);
    QFETCH(QString, answer);
    QFETCH(int, outcome);
    QFETCH(bool, asked);
    TDBSettings s = PgTestServer::instance().settings();
    if (change == QLatin1String("port empty")) {
        // Points at a live server: a connection attempt would succeed, so Connected would show it.
        s.ServerPort.clear();
    } else if (change == QLatin1String("user empty")) {
        s.UserName.clear();
    } else if (change == QLatin1String("database empty")) {
        s.DatabaseName.clear();
    } else if (change == QLatin1String("password")) {
        s.Password = QStringLiteral("wrong");
    } else if (change == QLatin1String("down")) {
        s.ServerPort = closedPort();
    }
    Quiet prompter;
    if (!answer.isEmpty()) {
        prompter.addRule(QStringLiteral("Do you want to start Administrator"), Prompter::buttonFromName(answer));
    }
    const TDatabaseStartup r = RunDatabaseStartup(prompter, 2.3, s);
    QCOMPARE(int(r.outcome), outcome);
    QCOMPARE(prompter.texts(), asked ? QStringList{StartupQuestion} : QStringList{});
    if (asked) {
        QCOMPARE(prompter.records().first().kind, Prompter::Kind::Error);
    }
    const bool connected = outcome == int(TDatabaseStartup::Outcome::Connected);
    QCOMPARE(db::ResultsDatabase::connected(), connected);
    QCOMPARE(db::ResultsDatabase::dbVersion(), connected ? 23 : 0);
    if (connected) {
        // The seed: e-mail enabled, version 23, vx8_req 230, and the server's version text kept.
        QVERIFY(r.email.Enabled);
        QCOMPARE(r.email.SmtpAddress, (std::array<quint8, 4>{127, 0, 0, 1}));
        QCOMPARE(r.DBRequiredVersion, 230);
        QVERIFY2(r.settings.ServerVersion.startsWith(QStringLiteral("PostgreSQL")), qPrintable(r.settings.ServerVersion));
        QCOMPARE(db::ResultsDatabase::serverVersion(), r.settings.ServerVersion);
    }
}

void TstDbChecks::settingsFromTheRegistry_data()
{
    QTest::addColumn<bool>("storePassword");
    QTest::addColumn<bool>("serverName");
    QTest::newRow("encrypted password") << true << true;
    QTest::newRow("password missing") << false << true;
    QTest::newRow("no server name") << true << false;
}

void TstDbChecks::settingsFromTheRegistry()
{
    QFETCH(bool, storePassword);
    QFETCH(bool, serverName);
    vx8::test::TempHome home;
    const PgTestServer& pg = PgTestServer::instance();
    if (serverName) {
        QVERIFY(WriteRegistryString(RegKey::Database, QStringLiteral("ServerName"), pg.host()));
    }
    QVERIFY(WriteRegistryString(RegKey::Database, QStringLiteral("ServerPort"), pg.port()));
    QVERIFY(WriteRegistryString(RegKey::Database, QStringLiteral("DatabaseName"), pg.database()));
    QVERIFY(WriteRegistryString(RegKey::Database, QStringLiteral("UserName"), pg.user()));
    if (storePassword) {
        QVERIFY(WriteRegistryString(RegKey::Database, QStringLiteral("Password"),
                                    TCalderCryptor::EncryptPassword(pg.password(), TCalderCryptor::Passphrase)));
    }
    Quiet prompter;
    const TDBSettings s = ReadDBSettings(&prompter);
    if (!serverName) {
        // Without a server name nothing else is read.
        QCOMPARE(s.DatabaseName, QString());
        QCOMPARE(s.Password, QString());
        QVERIFY(prompter.texts().isEmpty());
        return;
    }
    QCOMPARE(s.ServerName, pg.host());
    QCOMPARE(s.Password, storePassword ? pg.password() : QString());
    QCOMPARE(prompter.texts(), storePassword ? QStringList{} : QStringList{QStringLiteral("Invalid data for Decryption!")});
    QCOMPARE(CheckDBConnection(s, false, prompter), storePassword);
}

// The tool the demo uses to write the database key, as the administration program would.
void TstDbChecks::registryWriterTool()
{
    vx8::test::TempHome home;
    QProcess tool;
    tool.start(qEnvironmentVariable("VX8_TEST_BINARY_DIR") + QStringLiteral("/app/database/vx8-dbsettings"),
               {QStringLiteral("--env"), PgTestServer::instance().connectionFile()});
    QVERIFY(tool.waitForFinished(vx8::test::scaled(30000)));
    QCOMPARE(tool.exitCode(), 0);
    const QString stored = ReadRegistryString(RegKey::Database, QStringLiteral("Password"));
    QVERIFY(!stored.isEmpty());
    QVERIFY(stored != PgTestServer::instance().password());
    Quiet prompter;
    const TDatabaseStartup r = RunDatabaseStartup(prompter, 2.3);
    QCOMPARE(int(r.outcome), int(TDatabaseStartup::Outcome::Connected));
    QCOMPARE(r.settings.Password, PgTestServer::instance().password());
    QVERIFY(prompter.texts().isEmpty());
}

void TstDbChecks::checkDBVersion_data()
{
    QTest::addColumn<QString>("rows"); // VALUES list, or "" for an empty table
    QTest::addColumn<double>("programVersion");
    QTest::addColumn<bool>("pass");
    QTest::addColumn<int>("dbVersion");
    QTest::addColumn<QStringList>("inText");
    QTest::newRow("22: upgrade") << "(22, 230)" << 2.3 << false << 22
                                 << QStringList{"UPGRADE INFORMATION: The current version of the database is 22 and MUST BE updated for VX8 to start!",
                                                "to update the database (23)!"};
    QTest::newRow("23") << "(23, 230)" << 2.3 << true << 23 << QStringList{};
    QTest::newRow("24") << "(24, 230)" << 2.3 << true << 24 << QStringList{};
    QTest::newRow("empty table") << "" << 2.3 << true << 0 << QStringList{};
    QTest::newRow("vx8_req 230, program 2.3") << "(23, 230)" << 2.3 << true << 23 << QStringList{};
    QTest::newRow("vx8_req 230, program 2.30") << "(23, 230)" << 2.30 << true << 23 << QStringList{};
    QTest::newRow("vx8_req 230, program 2.2") << "(23, 230)" << 2.2 << false << 23
                                              << QStringList{"This version of VX8 (v2.20) is below the minimum requirements of the default Vexa Database(v2.30)!",
                                                             "\r\n\r\nSolution:  Please check "};
    QTest::newRow("vx8_req 229, program 2.3") << "(23, 229)" << 2.3 << true << 23 << QStringList{};
    QTest::newRow("vx8_req 231, program 2.3") << "(23, 231)" << 2.3 << false << 23 << QStringList{"(v2.30)", "(v2.31)"};
    QTest::newRow("only the first row") << "(23, 100), (22, 999)" << 2.3 << true << 23 << QStringList{};
    QTest::newRow("no table") << "drop" << 2.3 << false << 0 << QStringList{"could not be read"};
}

void TstDbChecks::checkDBVersion()
{
    QFETCH(QString, rows);
    QFETCH(double, programVersion);
    QFETCH(bool, pass);
    QFETCH(int, dbVersion);
    QFETCH(QStringList, inText);
    ScratchDatabase scratch;
    QVERIFY2(scratch.ok(), qPrintable(scratch.error()));
    if (rows == QLatin1String("drop")) {
        QVERIFY(scratch.exec(QStringLiteral("DROP TABLE db_version")));
    } else {
        QVERIFY(scratch.exec(QStringLiteral("DELETE FROM db_version")));
        if (!rows.isEmpty()) {
            QVERIFY(scratch.exec(QStringLiteral("INSERT INTO db_version (db_version, vx8_req) VALUES ") + rows));
        }
    }
    Quiet prompter;
    int version = -1;
    int required = -1;
    QString server;
    QCOMPARE(CheckDBVersion(scratch.settings(), true, 23, programVersion, version, required, server, prompter), pass);
    QCOMPARE(version, dbVersion);
    if (pass) {
        QVERIFY(prompter.texts().isEmpty());
        QCOMPARE(server.isEmpty(), rows.isEmpty()); // the server version is read after the checks
    } else {
        QCOMPARE(prompter.texts().size(), 1);
        for (const QString& piece : inText) {
            QVERIFY2(prompter.texts().first().contains(piece), qPrintable(prompter.texts().first()));
        }
    }
}

void TstDbChecks::versionChecksNeedAConnection()
{
    Quiet prompter;
    int version = -1;
    int required = -1;
    QString server;
    TDBSettings down = PgTestServer::instance().settings();
    down.ServerPort = closedPort();
    // Not connected at start-up: nothing is checked and nothing shown.
    QVERIFY(CheckDBVersion(down, false, 23, 2.3, version, required, server, prompter));
    QCOMPARE(version, 0);
    TEmailSettings email;
    email.Enabled = true;
    QVERIFY(!GetEmailSettings(down, false, email, prompter));
    QVERIFY(!email.Enabled);
    QVERIFY(prompter.texts().isEmpty());
    // Connected at start-up but gone now.
    QVERIFY(!CheckDBVersion(down, true, 23, 2.3, version, required, server, prompter));
    QVERIFY(!GetEmailSettings(down, true, email, prompter));
    QCOMPARE(prompter.texts(), (QStringList{QStringLiteral("Database Connection Failed"), QStringLiteral("Database Connection Failed")}));
}

void TstDbChecks::emailSettings_data()
{
    QTest::addColumn<QString>("row"); // VALUES list for emailoptions, "" for none
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("recipient");
    QTest::addColumn<QString>("address"); // octets joined with "."
    QTest::addColumn<bool>("reported");
    QTest::newRow("enabled") << "(true, 'ops@site', 'Dock alarm', '192.168.0.10')" << true << "ops@site" << "192.168.0.10" << false;
    QTest::newRow("address with blanks") << "(true, 'ops@site', 'x', '  192.168.0.10 ')" << true << "ops@site" << "192.168.0.10" << false;
    QTest::newRow("leading zeros") << "(true, 'a', 'x', '010.001.000.255')" << true << "a" << "10.1.0.255" << false;
    QTest::newRow("disabled") << "(false, 'ops@site', 'Dock alarm', '192.168.0.10')" << false << "" << "0.0.0.0" << false;
    QTest::newRow("enabled NULL") << "(NULL, 'ops@site', 'x', '1.2.3.4')" << false << "" << "0.0.0.0" << false;
    QTest::newRow("no row") << "" << false << "" << "0.0.0.0" << false;
    QTest::newRow("bad address a.b.c.d") << "(true, 'ops@site', 'x', 'a.b.c.d')" << true << "ops@site" << "0.0.0.0" << true;
    QTest::newRow("host name") << "(true, 'r', 'x', 'mail.example.com')" << true << "r" << "0.0.0.0" << true;
    QTest::newRow("octet above 255") << "(true, 'r', 'x', '192.168.0.300')" << true << "r" << "0.0.0.0" << true;
    QTest::newRow("five parts") << "(true, 'r', 'x', '1.2.3.4.5')" << true << "r" << "0.0.0.0" << true;
    QTest::newRow("three parts") << "(true, 'r', 'x', '1.2.3')" << true << "r" << "0.0.0.0" << true;
    QTest::newRow("leading dot") << "(true, 'r', 'x', '.1.2.3')" << true << "r" << "0.0.0.0" << true;
    QTest::newRow("negative") << "(true, 'r', 'x', '1.-2.3.4')" << true << "r" << "0.0.0.0" << true;
    QTest::newRow("address NULL") << "(true, 'r', 'x', NULL)" << true << "r" << "0.0.0.0" << true;
}

void TstDbChecks::emailSettings()
{
    QFETCH(QString, row);
    QFETCH(bool, result);
    QFETCH(QString, recipient);
    QFETCH(QString, address);
    QFETCH(bool, reported);
    ScratchDatabase scratch;
    QVERIFY2(scratch.ok(), qPrintable(scratch.error()));
    QVERIFY(scratch.exec(QStringLiteral("DELETE FROM emailoptions")));
    if (!row.isEmpty()) {
        QVERIFY(scratch.exec(QStringLiteral("INSERT INTO emailoptions (emailenabled, recipient1, addedmsgtext, smtpipaddress) VALUES ") + row));
    }
    Quiet prompter;
    TEmailSettings email;
    email.Recipient = QStringLiteral("stale");
    email.SmtpAddress = {9, 9, 9, 9};
    QCOMPARE(GetEmailSettings(scratch.settings(), true, email, prompter), result);
    QCOMPARE(email.Enabled, result);
    QCOMPARE(email.Recipient, recipient);
    const QString got = QStringLiteral("%1.%2.%3.%4").arg(email.SmtpAddress[0]).arg(email.SmtpAddress[1]).arg(email.SmtpAddress[2]).arg(email.SmtpAddress[3]);
    QCOMPARE(got, address);
    QVERIFY(prompter.texts().isEmpty()); // no message box, ever
    QCOMPARE(!prompter.statusTexts().isEmpty(), reported);
    if (reported) {
        QVERIFY(prompter.statusTexts().first().contains(QStringLiteral("is not a valid IP address")));
    }
}

QTEST_GUILESS_MAIN(TstDbChecks)
#include "tst_dbchecks.moc"
