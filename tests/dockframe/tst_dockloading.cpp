// The dock loading of the main window against simulated network docks on 127.0.0.x, with a dock
// definition file listing them. Runs in a network namespace of its own (see CMakeLists.txt), so
// that the docks may use their real ports 5004/5005.
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/dockdefs/DockDefDatabase.h"
#include "common/LedIndicator.h"
#include "common/Prompter.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"
#include "docklink/CalderwickVX8Dock.h"
#include "sim/SimServer.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>

using namespace vx8;
using vx8::test::scaled;

namespace {

bool writeDefinitions(const QString& path, const QList<QPair<QString, QString>>& rows)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!DockDefDatabase::create(path)) {
        return false;
    }
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(path);
        ok = db.open();
        int serial = 10001;
        for (const auto& r : rows) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("INSERT INTO DockDef (DockSerialNum, DockType, \"IP Address\", "
                                     "\"Network Connection\", Alias, UpdateDockName) VALUES (?, 15, ?, ?, '', 0)"));
            q.addBindValue(QStringLiteral("%1").arg(serial++));
            q.addBindValue(r.first);
            q.addBindValue(r.second);
            ok = ok && q.exec();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    return ok;
}

} // namespace

class TstDockLoading : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void loading_data();
    void loading();
    void noDockAtAll();
};

void TstDockLoading::initTestCase()
{
    // Ports 5004/5005 of 127.0.0.x are used for real: only inside a namespace of our own.
    if (qEnvironmentVariable("VX8_IN_NETNS") != QLatin1String("1")) {
        QSKIP("needs its own network namespace (run by ctest through unshare -n)");
    }
}

