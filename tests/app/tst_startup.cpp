// The built vx8 program started as a process: the no-database start-up paths and the
// single-instance guard. Every start runs in a private network namespace when the machine allows
// one, so nothing it might try reaches a network.
#include "app/SingleInstance.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString vx8Program()
{
    return qEnvironmentVariable("VX8_TEST_BINARY_DIR") + QStringLiteral("/app/vx8");
}

bool privateNetworkAvailable()
{
    static const bool ok = [] {
        QProcess p;
        p.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("sh"), QStringLiteral("-c"),
                                            QStringLiteral("ip link set lo up")});
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }();
    return ok;
}

// A program folder with its own registry file.
struct Home
{
    QTemporaryDir dir;
    QString folder() const { return dir.path() + u'/'; }
    QString registry() const { return dir.path() + QStringLiteral("/registry.reg"); }
    void writeRegistry(const QString& body) const
    {
        QFile f(registry());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Windows Registry Editor Version 5.00\r\n\r\n" + body.toUtf8());
    }
};

void start(QProcess& p, const Home& home, const QStringList& args, bool gui = false)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VX8_HOME"), home.dir.path());
    env.insert(QStringLiteral("VX8_REGISTRY"), home.registry());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DISPLAY"));
    Q_UNUSED(gui);
    p.setProcessEnvironment(env);
    if (privateNetworkAvailable()) {
        p.start(QStringLiteral("unshare"), QStringList{QStringLiteral("-n"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                      QStringLiteral("ip link set lo up && exec \"$0\" \"$@\""),
                                                      vx8Program()} +
                                               args);
    } else {
        p.start(vx8Program(), args);
    }
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
}

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool listening(const QString& folder)
{
    QLocalSocket s;
    s.connectToServer(vx8::SingleInstanceGuard::serverName(folder));
    const bool ok = s.waitForConnected(200);
    s.abort();
    return ok;
}

const QString NoManagerMessage = QStringLiteral(
    "The default database is has NOT been assigned or deleted (Database: )!\\n\\nAdministrator will assign the "
    "default server and database.  This is installed with Database Manager which is NOT installed yet. Please "
    "install Database Manager, use Administrator to set the database default, then retry VX8?");
const QString LaunchQuestion = QStringLiteral(
    "The default database is has NOT been assigned or deleted (Database: )!  Vexa Adminstrator Pro will assign "
    "the default server and database.  After the defaults are defined, try VX8 again.\\n\\nDo you want to launch "
    "Vexa Adminstrator Pro?");

// Fake database manager and administrator programs; the administrator leaves a mark when started.
void installManager(const Home& home)
{
    const QString folder = home.dir.path() + QStringLiteral("/Manager");
    QVERIFY(QDir().mkpath(folder));
    QFile ledgra(folder + QStringLiteral("/Ledgra.exe"));
    QVERIFY(ledgra.open(QIODevice::WriteOnly));
    ledgra.write("#!/bin/sh\nexit 0\n");
    ledgra.close();
    QFile admin(folder + QStringLiteral("/Vexa_Administrator_Pro.exe"));
    QVERIFY(admin.open(QIODevice::WriteOnly));
    admin.write("#!/bin/sh\npwd > started.txt\n");
    admin.close();
    for (QFile* f : {&ledgra, &admin}) {
        f->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // Folder without a trailing separator: the program joins it with the file name itself.
    home.writeRegistry(QStringLiteral("[HKEY_LOCAL_MACHINE\\Software\\Calderwick\\Vexa]\r\n\"LedgraProLocation\"=\"") +
                       folder + QStringLiteral("\"\r\n"));
}

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT
private slots:
    void noDatabaseNoManagerEnds();
    void managerPresentYesStartsAdministrator();
    void managerPresentNoFromAnswerFileEnds();
    void secondStartFromSameFolderRaisesTheFirst();
};

