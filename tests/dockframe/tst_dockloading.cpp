// The dock loading of the main window against simulated network docks on 127.0.0.x, with a dock
// definition file listing them. Runs in a network namespace of its own (see CMakeLists.txt), so
// that the docks may use their real ports 5004/5005.
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/dockdefs/DockDefDatabase.h"
#include "app/dockdefs/DockSetupDialog.h"
#include "common/Registry.h"
#include "common/LedIndicator.h"
#include "common/Prompter.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"
#include "docklink/CalderwickVX8Dock.h"
#include "sim/SimServer.h"
#include "transport/USBDevice.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QStatusBar>
#include <QUdpSocket>
#include <QPointer>

#include <chrono>

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

// Discovery goes to the simulator's responder on 127.0.0.1, never to a broadcast address.
void discoveryOnLoopback()
{
    WriteRegistryString(RegKey::Program, QStringLiteral("DiscoveryBroadcastAddress"), QStringLiteral("127.0.0.1"));
}

// Simulated network docks 10001, 10002, ... on 127.0.0.2, ...; discovery answered or not.
bool startSim(sim::SimServer& sim, int docks, bool discovery)
{
    QJsonArray list;
    for (int i = 0; i < docks; ++i) {
        list.append(QJsonObject{{QStringLiteral("serial"), 10001 + i}});
    }
    QString error;
    const QJsonObject disc = discovery ? QJsonObject{{"enabled", true}, {"address", "127.0.0.1"}}
                                       : QJsonObject{{"enabled", false}};
    if (!sim.loadScenario(QJsonObject{{"docks", list}, {"discovery", disc}}, &error) || !sim.start(&error)) {
        qWarning("simulator: %s", qPrintable(error));
        return false;
    }
    return true;
}

TfrmMain::Options loadingOptions(bool* terminated = nullptr)
{
    TfrmMain::Options options;
    options.runFormCreate = false;
    options.terminate = [terminated](int) {
        if (terminated) {
            *terminated = true;
        }
    };
    options.ping = [](QString, int) -> QCoro::Task<quint8> { co_return quint8(2); };
    return options;
}

// The control commands a simulated dock received, by mnemonic.
QStringList commandsOf(sim::SimServer& sim, quint32 serial)
{
    QStringList cmds;
    for (const auto& e : sim.transcript().entriesFor(serial, QStringLiteral("control"), QStringLiteral("in"))) {
        cmds << QString::fromLatin1(e.bytes.left(3));
    }
    return cmds;
}

// The start-up dialogue's order on a dock: status, configuration, clock, slave mode.
bool startUpDialogueSeen(const QStringList& cmds)
{
    const int gst = cmds.indexOf(QStringLiteral("GST")), ree = cmds.indexOf(QStringLiteral("REE")),
              stc = cmds.indexOf(QStringLiteral("STC")), slv = cmds.indexOf(QStringLiteral("SLV"));
    return gst >= 0 && gst < ree && ree < stc && stc < slv;
}

bool tabVisible(TfrmMain& main, int i)
{
    return main.pgVexaExpressDocks->isTabVisible(main.pgVexaExpressDocks->indexOf(main.DockTabs[i]));
}

QList<DockDefDatabase::Row> definitionRows(const QString& path)
{
    return DockDefDatabase(path).Rows().value_or(QList<DockDefDatabase::Row>());
}

// What every loading case needs: a program folder with its registry, discovery pointed at
// loopback, and a silent prompter, installed for the case and removed when it ends (also when a
// check fails half-way).
struct LoadingRig
{
    test::TempHome home;
    UnattendedPrompter prompter;
    LoadingRig()
    {
        discoveryOnLoopback();
        prompter.setEcho(false);
        Prompter::setInstance(&prompter);
    }
    ~LoadingRig() { Prompter::setInstance(nullptr); }
};

} // namespace