void TstDockLoading::loading_data()
{
    QTest::addColumn<int>("simDocks");      // docks the simulator serves on 127.0.0.2 ...
    QTest::addColumn<QStringList>("live");  // LIVE definitions
    QTest::addColumn<QStringList>("silent"); // addresses that do not answer their ping
    QTest::addColumn<int>("ready");
    QTest::addColumn<int>("failed");
    QTest::addColumn<QString>("panel0");
    QTest::addColumn<QString>("report"); // "", "partial" or "total"

    const QStringList four{"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
    QTest::newRow("four docks") << 4 << four << QStringList() << 4 << 0
                                << QStringLiteral("4 VX8 Dock(s) Ready on StartUp...") << QString();
    QTest::newRow("one without ping answer")
        << 4 << four << QStringList{"127.0.0.4"} << 3 << 1 << QStringLiteral("3 VX8 Dock(s) Ready on StartUp...")
        << QStringLiteral("partial");
    QTest::newRow("one refuses the connection")
        << 2 << QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.9"} << QStringList() << 2 << 1
        << QStringLiteral("2 VX8 Dock(s) Ready on StartUp...") << QStringLiteral("partial");
    QTest::newRow("all fail") << 0 << QStringList{"127.0.0.8", "127.0.0.9"} << QStringList() << 0 << 2
                              << QStringLiteral("0 VX8 Dock(s) Ready on StartUp...") << QStringLiteral("total");
}

void TstDockLoading::loading()
{
    QFETCH(int, simDocks);
    QFETCH(QStringList, live);
    QFETCH(QStringList, silent);
    QFETCH(int, ready);
    QFETCH(int, failed);
    QFETCH(QString, panel0);
    QFETCH(QString, report);

    test::TempHome home;
    QList<QPair<QString, QString>> rows;
    for (const QString& a : live) {
        rows << qMakePair(a, QStringLiteral("LIVE"));
    }
    QVERIFY(writeDefinitions(home.path(QStringLiteral("DockSetup/DockSetup.db")), rows));

    sim::SimServer sim;
    QString error;
    QJsonArray docks;
    for (int i = 0; i < simDocks; ++i) {
        docks.append(QJsonObject{{QStringLiteral("serial"), 10001 + i}});
    }
    QVERIFY2(sim.loadScenario(QJsonObject{{"docks", docks}, {"discovery", QJsonObject{{"enabled", false}}}}, &error),
             qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));

    UnattendedPrompter prompter;
    prompter.setEcho(false);
    Prompter::setInstance(&prompter);
    TfrmMain::Options options;
    options.runFormCreate = false;
    options.terminate = [](int) {};
    options.ping = [silent](QString address, int) -> QCoro::Task<quint8> {
        co_return silent.contains(address) ? quint8(1) : quint8(2);
    };
    {
        TfrmMain main(options);
        main.setEnabled(false);
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(120000)));

        QCOMPARE(main.DocksReady, ready);
        QCOMPARE(main.DocksFailed, failed);
        QCOMPARE(main.StatusText(0), panel0);
        QVERIFY(main.isEnabled());
        QCOMPARE(main.DockFrames.size(), live.size());
        const QStringList texts = prompter.texts();
        if (report == QLatin1String("partial")) {
            QCOMPARE(texts, QStringList{TfrmMain::PartialFailureText(failed)});
        } else if (report == QLatin1String("total")) {
            QCOMPARE(texts, QStringList{TfrmMain::TotalFailureText(failed)});
        } else {
            QCOMPARE(texts, QStringList());
        }
        for (int i = 0; i < live.size(); ++i) {
            TfraDockInfo* frame = main.DockFrames[i];
            TfraDockStatus* status = main.DockStatusFrames[i];
            QVERIFY(frame && status);
            QCOMPARE(frame->VexaExpressDock1->EthernetAddress(), live[i]);
            const bool up = i < simDocks && !silent.contains(live[i]);
            if (up) {
                QVERIFY(frame->Core().gDockStartUpCompleted);
                QVERIFY(status->isVisibleTo(&main));
                QCOMPARE(status->gbDockStatus->title(), QStringLiteral("Dock (%1)").arg(10001 + i));
                QVERIFY(!status->ledDockConnectiontStatus->isBlinking());
                // The dialogue's order on this dock: status, configuration, clock, slave mode.
                QStringList cmds;
                for (const auto& e : sim.transcript().entriesFor(10001 + i, QStringLiteral("control"),
                                                                 QStringLiteral("in"))) {
                    cmds << QString::fromLatin1(e.bytes.left(3));
                }
                const int gst = cmds.indexOf(QStringLiteral("GST")), ree = cmds.indexOf(QStringLiteral("REE")),
                          stc = cmds.indexOf(QStringLiteral("STC")), slv = cmds.indexOf(QStringLiteral("SLV"));
                QVERIFY2(gst >= 0 && gst < ree && ree < stc && stc < slv, qPrintable(cmds.join(u',')));
            } else {
                // Off line: a page and a summary frame all the same, blinking red.
                QCOMPARE(frame->pgeDockInfo->tabText(0), QStringLiteral("Dock(OffLine)"));
                QCOMPARE(status->gbDockStatus->title(), QStringLiteral("Dock(OffLine)"));
                QVERIFY(status->ledDockConnectiontStatus->isBlinking());
                QCOMPARE(status->ledDockConnectiontStatus->onColor(), QColor(0xFF, 0x00, 0x00));
            }
        }
    }
    Prompter::setInstance(nullptr);
}

void TstDockLoading::noDockAtAll()
{
    test::TempHome home;
    QDir().mkpath(home.path(QStringLiteral("DockSetup")));
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    Prompter::setInstance(&prompter);
    TfrmMain::Options options;
    options.runFormCreate = false;
    bool terminated = false;
    options.terminate = [&](int) { terminated = true; };
    {
        TfrmMain main(options);
        main.setEnabled(false);
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(30000)));
        QCOMPARE(main.StatusText(0), QStringLiteral("No VX8 Docks Connected!"));
        QVERIFY(main.isEnabled());
        QVERIFY(!terminated);
        QVERIFY(main.DockFrames.isEmpty());
        QVERIFY(prompter.texts().value(1).startsWith(
            QStringLiteral("No VX8 Docks Connected!  Please check cable connections and/or Network/Alias Dock Setup...")));
    }
    Prompter::setInstance(nullptr);
}

QTEST_MAIN(TstDockLoading)
#include "tst_dockloading.moc"
