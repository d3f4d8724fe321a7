// The start-up dialogue of a dock frame against the simulator over loopback TCP.
#include "RecordingView.h"

#include "TestSupport.h"
#include "common/Prompter.h"
#include "dockframe/DockController.h"
#include "dockframe/DockLinkAdapter.h"
#include "docklink/CalderwickVX8Dock.h"
#include "sim/SimServer.h"

#include <QCoro/QCoroTask>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

#include <memory>

using namespace vx8;
using vx8::test::scaled;

namespace {

// One frame's logic with its link to one simulated dock.
struct Rig
{
    sim::SimServer sim;
    UnattendedPrompter prompter;
    RecordingView view;
    std::unique_ptr<TCalderwickVX8Dock> link;
    std::unique_ptr<DockLinkAdapter> port;
    std::unique_ptr<TDockController> frame;
    DockFrameSettings settings;
    DockDescriptionInfo definition;
    QString firstAddress;

    bool start(QJsonObject dockSpec, QString* error)
    {
        prompter.setEcho(false);
        static int next = 0;
        // A fresh loopback address per rig, free ports: tests never meet each other's docks.
        firstAddress = QStringLiteral("127.0.%1.%2").arg(100 + (QCoreApplication::applicationPid() % 50)).arg(10 + next++);
        if (!dockSpec.contains(QStringLiteral("serial"))) {
            dockSpec[QStringLiteral("serial")] = 10001;
        }
        QJsonObject scenario{{QStringLiteral("controlPort"), 0},
                             {QStringLiteral("dataPort"), 0},
                             {QStringLiteral("firstAddress"), firstAddress},
                             {QStringLiteral("discovery"), QJsonObject{{QStringLiteral("enabled"), false}}},
                             {QStringLiteral("docks"), QJsonArray{dockSpec}}};
        if (!sim.loadScenario(scenario, error) || !sim.start(error)) {
            return false;
        }
        link = std::make_unique<TCalderwickVX8Dock>(nullptr, &prompter);
        link->SetEthernetAddress(sim.dock(0)->address().toString());
        link->SetPorts(sim.dock(0)->controlPort(), sim.dock(0)->dataPort());
        port = std::make_unique<DockLinkAdapter>(link.get());
        frame = std::make_unique<TDockController>(&view, &prompter);
        frame->SetLink(port.get());
        settings.DockTimeout = 1;
        frame->Settings = [this]() { return settings; };
        frame->GetDockDescriptionBySerial = [this](const QString&) { return definition; };
        frame->GetDockDescriptionByAddress = [this](const QString&) { return definition; };
        frame->FreeDockWindow = std::chrono::milliseconds(1500);
        frame->RetryPause = std::chrono::milliseconds(200);
        return true;
    }

    bool startUp()
    {
        bool done = false, result = false;
        auto runner = [](Rig* r, bool* done, bool* result) -> QCoro::Task<void> {
            const bool enabled = co_await r->frame->DockEnable();
            if (enabled) {
                *result = co_await r->frame->DockStartUp(true, QString(), 0);
            }
            *done = true;
        };
        auto t = runner(this, &done, &result);
        if (!QTest::qWaitFor([&]() { return done; }, scaled(30000))) {
            qWarning("start-up did not end");
            return false;
        }
        return result;
    }

    // The mnemonics the application sent on the control channel, in order.
    QStringList commands() const
    {
        QStringList out;
        for (const auto& e : const_cast<sim::SimServer&>(sim).transcript().entriesFor(sim.dock(0)->serial(),
                                                                                       QStringLiteral("control"),
                                                                                       QStringLiteral("in"))) {
            out << QString::fromLatin1(e.bytes.left(3));
        }
        return out;
    }
    QByteArray lastCommand(const QString& mnemonic) const
    {
        QByteArray found;
        for (const auto& e : const_cast<sim::SimServer&>(sim).transcript().entriesFor(sim.dock(0)->serial(),
                                                                                       QStringLiteral("control"),
                                                                                       QStringLiteral("in"))) {
            if (e.bytes.startsWith(mnemonic.toLatin1())) {
                found = e.bytes;
            }
        }
        return found;
    }
};

} // namespace

