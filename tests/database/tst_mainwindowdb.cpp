// The results database in the main window's start-up, and the guarded actions of its Tools menu,
// against the test server.
#include "PgTestServer.h"
#include "TestSupport.h"

#include "app/GlobalVars.h"
#include "app/MainWindow.h"
#include "app/database/DBLoginDialog.h"
#include "common/CalderCryptor.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "common/db/DBLogin.h"
#include "common/db/ResultsDatabase.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

using namespace vx8;
using vx8::test::PgTestServer;
using vx8::test::ScratchDatabase;

namespace {
void writeDatabaseKey(const TDBSettings& s)
{
    WriteRegistryString(RegKey::Database, QStringLiteral("ServerName"), s.ServerName);
    WriteRegistryString(RegKey::Database, QStringLiteral("ServerPort"), s.ServerPort);
    WriteRegistryString(RegKey::Database, QStringLiteral("DatabaseName"), s.DatabaseName);
    WriteRegistryString(RegKey::Database, QStringLiteral("UserName"), s.UserName);
    WriteRegistryString(RegKey::Database, QStringLiteral("Password"),
                        TCalderCryptor::EncryptPassword(s.Password, TCalderCryptor::Passphrase));
}

bool anyContains(const QStringList& texts, const QString& piece)
{
    for (const QString& t : texts) {
        if (t.contains(piece)) {
            return true;
        }
    }
    return false;
}

struct Started
{
    std::unique_ptr<TfrmMain> window;
    bool terminated = false;
};
} // namespace

class TstMainWindowDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void formCreate_data();
    void formCreate();
    void toolsMenuAsksForRights_data();
    void toolsMenuAsksForRights();

private:
    UnattendedPrompter m_prompter;
};

void TstMainWindowDb::initTestCase()
{
    QVERIFY2(PgTestServer::instance().loaded(), qPrintable(PgTestServer::instance().error()));
    m_prompter.setEcho(false);
    Prompter::setInstance(&m_prompter);
}

void TstMainWindowDb::cleanup()
{
    m_prompter.clear();
}

void TstMainWindowDb::formCreate_data()
{
    QTest::addColumn<QString>("setup");    // statement run on the scratch database first
    QTest::addColumn<QString>("password"); // "" = the right one
    QTest::addColumn<QString>("answer");   // to the connection-failure question
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("terminated");
    QTest::addColumn<bool>("launchAdministrator");
    QTest::addColumn<QString>("shown");
    QTest::newRow("connected") << "" << "" << "" << true << false << false << "";
    QTest::newRow("wrong password, no") << "" << "wrong" << "No" << false << true << false
                                        << "The connection to database server or the Vexa database has failed!";
    QTest::newRow("wrong password, start administrator") << "" << "wrong" << "Yes" << false << false << true
                                                         << "The connection to database server or the Vexa database has failed!";
    QTest::newRow("database version 22") << "UPDATE db_version SET db_version = 22" << "" << "" << true << true << false
                                         << "The current version of the database is 22 and MUST BE updated";
    QTest::newRow("program too old") << "UPDATE db_version SET vx8_req = 231" << "" << "" << true << true << false
                                     << "This version of VX8 (v2.30) is below the minimum requirements of the default Vexa Database(v2.31)!";
    QTest::newRow("e-mail address bad") << "UPDATE emailoptions SET smtpipaddress = 'a.b.c.d'" << "" << "" << true << false << false << "";
}