class TstDockLoading : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void loading_data();
    void loading();
    void noDockAtAll();
    void discoveryDuringLoading();
    void newDocksOnly_data();
    void newDocksOnly();
    void escapeWhileCreatingFrames();
    void onlyListeningDocks();
    void discoveryCannotStart();
    void usbDocksFirst();
    void usbDockUnplugged_data();
    void usbDockUnplugged();
    void silentUsbDock();
};

void TstDockLoading::initTestCase()
{
    // Ports 5004/5005 of 127.0.0.x are used for real: only inside a namespace of our own.
    if (qEnvironmentVariable("VX8_IN_NETNS") != QLatin1String("1")) {
        QSKIP("needs its own network namespace (run by ctest through unshare -n)");
    }
    // USB docks are the simulator's, on the in-process bus.
    qputenv("VX8_USB_BACKEND", "inprocess");
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
    QTest::addColumn<bool>("db");        // the results database is connected

    const QStringList four{"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
    QTest::newRow("four docks") << 4 << four << QStringList() << 4 << 0
                                << QStringLiteral("4 VX8 Dock(s) Ready on StartUp...") << QString() << true;
    QTest::newRow("one without ping answer")
        << 4 << four << QStringList{"127.0.0.4"} << 3 << 1 << QStringLiteral("3 VX8 Dock(s) Ready on StartUp...")
        << QStringLiteral("partial") << true;
    QTest::newRow("one refuses the connection")
        << 2 << QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.9"} << QStringList() << 2 << 1
        << QStringLiteral("2 VX8 Dock(s) Ready on StartUp...") << QStringLiteral("partial") << false;
    QTest::newRow("all fail") << 0 << QStringList{"127.0.0.8", "127.0.0.9"} << QStringList() << 0 << 2
                              << QStringLiteral("0 VX8 Dock(s) Ready on StartUp...") << QStringLiteral("total") << true;
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
    QFETCH(bool, db);

    LoadingRig rig;
    QList<QPair<QString, QString>> rows;
    for (const QString& a : live) {
        rows << qMakePair(a, QStringLiteral("LIVE"));
    }
    QVERIFY(writeDefinitions(rig.home.path(QStringLiteral("DockSetup/DockSetup.db")), rows));

    sim::SimServer sim;
    QString error;
    QJsonArray docks;
    for (int i = 0; i < simDocks; ++i) {
        docks.append(QJsonObject{{QStringLiteral("serial"), 10001 + i}});
    }
    QVERIFY2(sim.loadScenario(QJsonObject{{"docks", docks}, {"discovery", QJsonObject{{"enabled", false}}}}, &error),
             qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));

    TfrmMain::Options options;
    options.runFormCreate = false;
    options.terminate = [](int) {};
    options.ping = [silent](QString address, int) -> QCoro::Task<quint8> {
        co_return silent.contains(address) ? quint8(1) : quint8(2);
    };
    {
        TfrmMain main(options);
        main.setEnabled(false);
        main.DBConnected = db;
        main.FDatabaseName = QStringLiteral("vx8results");
        main.DBSettings.ServerName = QStringLiteral("127.0.0.1");
        main.DBSettings.ServerPort = QStringLiteral("5433");
        main.DBSettings.ServerVersion = QStringLiteral("PostgreSQL 15.8");
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(120000)));

        QCOMPARE(main.DocksReady, ready);
        QCOMPARE(main.DocksFailed, failed);
        QCOMPARE(main.StatusText(0), panel0);
        QVERIFY(main.isEnabled());
        QCOMPARE(main.DockFrames.size(), live.size());
        QStringList expected;
        if (report == QLatin1String("partial")) {
            expected << TfrmMain::PartialFailureText(failed);
        } else if (report == QLatin1String("total")) {
            expected << TfrmMain::TotalFailureText(failed);
        }
        if (db) {
            QCOMPARE(main.StatusText(1), QStringLiteral("Database Name: vx8results"));
            QCOMPARE(main.stbAction->toolTip(), QStringLiteral("Database Name: vx8results @ Server: 127.0.0.1 Port: 5433"
                                                               "\r\nServer Version: PostgreSQL 15.8"));
        } else {
            expected << QStringLiteral("WARNING: The selected database vx8results CANNOT be accessed.\r\n Test data "
                                       "will not be stored until access is restored!  Use Administrator to verify "
                                       "the database.");
            QCOMPARE(main.StatusText(1), QStringLiteral("Database Name: NOT FOUND"));
        }
        QCOMPARE(rig.prompter.texts(), expected);
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
}