void TestStartUp::noDatabaseNoManagerEnds()
{
    Home home;
    QProcess p;
    start(p, home, {QStringLiteral("--unattended")});
    QVERIFY(p.waitForFinished(vx8::test::scaled(30000)));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.contains(QStringLiteral("PROMPT information: ") + NoManagerMessage), qPrintable(out));
    const QString log = readAll(home.folder() + QStringLiteral("VX8_Unattended.log"));
    QVERIFY2(log.contains(NoManagerMessage), qPrintable(log));
    // The start-up never got to the settings: nothing was written.
    QVERIFY(!QFile::exists(home.registry()));
}

void TestStartUp::managerPresentYesStartsAdministrator()
{
    Home home;
    installManager(home);
    const QString registryBefore = readAll(home.registry());
    QProcess p;
    start(p, home, {QStringLiteral("--unattended")});
    QVERIFY(p.waitForFinished(vx8::test::scaled(30000)));
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.contains(QStringLiteral("PROMPT confirmation: ") + LaunchQuestion + QStringLiteral("\nANSWER Yes")),
             qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("STATUS Loading Vexa Adminstrator Pro, Please Wait...")));
    // The administrator program runs in its own folder.
    const QString started = home.dir.path() + QStringLiteral("/Manager/started.txt");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), vx8::test::scaled(10000));
    QCOMPARE(readAll(started).trimmed(), QDir(home.dir.path() + QStringLiteral("/Manager")).canonicalPath());
    // No dock was touched and the stored settings were left alone.
    QVERIFY(!out.contains(QStringLiteral("Dock ")));
    QCOMPARE(readAll(home.registry()), registryBefore);
}

void TestStartUp::managerPresentNoFromAnswerFileEnds()
{
    Home home;
    installManager(home);
    const QString answers = home.dir.path() + QStringLiteral("/answers.txt");
    {
        QFile f(answers);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# answers for the start-up\nNo\tDo you want to launch Vexa Adminstrator Pro?\n");
    }
    QProcess p;
    start(p, home, {QStringLiteral("--unattended"), QStringLiteral("--answers"), answers});
    QVERIFY(p.waitForFinished(vx8::test::scaled(30000)));
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.contains(LaunchQuestion + QStringLiteral("\nANSWER No")), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("Loading Vexa Adminstrator Pro")));
    QTest::qWait(vx8::test::scaled(1000));
    QVERIFY(!QFile::exists(home.dir.path() + QStringLiteral("/Manager/started.txt")));
}

void TestStartUp::secondStartFromSameFolderRaisesTheFirst()
{
    // Without --unattended the first copy waits at its message box, with its guard listening.
    Home home;
    QProcess first;
    start(first, home, {});
    QTRY_VERIFY_WITH_TIMEOUT(listening(home.folder()), vx8::test::scaled(20000));

    QProcess second;
    start(second, home, {QStringLiteral("--unattended")});
    QVERIFY(second.waitForFinished(vx8::test::scaled(20000)));
    QCOMPARE(second.exitCode(), 0);
    // The second copy ended before its own start-up: no prompt, no log of its own.
    QCOMPARE(QString::fromUtf8(second.readAllStandardOutput()), QString());
    QVERIFY(!QFile::exists(home.folder() + QStringLiteral("VX8_Unattended.log")));
    QString firstErr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (firstErr += QString::fromUtf8(first.readAllStandardError())).contains(
            QStringLiteral("A second start of the program raised this window")),
        vx8::test::scaled(10000));
    QCOMPARE(first.state(), QProcess::Running);

    // A copy in another folder starts normally beside it.
    Home other;
    QProcess third;
    start(third, other, {});
    QTRY_VERIFY_WITH_TIMEOUT(listening(other.folder()), vx8::test::scaled(20000));
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(third.state(), QProcess::Running);

    for (QProcess* p : {&first, &third}) {
        p->kill();
        p->waitForFinished(10000);
    }
}

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"
