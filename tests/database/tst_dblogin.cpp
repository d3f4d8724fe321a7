#include "PgTestServer.h"

#include "common/db/DBLogin.h"
#include "app/database/DBLoginDialog.h"
#include "common/Prompter.h"
#include "common/db/Database.h"
#include "common/db/ResultsDatabase.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vx8;
using vx8::test::PgTestServer;
using vx8::test::ScratchDatabase;

namespace {
struct Quiet : UnattendedPrompter
{
    Quiet() { setEcho(false); }
};
} // namespace

class TstDbLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keyFilter_data();
    void keyFilter();
    void login_data();
    void login();
    void loginWithoutDatabase();
    void rightsCheck_data();
    void rightsCheck();
    void rightsCheckWithInstalledContext();
    void dialogFiltersTypedAndPastedText();
    void dialogLogsInAndOpensEmpty();
};

void TstDbLogin::initTestCase()
{
    QVERIFY2(PgTestServer::instance().loaded(), qPrintable(PgTestServer::instance().error()));
}

void TstDbLogin::keyFilter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("letters, digits") << "Admin3pw" << true;
    QTest::newRow("allowed signs") << "#$%&()+-./:;<=>@[\\]^_" << true;
    QTest::newRow("blank") << "a b" << false;
    QTest::newRow("apostrophe") << "a'b" << false;
    QTest::newRow("double quote") << "a\"b" << false;
    QTest::newRow("star") << "*" << false;
    QTest::newRow("comma") << "," << false;
    QTest::newRow("question mark") << "?" << false;
    QTest::newRow("exclamation mark") << "!" << false;
    QTest::newRow("back quote") << "`" << false;
    QTest::newRow("braces") << "{}" << false;
    QTest::newRow("above 127") << QString::fromUtf8("é") << false;
}

void TstDbLogin::keyFilter()
{
    QFETCH(QString, text);
    QFETCH(bool, allowed);
    QCOMPARE(LoginTextAllowed(text), allowed);
}

void TstDbLogin::login_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("level");
    QTest::newRow("user") << "user" << "User1pw" << 0 << 100;
    QTest::newRow("technician") << "tech" << "Tech2pw" << 0 << 200;
    QTest::newRow("administrator") << "admin" << "Admin3pw" << 0 << 300;
    QTest::newRow("both rights") << "both" << "Both4pw" << 0 << 300;
    QTest::newRow("NULL rights") << "nulls" << "Null5pw" << 0 << 100;
    QTest::newRow("pasted blanks trimmed") << "  admin " << " Admin3pw  " << 0 << 300;
    QTest::newRow("wrong password") << "admin" << "admin3pw" << 1 << 100;
    QTest::newRow("user ID case decided by the database") << "ADMIN" << "Admin3pw" << 1 << 100;
    QTest::newRow("unknown user") << "ghost" << "Admin3pw" << 1 << 100;
    QTest::newRow("empty") << "" << "" << 1 << 100;
    QTest::newRow("injection: backslash") << "x\\" << "OR(1=1)--" << 1 << 100;
    QTest::newRow("injection: quotes") << "' OR '1'='1" << "' OR '1'='1" << 1 << 100;
    QTest::newRow("injection: comment") << "admin'--" << "anything" << 1 << 100;
    QTest::newRow("injection: statement") << "a'; UPDATE users SET administrative = true; --" << "x" << 1 << 100;
    QTest::newRow("service account") << "cw" << " korservice " << 0 << 900;
    QTest::newRow("service account, wrong password") << "CW" << "KORSERVICF" << 1 << 100;
}

void TstDbLogin::login()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, result);
    QFETCH(int, level);
    ScratchDatabase scratch;
    QVERIFY2(scratch.ok(), qPrintable(scratch.error()));
    // Old servers read backslashes in quoted text as escapes: the login must not care.
    QVERIFY(scratch.exec(QStringLiteral("ALTER DATABASE %1 SET standard_conforming_strings = off").arg(scratch.name())));
    QVERIFY(scratch.exec(QStringLiteral("INSERT INTO users (user_id, password, technician, administrative) VALUES ('nulls', 'Null5pw', NULL, NULL)")));
    const TLoginCheck check = CheckLogin(user, password, true, scratch.settings());
    QCOMPARE(int(check.result), result);
    QCOMPARE(int(check.level), level);
    QVERIFY(check.error.isEmpty());
    // Nothing was changed by the attempt.
    db::Connection c(scratch.settings());
    QCOMPARE(c.query(QStringLiteral("SELECT count(*) AS n FROM users WHERE administrative")).first().toInt(QStringLiteral("n")), 2);
}