void TstDockLoading::noDockAtAll()
{
    LoadingRig rig;
    QDir().mkpath(rig.home.path(QStringLiteral("DockSetup")));
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
        QVERIFY(rig.prompter.texts().value(1).startsWith(
            QStringLiteral("No VX8 Docks Connected!  Please check cable connections and/or Network/Alias Dock Setup...")));
    }
}

// A dock unknown to the definitions answers the discovery round of the loading: it is registered
// as DISABLED, gets no page in this run, and is announced at the end with the set-up window shown.
// Datagrams that are no well-formed answer add nothing.
void TstDockLoading::discoveryDuringLoading()
{
    LoadingRig rig;
    const QString path = rig.home.path(QStringLiteral("DockSetup/DockSetup.db"));
    QVERIFY(writeDefinitions(path, {{"127.0.0.2", "LIVE"}, {"127.0.0.3", "LIVE"}}));
    sim::SimServer sim;
    QVERIFY(startSim(sim, 3, true));

    {
        TfrmMain main(loadingOptions());
        main.setEnabled(false);
        main.DBConnected = true;
        main.LoginSuppressed = true; // the set-up window's rights check passes without a login
        main.LoadAllDocks();
        // The round is open now: hostile and malformed answers from another sender.
        QUdpSocket junk;
        QVERIFY(junk.bind(QHostAddress(QStringLiteral("127.0.0.77")), 0));
        for (const QByteArray& d : {QByteArray("VX8#abc\r"), QByteArray("VX8#123456\r"), QByteArray("hello #00042\r"),
                                    QByteArray("VX8#0'); DROP TABLE DockDef;--\r"), QByteArray("VX8#00000\r")}) {
            QCOMPARE(junk.writeDatagram(d, QHostAddress(QStringLiteral("127.0.0.1")), 6461), qint64(d.size()));
        }
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(120000)));

        QCOMPARE(main.DocksReady, 2);
        QCOMPARE(main.DockFrames.size(), 2);
        QVERIFY(main.NewNetworkDocks);
        QCOMPARE(main.StatusText(0), QStringLiteral("New VX8 Dock(s) Available!"));
        QCOMPARE(rig.prompter.texts(),
                 QStringList{QStringLiteral("New Network Dock(s) have been detected.  The \"Network/Alias Dock "
                                            "Setup...\" form will now be loaded to set the Network Connection")});
        TfrmDockSetup* setup = main.findChild<TfrmDockSetup*>();
        QVERIFY(setup && setup->isVisible());
        QCOMPARE(setup->rows().size(), 3);

        const auto rows = definitionRows(path);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[2].serial, QStringLiteral("10003"));
        QCOMPARE(rows[2].address, QStringLiteral("127.0.0.4"));
        QCOMPARE(rows[2].mode, QStringLiteral("DISABLED"));
        QCOMPARE(rows[2].alias, QString());
        // The known docks answered too: their rows are as they were.
        QCOMPARE(rows[0].address, QStringLiteral("127.0.0.2"));
        QCOMPARE(rows[0].mode, QStringLiteral("LIVE"));
        QVERIFY(!sim.transcript().entriesFor(0, QStringLiteral("discovery"), QStringLiteral("in")).isEmpty());
    }
}

void TstDockLoading::newDocksOnly_data()
{
    QTest::addColumn<bool>("view");
    QTest::newRow("view the dock list") << true;
    QTest::newRow("not now") << false;
}