class TstDockStartUp : public QObject
{
    Q_OBJECT
private slots:
    void startsInOrderWithThePcClock();
    void failures_data();
    void failures();
    void aliasOfThirtyCharacters();
    void stateChangesBeforeAndAfterStartUp();
};

void TstDockStartUp::startsInOrderWithThePcClock()
{
    Rig rig;
    QString error;
    QVERIFY2(rig.start(QJsonObject{{QStringLiteral("serial"), 10001}}, &error), qPrintable(error));
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(rig.startUp());
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(rig.frame->gDockStartUpCompleted);
    QCOMPARE(rig.frame->FRestartState, quint8(0));
    QCOMPARE(rig.frame->FDockSerialText, QStringLiteral("10001"));
    QCOMPARE(rig.frame->FDockFirmware, QStringLiteral("7.56"));
    QVERIFY(rig.prompter.records().isEmpty());

    // The dialogue's order: dock status, configuration, clock, slave mode.
    const QStringList cmds = rig.commands();
    const int gst = cmds.indexOf(QStringLiteral("GST"));
    const int ree = cmds.indexOf(QStringLiteral("REE"));
    const int stc = cmds.indexOf(QStringLiteral("STC"));
    const int slv = cmds.indexOf(QStringLiteral("SLV"));
    QVERIFY2(gst >= 0 && gst < ree && ree < stc && stc < slv, qPrintable(cmds.join(u',')));
    QVERIFY(rig.sim.dock(0)->isSlave());

    // STC carries the PC's clock: second, minute, hour, day, month, unused, year of the century.
    const QByteArray stcBytes = rig.lastCommand(QStringLiteral("STC"));
    QCOMPARE(stcBytes.size(), 10);
    const auto b = [&](int i) { return int(quint8(stcBytes.at(3 + i))); };
    const QDateTime sent(QDate(2000 + b(6), b(4), b(3)), QTime(b(2), b(1), b(0)));
    QVERIFY2(sent >= before.addSecs(-1) && sent <= after.addSecs(1), qPrintable(sent.toString(Qt::ISODate)));

    QVERIFY(rig.view.mainStatus[1].contains(QStringLiteral("Received Configuration  for Dock 10001")));
    QVERIFY(rig.view.mainStatus[1].contains(QStringLiteral("Dock is Slaved...")));
    QCOMPARE(rig.view.tabCaption, QStringLiteral("Dock (10001)"));
    QCOMPARE(rig.view.shownPage, 0);
    QCOMPARE(rig.view.frameStatus[1].last(), QStringLiteral("ETHERNET"));
    QCOMPARE(rig.view.busyCursor, 0);
    // The start-up download flag is cleared by the firmware check tick that follows.
    QTRY_VERIFY_WITH_TIMEOUT(!rig.frame->StartUpDownloading(), scaled(5000));
}

void TstDockStartUp::failures_data()
{
    QTest::addColumn<QJsonObject>("dock");
    QTest::addColumn<int>("softwareType");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("completed");
    QTest::addColumn<QString>("message"); // empty: no message at all
    QTest::addColumn<bool>("clockSent");

    const QString tooNew = QStringLiteral(
        "The firmware in dock 10001 is incompatible with the Quorra Vexa Express PC software (Protocol Version "
        "mismatch [Dock: 2 PC: 1]).  Please visit www.calderwick.com/downloads for an PC software upgrade or "
        "contact Stravik.");
    QTest::newRow("protocol too new") << QJsonObject{{"protocolVersion", 2}, {"firmwareVersion", 729}} << 10 << false
                                      << false << tooNew << false;
    QTest::newRow("protocol too new, SHOP goes on")
        << QJsonObject{{"protocolVersion", 2}, {"firmwareVersion", 729}} << 100 << true << true << tooNew << true;
    QTest::newRow("protocol 2 with firmware 728")
        << QJsonObject{{"protocolVersion", 2}, {"firmwareVersion", 728}} << 10 << true << true << QString() << true;
    QTest::newRow("never answers REE")
        << QJsonObject{{"faults", QJsonArray{QJsonObject{{"command", "REE"}, {"kind", "noReply"}, {"occurrence", 0}}}}}
        << 10 << false << true
        << QStringLiteral("Connection Error: The dock with address %ADDR% could not be enabled! Check the dock status "
                          "and try again.")
        << false;
    QTest::newRow("busy for the whole window")
        << QJsonObject{{"faults", QJsonArray{QJsonObject{{"command", "GST"}, {"kind", "nak"}, {"occurrence", 0}}}}}
        << 10 << false << false << QString() << false;
    QTest::newRow("refuses slave mode")
        << QJsonObject{{"faults", QJsonArray{QJsonObject{{"command", "SLV"}, {"kind", "nak"}, {"occurrence", 0}}}}}
        << 10 << false << false << QString() << true;
}