void TstDbLogin::loginWithoutDatabase()
{
    // Not connected at start-up: only the service account decides.
    TLoginCheck check = CheckLogin(QStringLiteral("admin"), QStringLiteral("Admin3pw"), false, PgTestServer::instance().settings());
    QCOMPARE(int(check.result), int(LoginNoDecision));
    check = CheckLogin(QStringLiteral("CW"), QStringLiteral("KORSERVICE"), false, {});
    QCOMPARE(int(check.result), int(LoginAccepted));
    QCOMPARE(int(check.level), int(LevelService));
    // Connected at start-up, server gone since: no decision, with the reason.
    TDBSettings down = PgTestServer::instance().settings();
    down.ServerPort = QStringLiteral("1");
    check = CheckLogin(QStringLiteral("admin"), QStringLiteral("Admin3pw"), true, down);
    QCOMPARE(int(check.result), int(LoginNoDecision));
    QVERIFY(!check.error.isEmpty());
}

void TstDbLogin::rightsCheck_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("softwareType");
    QTest::addColumn<bool>("suppressed");
    QTest::addColumn<int>("dialogResult"); // -1: the dialog must not be shown
    QTest::addColumn<int>("dialogLevel");
    QTest::addColumn<bool>("runs");
    QTest::addColumn<QString>("shown");
    const int options = int(GuardedAction::Options);
    const int network = int(GuardedAction::NetworkDockSetup);
    const int send = int(GuardedAction::SendDockConfiguration);
    const int advanced = int(GuardedAction::AdvancedDockSettings);
    const QString optionsRefusal = RefusalText(GuardedAction::Options);
    const QString networkRefusal = RefusalText(GuardedAction::NetworkDockSetup);
    const QString configRefusal = RefusalText(GuardedAction::SendDockConfiguration);
    const QString invalid = QStringLiteral("User ID and Password are not valid!");

    for (const int a : {options, network, send, advanced}) {
        const QString n = QString::number(a);
        QTest::newRow(qPrintable("suppressed " + n)) << a << 10 << true << -1 << 0 << true << "";
        QTest::newRow(qPrintable("service " + n)) << a << 10 << false << 0 << 900 << true << "";
        QTest::newRow(qPrintable("administrator " + n)) << a << 10 << false << 0 << 300 << true << "";
        QTest::newRow(qPrintable("wrong password " + n)) << a << 10 << false << 1 << 100 << false << invalid;
        QTest::newRow(qPrintable("cancelled " + n)) << a << 10 << false << 2 << 100 << false << "";
    }
    QTest::newRow("SHOP options") << options << 100 << false << -1 << 0 << true << "";
    QTest::newRow("SHOP network") << network << 100 << false << -1 << 0 << true << "";
    QTest::newRow("SHOP send") << send << 100 << false << -1 << 0 << true << "";
    QTest::newRow("SHOP advanced asks") << advanced << 100 << false << 0 << 300 << true << "";
    QTest::newRow("QC asks") << options << 999 << false << 0 << 200 << true << "";
    QTest::newRow("technician options") << options << 10 << false << 0 << 200 << true << "";
    QTest::newRow("technician network") << network << 10 << false << 0 << 200 << false << networkRefusal;
    QTest::newRow("technician send") << send << 10 << false << 0 << 200 << false << configRefusal;
    QTest::newRow("technician advanced") << advanced << 10 << false << 0 << 200 << false << configRefusal;
    QTest::newRow("user options") << options << 10 << false << 0 << 100 << false << optionsRefusal;
    QTest::newRow("user network") << network << 10 << false << 0 << 100 << false << networkRefusal;
}