// No defined dock, but one answers the discovery: the no-dock ending asks whether to view the
// dock list, and "Yes" opens the set-up window; the program stays open either way.
void TstDockLoading::newDocksOnly()
{
    QFETCH(bool, view);
    LoadingRig rig;
    const QString path = rig.home.path(QStringLiteral("DockSetup/DockSetup.db"));
    QVERIFY(writeDefinitions(path, {}));
    sim::SimServer sim;
    QVERIFY(startSim(sim, 1, true));

    rig.prompter.addRule(QStringLiteral("New Network Docks have been detected."), view ? Prompter::Yes : Prompter::No);
    bool terminated = false;
    {
        TfrmMain main(loadingOptions(&terminated));
        main.setEnabled(false);
        main.LoginSuppressed = true;
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(60000)));
        QVERIFY(!terminated);
        QVERIFY(main.isEnabled());
        QVERIFY(main.DockFrames.isEmpty());
        QCOMPARE(main.StatusText(0), QStringLiteral("New VX8 Docks Available!"));
        QCOMPARE(rig.prompter.texts(), QStringList{QStringLiteral("New Network Docks have been detected.\r\n\r\nThe new "
                                                              "docks need their network connection set to be used.  Do "
                                                              "you want to view the dock list?")});
        TfrmDockSetup* setup = main.findChild<TfrmDockSetup*>();
        QCOMPARE(setup && setup->isVisible(), view);
        const auto rows = definitionRows(path);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].mode, QStringLiteral("DISABLED"));
    }
}

// Escape pressed before the frames are made ends the program before any dock is spoken to.
void TstDockLoading::escapeWhileCreatingFrames()
{
    LoadingRig rig;
    QVERIFY(writeDefinitions(rig.home.path(QStringLiteral("DockSetup/DockSetup.db")),
                             {{"127.0.0.2", "LIVE"}, {"127.0.0.3", "LIVE"}}));
    sim::SimServer sim;
    QVERIFY(startSim(sim, 2, false));
    bool terminated = false;
    {
        TfrmMain main(loadingOptions(&terminated));
        main.setEnabled(false);
        main.DBConnected = true;
        main.LoadAllDocks();
        // The window is disabled while the docks load; the key still counts.
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(60000)));
        QVERIFY(terminated);
        QCOMPARE(main.StatusText(1), QStringLiteral(" User Pressed ESC, Terminating..."));
        QCOMPARE(main.DocksReady, 0);
        QCOMPARE(main.DockFrames.size(), 1); // left after the first frame was made
        for (quint32 serial : {10001u, 10002u}) {
            QVERIFY(sim.transcript().entriesFor(serial, QStringLiteral("control"), QStringLiteral("in")).isEmpty());
        }
        QVERIFY(!main.DockFrames[0]->DockLinkEnabled());
    }
}

// Only LISTENING docks: one frame (index 0) serves them, no live dock is counted.
void TstDockLoading::onlyListeningDocks()
{
    LoadingRig rig;
    QVERIFY(writeDefinitions(rig.home.path(QStringLiteral("DockSetup/DockSetup.db")),
                             {{"127.0.0.2", "LISTENING"}, {"127.0.0.3", "LISTENING"}, {"127.0.0.4", "DISABLED"}}));
    bool terminated = false;
    {
        TfrmMain main(loadingOptions(&terminated));
        main.setEnabled(false);
        main.DBConnected = true;
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(60000)));
        QVERIFY(!terminated);
        QCOMPARE(main.DockFrames.size(), 1);
        QCOMPARE(main.DockCount, 0);
        QCOMPARE(main.LiveDockCount, 0);
        QCOMPARE(main.ListeningDockCount, 2);
        QCOMPARE(main.DocksReady, 0);
        QCOMPARE(main.DocksFailed, 0);
        QCOMPARE(main.StatusText(0), QStringLiteral("2 Dock(s) set for \"Listening\" Mode on StartUp..."));
        QCOMPARE(rig.prompter.texts(), QStringList());
        QVERIFY(main.isEnabled());
        QVERIFY(main.DockFrames[0]->tmr_ListeningMode->isActive());
    }
}