void TstDockStartUp::failures()
{
    QFETCH(QJsonObject, dock);
    QFETCH(int, softwareType);
    QFETCH(bool, result);
    QFETCH(bool, completed);
    QFETCH(QString, message);
    QFETCH(bool, clockSent);
    Rig rig;
    QString error;
    QVERIFY2(rig.start(dock, &error), qPrintable(error));
    rig.settings.SoftwareType = softwareType;
    QCOMPARE(rig.startUp(), result);
    QCOMPARE(rig.frame->gDockStartUpCompleted, completed);
    message.replace(QStringLiteral("%ADDR%"), rig.sim.dock(0)->address().toString());
    if (message.isEmpty()) {
        QCOMPARE(rig.prompter.texts(), QStringList());
    } else {
        QCOMPARE(rig.prompter.texts(), QStringList{message});
    }
    QCOMPARE(rig.commands().contains(QStringLiteral("STC")), clockSent);
    QCOMPARE(rig.view.busyCursor, 0);
}

void TstDockStartUp::aliasOfThirtyCharacters()
{
    Rig rig;
    QString error;
    QVERIFY2(rig.start(QJsonObject{{QStringLiteral("serial"), 12345}}, &error), qPrintable(error));
    const QString alias = QStringLiteral("North Bay Calibration Room 12");
    QCOMPARE(alias.size() + 1, 30);
    rig.definition = DockDescriptionInfo{true, alias + QLatin1Char('X'), QString(), true};
    QVERIFY(rig.startUp());
    // The dock keeps the first 24 characters, the summary frame shows 30.
    const QByteArray wee = rig.lastCommand(QStringLiteral("WEE"));
    QVERIFY(!wee.isEmpty());
    QCOMPARE(rig.frame->FDockDescription, alias + QLatin1Char('X'));
    QCOMPARE(rig.view.statusCaption, alias + QStringLiteral("X (12345)"));
    QCOMPARE(rig.view.tabCaption, alias + QStringLiteral("X (12345)"));
    QVERIFY(rig.sim.dock(0)->configuration().contains((alias + QLatin1Char('X')).left(24).toLatin1()));
    QVERIFY(!rig.sim.dock(0)->configuration().contains((alias + QLatin1Char('X')).left(25).toLatin1()));
}

void TstDockStartUp::stateChangesBeforeAndAfterStartUp()
{
    Rig rig;
    QString error;
    QVERIFY2(rig.start(QJsonObject{}, &error), qPrintable(error));
    // Before the start-up completed: nothing is logged.
    rig.frame->FFrameActive = true;
    rig.frame->VexaExpressDock1xStateChange(0);
    QVERIFY(rig.view.log.isEmpty());
    QVERIFY(rig.startUp());
    // A state above 34 with an empty log: no line, panel 0 rewritten from the (empty) last line.
    rig.frame->VexaExpressDock1xStateChange(40);
    QVERIFY(rig.view.log.isEmpty());
    QCOMPARE(rig.view.frameStatus[0].last(), QStringLiteral("Last Action: "));
    rig.frame->VexaExpressDock1xStateChange(0);
    QCOMPARE(rig.view.log, QStringList{QStringLiteral("Sending ENQ")});
    QCOMPARE(rig.view.frameStatus[0].last(), QStringLiteral("Last Action: Sending ENQ"));
    QVERIFY(rig.view.ledOps.contains(QStringLiteral("%1 blink 1").arg(int(FrameLed::MLProcessing))));
    rig.frame->VexaExpressDock1xStateChange(24);
    QVERIFY(rig.view.log.last().startsWith(QStringLiteral("Disconnected at ")));
    QVERIFY(rig.frame->FIdle); // no database job given: the frame is idle again
}

QTEST_MAIN(TstDockStartUp)
#include "tst_dockstartup.moc"