void TstMainWindowDb::formCreate()
{
    QFETCH(QString, setup);
    QFETCH(QString, password);
    QFETCH(QString, answer);
    QFETCH(bool, connected);
    QFETCH(bool, terminated);
    QFETCH(bool, launchAdministrator);
    QFETCH(QString, shown);
    vx8::test::TempHome home;
    ScratchDatabase scratch;
    QVERIFY2(scratch.ok(), qPrintable(scratch.error()));
    if (!setup.isEmpty()) {
        QVERIFY2(scratch.exec(setup), qPrintable(scratch.error()));
    }
    TDBSettings s = scratch.settings();
    if (!password.isEmpty()) {
        s.Password = password;
    }
    writeDatabaseKey(s);
    if (!answer.isEmpty()) {
        m_prompter.addRule(QStringLiteral("Do you want to start Administrator"), Prompter::buttonFromName(answer));
    }
    bool ended = false;
    TfrmMain::Options options;
    options.runFormCreate = false;
    options.terminate = [&](int) { ended = true; };
    options.printerInstalled = [] { return false; };
    TfrmMain window(options);
    window.FormCreate();

    QCOMPARE(window.DBConnected, connected);
    QCOMPARE(db::ResultsDatabase::connected(), connected);
    QCOMPARE(window.TerminateRequested(), terminated);
    QCOMPARE(window.LaunchAdministrator, launchAdministrator);
    QCOMPARE(window.FDatabaseName, scratch.name());
    const QStringList texts = m_prompter.texts();
    if (shown.isEmpty()) {
        QVERIFY2(!anyContains(texts, QStringLiteral("atabase")), qPrintable(texts.join(u'|')));
    } else {
        QVERIFY2(anyContains(texts, shown), qPrintable(texts.join(u'|')));
    }
    if (connected && !terminated) {
        QCOMPARE(window.DBVersion, 23);
        QCOMPARE(db::ResultsDatabase::dbVersion(), 23);
        QVERIFY(window.stbAction->toolTip().startsWith(QStringLiteral("PostgreSQL")));
        TGlobalVars* g = window.globalVars();
        QVERIFY(g->EmailEnabled);
        QCOMPARE(g->EmailRecipient, QStringLiteral("gas-safety@localhost"));
        const bool badAddress = setup.contains(QStringLiteral("smtpipaddress"));
        QCOMPARE(g->SmtpAddress, badAddress ? (std::array<int, 4>{0, 0, 0, 0}) : (std::array<int, 4>{127, 0, 0, 1}));
        QCOMPARE(anyContains(m_prompter.statusTexts(), QStringLiteral("is not a valid IP address")), badAddress);
    }
    db::ResultsDatabase::setConnected(false);
}

void TstMainWindowDb::toolsMenuAsksForRights_data()
{
    QTest::addColumn<QString>("suppress");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("options");
    QTest::addColumn<bool>("dockSetup");
    QTest::newRow("suppressed") << "yes" << "" << "" << true << true;
    QTest::newRow("technician") << "" << "tech" << "Tech2pw" << true << false;
    QTest::newRow("administrator") << "" << "admin" << "Admin3pw" << true << true;
    QTest::newRow("user") << "" << "user" << "User1pw" << false << false;
    QTest::newRow("wrong password") << "" << "admin" << "x" << false << false;
    QTest::newRow("service account") << "" << "cw" << "korservice" << true << true;
}

void TstMainWindowDb::toolsMenuAsksForRights()
{
    QFETCH(QString, suppress);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, options);
    QFETCH(bool, dockSetup);
    vx8::test::TempHome home;
    writeDatabaseKey(PgTestServer::instance().settings());
    if (!suppress.isEmpty()) {
        WriteRegistryString(RegKey::Family, QStringLiteral("SupressLogin"), suppress);
    }
    TfrmMain::Options o;
    o.runFormCreate = false;
    o.terminate = [](int) {};
    o.printerInstalled = [] { return false; };
    TfrmMain window(o);
    window.FormCreate();
    QVERIFY(window.DBConnected);
    auto* login = new TfrmDBLogin(&m_prompter, &window);
    window.SetLoginDialog(login);
    int optionsShown = 0;
    int setupShown = 0;
    window.ShowOptionsDialog = [&] { ++optionsShown; };
    window.ShowDockSetupDialog = [&] { ++setupShown; };
    int loginsShown = 0;
    auto typeIntoLogin = [&] {
        QTimer::singleShot(0, login, [&] {
            ++loginsShown;
            QTest::keyClicks(login->edtUserID, user);
            QTest::keyClicks(login->edtPW, password);
            login->cb_OK->click();
        });
    };
    typeIntoLogin();
    window.Options1Click();
    typeIntoLogin();
    window.mnuNetworkDockSetup1Click();
    QCOMPARE(optionsShown, options ? 1 : 0);
    QCOMPARE(setupShown, dockSetup ? 1 : 0);
    QCOMPARE(loginsShown, suppress.isEmpty() ? 2 : 0);
    QCoreApplication::processEvents(); // the queued login typing of a suppressed run finds no dialog
    db::ResultsDatabase::setConnected(false);
}

QTEST_MAIN(TstMainWindowDb)
#include "tst_mainwindowdb.moc"