// The discovery round cannot start (its answer port is taken): the loading notes it in panel 1
// and goes on.
void TstDockLoading::discoveryCannotStart()
{
    LoadingRig rig;
    QVERIFY(writeDefinitions(rig.home.path(QStringLiteral("DockSetup/DockSetup.db")), {{"127.0.0.2", "LIVE"}}));
    sim::SimServer sim;
    QVERIFY(startSim(sim, 1, false));
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress::AnyIPv4, 6461, QUdpSocket::DontShareAddress));
    {
        TfrmMain main(loadingOptions());
        main.setEnabled(false);
        main.DBConnected = true;
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(60000)));
        QVERIFY(rig.prompter.statusTexts().contains(QStringLiteral("(panel 1) Dock Detection Failed, Check Network Cable...")));
        QCOMPARE(main.DocksReady, 1);
        QCOMPARE(rig.prompter.texts(), QStringList());
    }
}

// Two USB docks and three LIVE network docks: the USB docks come first, in the order of the
// main window's device list, each frame naming its own device; the network docks follow in the
// order of the definitions (by serial), their frames without a USB device.
void TstDockLoading::usbDocksFirst()
{
    LoadingRig rig;
    // Definition serials 10001..10003 in row order: the network docks in serial order are
    // 127.0.0.4, 127.0.0.2, 127.0.0.3.
    QVERIFY(writeDefinitions(rig.home.path(QStringLiteral("DockSetup/DockSetup.db")),
                             {{"127.0.0.4", "LIVE"}, {"127.0.0.2", "LIVE"}, {"127.0.0.3", "LIVE"}}));
    sim::SimServer sim;
    QString error;
    const QJsonArray docks{QJsonObject{{"serial", 20001}, {"transport", "usb"}},
                           QJsonObject{{"serial", 20002}, {"transport", "usb"}},
                           QJsonObject{{"serial", 10001}, {"address", "127.0.0.4"}},
                           QJsonObject{{"serial", 10002}, {"address", "127.0.0.2"}},
                           QJsonObject{{"serial", 10003}, {"address", "127.0.0.3"}}};
    QVERIFY2(sim.loadScenario(QJsonObject{{"docks", docks}, {"discovery", QJsonObject{{"enabled", false}}}}, &error),
             qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));

    TfrmMain::Options options = loadingOptions();
    QStringList pinged;
    options.ping = [&pinged](QString address, int) -> QCoro::Task<quint8> {
        pinged << address;
        co_return quint8(2);
    };
    {
        TfrmMain main(options);
        main.setEnabled(false);
        main.DBConnected = true;
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(120000)));

        QCOMPARE(main.USBDevice1->DeviceList(), (QStringList{"sim-usb:20001", "sim-usb:20002"}));
        QCOMPARE(main.LiveDockCount, 5);
        QCOMPARE(main.DockFrames.size(), 5);
        QCOMPARE(main.DocksReady, 5);
        QCOMPARE(main.DocksFailed, 0);
        QCOMPARE(main.StatusText(0), QStringLiteral("5 VX8 Dock(s) Ready on StartUp..."));
        QCOMPARE(rig.prompter.texts(), QStringList());
        // Only the network docks are pinged.
        QCOMPARE(pinged, (QStringList{"127.0.0.4", "127.0.0.2", "127.0.0.3"}));

        const quint32 serials[5] = {20001, 20002, 10001, 10002, 10003};
        const QStringList addresses{QString(), QString(), "127.0.0.4", "127.0.0.2", "127.0.0.3"};
        for (int i = 0; i < 5; ++i) {
            TfraDockInfo* frame = main.DockFrames[i];
            TfraDockStatus* status = main.DockStatusFrames[i];
            QVERIFY(frame && status);
            QVERIFY(frame->Core().gDockStartUpCompleted);
            QVERIFY(tabVisible(main, i));
            QVERIFY(status->isVisibleTo(&main));
            QCOMPARE(status->gbDockStatus->title(), QStringLiteral("Dock (%1)").arg(serials[i]));
            QVERIFY2(startUpDialogueSeen(commandsOf(sim, serials[i])), qPrintable(commandsOf(sim, serials[i]).join(u',')));
            if (i < 2) {
                QVERIFY(frame->USBDevice1);
                QCOMPARE(frame->VexaExpressDock1->USBDevice(), frame->USBDevice1);
                QCOMPARE(frame->USBDevice1->DeviceName(), QStringLiteral("sim-usb:%1").arg(serials[i]));
                // Enabled and running: the halt the device's opening left is cleared.
                QVERIFY(frame->USBDevice1->IsConnected());
                QVERIFY(!frame->USBDevice1->Halted());
                QVERIFY(!frame->Core().FViaEthernet);
                QCOMPARE(frame->stbPanel[1]->text(), QStringLiteral("USB"));
                // The device's data notifications reach the frame.
                QVERIFY(frame->Core().FDataSeen);
                QVERIFY2(frame->stbPanel[2]->text().startsWith(QStringLiteral("Data on USB CH ")),
                         qPrintable(frame->stbPanel[2]->text()));
                QCOMPARE(status->ledDockConnectiontStatus->hint(), QStringLiteral("Connection: Local USB"));
            } else {
                QVERIFY(!frame->USBDevice1);
                QVERIFY(!frame->VexaExpressDock1->USBDevice());
                QCOMPARE(frame->VexaExpressDock1->EthernetAddress(), addresses[i]);
                QVERIFY(frame->Core().FViaEthernet);
                QCOMPARE(frame->stbPanel[1]->text(), QStringLiteral("ETHERNET"));
                QCOMPARE(status->ledDockConnectiontStatus->hint(),
                         QStringLiteral("Connection: IP Address: ") + addresses[i]);
            }
        }
    }
}