void TstDbLogin::rightsCheck()
{
    QFETCH(int, action);
    QFETCH(int, softwareType);
    QFETCH(bool, suppressed);
    QFETCH(int, dialogResult);
    QFETCH(int, dialogLevel);
    QFETCH(bool, runs);
    QFETCH(QString, shown);
    // Left-overs from an earlier use must not count.
    LoginResult = LoginAccepted;
    UserLevel = LevelService;
    bool dialogShown = false;
    Quiet prompter;
    const bool ran = RightsCheck(GuardedAction(action), softwareType, suppressed, [&] {
        dialogShown = true;
        if (dialogResult >= 0) {
            LoginResult = quint8(dialogResult);
            UserLevel = qint16(dialogLevel);
        }
    }, prompter);
    QCOMPARE(ran, runs);
    QCOMPARE(dialogShown, dialogResult >= 0);
    QCOMPARE(prompter.texts(), shown.isEmpty() ? QStringList{} : QStringList{shown});
    if (dialogResult < 0) {
        QCOMPARE(int(UserLevel), 300);
        QCOMPARE(int(LoginResult), 0);
    }
}

void TstDbLogin::rightsCheckWithInstalledContext()
{
    Quiet prompter;
    // Nothing installed: a login is needed and nobody can give it.
    SetRightsContext({});
    QVERIFY(!RightsCheck(GuardedAction::SendDockConfiguration, prompter));
    int softwareType = 100;
    bool suppressed = false;
    int shown = 0;
    SetRightsContext({[&] { return softwareType; }, [&] { return suppressed; }, [&] {
                          ++shown;
                          LoginResult = LoginAccepted;
                          UserLevel = LevelTechnician;
                      }});
    QVERIFY(RightsCheck(GuardedAction::SendDockConfiguration, prompter)); // SHOP: no login
    QCOMPARE(shown, 0);
    QVERIFY(!RightsCheck(GuardedAction::AdvancedDockSettings, prompter)); // asks; a technician is refused
    QCOMPARE(shown, 1);
    QCOMPARE(prompter.texts(), QStringList{RefusalText(GuardedAction::AdvancedDockSettings)});
    softwareType = 10;
    suppressed = true;
    QVERIFY(RightsCheck(GuardedAction::AdvancedDockSettings, prompter));
    QCOMPARE(shown, 1);
    SetRightsContext({});
}

void TstDbLogin::dialogFiltersTypedAndPastedText()
{
    Quiet prompter;
    TfrmDBLogin dialog(&prompter);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Security Login"));
    QCOMPARE(dialog.edtPW->echoMode(), QLineEdit::Password);
    QVERIFY(dialog.cb_OK->isDefault());
    QTest::keyClicks(dialog.edtUserID, QStringLiteral("ad min'*"));
    QCOMPARE(dialog.edtUserID->text(), QStringLiteral("admin"));
    // Pasted text goes through the same filter: refused whole when it holds a refused character.
    dialog.edtPW->insert(QStringLiteral("' OR '1'='1"));
    QCOMPARE(dialog.edtPW->text(), QString());
    dialog.edtPW->insert(QStringLiteral("x\\"));
    QCOMPARE(dialog.edtPW->text(), QStringLiteral("x\\"));
}

void TstDbLogin::dialogLogsInAndOpensEmpty()
{
    ScratchDatabase scratch;
    QVERIFY2(scratch.ok(), qPrintable(scratch.error()));
    db::ResultsDatabase::setSettings(scratch.settings());
    db::ResultsDatabase::setConnected(true);
    Quiet prompter;
    TfrmDBLogin dialog(&prompter);
    QCOMPARE(int(LoginResult), int(LoginNoDecision));

    auto run = [&](const QString& user, const QString& pw, bool ok) {
        QTimer::singleShot(0, &dialog, [&, user, pw, ok] {
            QVERIFY(dialog.edtUserID->text().isEmpty());
            QVERIFY(dialog.edtPW->text().isEmpty());
            QTest::keyClicks(dialog.edtUserID, user);
            QTest::keyClicks(dialog.edtPW, pw);
            (ok ? dialog.cb_OK : dialog.cb_Cancel)->click();
        });
        dialog.exec();
    };
    run(QStringLiteral("tech"), QStringLiteral("Tech2pw"), true);
    QCOMPARE(int(LoginResult), 0);
    QCOMPARE(int(UserLevel), 200);
    run(QStringLiteral("tech"), QStringLiteral("nope"), true);
    QCOMPARE(int(LoginResult), 1);
    run(QStringLiteral("admin"), QStringLiteral("Admin3pw"), false);
    QCOMPARE(int(LoginResult), 2);
    QVERIFY(prompter.texts().isEmpty());
    db::ResultsDatabase::setConnected(false);
}

QTEST_MAIN(TstDbLogin)
#include "tst_dblogin.moc"