void TstDockLoading::usbDockUnplugged_data()
{
    QTest::addColumn<bool>("flashUploading");
    QTest::newRow("running") << false;
    QTest::newRow("during a firmware upload") << true;
}

// The USB cable of a running dock is pulled: the user is told (unless the dock is taking new
// firmware, which makes it leave the bus by itself), its tab and summary frame go, the frame
// stays, idle, and its link is down. The other dock is not touched.
void TstDockLoading::usbDockUnplugged()
{
    QFETCH(bool, flashUploading);
    LoadingRig rig;
    QVERIFY(writeDefinitions(rig.home.path(QStringLiteral("DockSetup/DockSetup.db")), {}));
    sim::SimServer sim;
    QString error;
    const QJsonArray docks{QJsonObject{{"serial", 20001}, {"transport", "usb"}},
                           QJsonObject{{"serial", 20002}, {"transport", "usb"}}};
    QVERIFY2(sim.loadScenario(QJsonObject{{"docks", docks}, {"discovery", QJsonObject{{"enabled", false}}}}, &error),
             qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));

    {
        TfrmMain main(loadingOptions());
        main.setEnabled(false);
        main.DBConnected = true;
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(60000)));
        QCOMPARE(main.DocksReady, 2);
        QCOMPARE(rig.prompter.texts(), QStringList());

        QPointer<TfraDockInfo> frame = main.DockFrames[1];
        QVERIFY(frame->DockLinkEnabled());
        QVERIFY(frame->Core().FDataSeen);
        QVERIFY(tabVisible(main, 1));
        QVERIFY(main.DockStatusFrames[1]->isVisibleTo(&main));
        // As if an instrument were in progress.
        frame->FIdle = false;
        frame->FFlashUploading = flashUploading;

        sim.dock(1)->vanish();
        QVERIFY(QTest::qWaitFor([&]() { return !tabVisible(main, 1); }, scaled(10000)));
        QTest::qWait(50); // nothing more follows

        QStringList expected;
        if (!flashUploading) {
            expected << QStringLiteral("USB Cable has been disconnected from Dock 20002. This Dock will be removed.");
        }
        QCOMPARE(rig.prompter.texts(), expected);
        QVERIFY(!main.DockStatusFrames[1]->isVisibleTo(&main));
        QVERIFY(frame);
        QCOMPARE(main.DockFrames[1], frame.data());
        QVERIFY(frame->FIdle);
        QVERIFY(!frame->Core().FDataSeen);
        // The link's own handling ran too: it is down.
        QVERIFY(!frame->DockLinkEnabled());
        QVERIFY(!frame->USBDevice1->IsConnected());
        // The other dock goes on.
        QVERIFY(tabVisible(main, 0));
        QVERIFY(main.DockStatusFrames[0]->isVisibleTo(&main));
        QVERIFY(main.DockFrames[0]->DockLinkEnabled());
    }
}

// A USB dock that never answers: it opens (a USB dock has no ping), but its start-up finds it
// busy for the whole window; it is counted failed and its tab hidden, and it is not shown as an
// off-line dock (that is for network docks only).
void TstDockLoading::silentUsbDock()
{
    LoadingRig rig;
    QVERIFY(writeDefinitions(rig.home.path(QStringLiteral("DockSetup/DockSetup.db")), {}));
    sim::SimServer sim;
    QString error;
    const QJsonObject silent{{"command", "GST"}, {"kind", "noReply"}, {"occurrence", 0}};
    const QJsonArray docks{QJsonObject{{"serial", 20001}, {"transport", "usb"}, {"faults", QJsonArray{silent}}},
                           QJsonObject{{"serial", 20002}, {"transport", "usb"}}};
    QVERIFY2(sim.loadScenario(QJsonObject{{"docks", docks}, {"discovery", QJsonObject{{"enabled", false}}}}, &error),
             qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));

    TfrmMain::Options options = loadingOptions();
    // Shorter waits for the busy dock than the 30 s of the program.
    options.dockFrameFactory = [](QWidget* parent) {
        auto* frame = new TfraDockInfo(parent);
        frame->Core().FreeDockWindow = std::chrono::milliseconds(1500);
        frame->VexaExpressDock1->SetCommandTimeOut(300);
        return frame;
    };
    {
        TfrmMain main(options);
        main.setEnabled(false);
        main.DBConnected = true;
        main.LoadAllDocks();
        QVERIFY(QTest::qWaitFor([&]() { return main.DocksLoaded; }, scaled(60000)));

        QCOMPARE(main.DocksReady, 1);
        QCOMPARE(main.DocksFailed, 1);
        QCOMPARE(rig.prompter.texts(), QStringList{TfrmMain::PartialFailureText(1)});
        TfraDockInfo* frame = main.DockFrames[0];
        TfraDockStatus* status = main.DockStatusFrames[0];
        QVERIFY(commandsOf(sim, 20001).contains(QStringLiteral("GST")));
        QVERIFY(!commandsOf(sim, 20001).contains(QStringLiteral("REE")));
        QVERIFY(!tabVisible(main, 0));
        QVERIFY(!main.DockTabs[0]->isEnabled());
        QVERIFY(!status->isVisibleTo(&main));
        QVERIFY(!frame->isVisibleTo(frame->parentWidget()));
        const QString offLine = QStringLiteral("Dock(OffLine)");
        QVERIFY(main.pgVexaExpressDocks->tabText(main.pgVexaExpressDocks->indexOf(main.DockTabs[0])) != offLine);
        QVERIFY(status->gbDockStatus->title() != offLine);
        QVERIFY(frame->pgeDockInfo->tabText(0) != offLine);
        QCOMPARE(status->ledDockConnectiontStatus->hint(), QStringLiteral("Connection: Local USB"));
        QVERIFY(!status->ledDockConnectiontStatus->isBlinking());
        QVERIFY(frame->FIdle);
        QVERIFY(frame->FShutDownDone);
        // The other USB dock started.
        QVERIFY(tabVisible(main, 1));
        QVERIFY(main.DockFrames[1]->Core().gDockStartUpCompleted);
    }
}

QTEST_MAIN(TstDockLoading)
#include "tst_dockloading.moc"
