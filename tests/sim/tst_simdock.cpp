// The simulated dock seen from plain sockets: configuration, test cycle and records, faults,
// loopback-only serving, many docks, discovery, the in-process USB face, kernel and flash.
#include "SimBytes.h"
#include "SimClient.h"
#include "SimRecords.h"
#include "SimServer.h"
#include "SimUsbDevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace vx8::sim;
using vx8::test::scaled;

namespace {
QJsonObject scenarioWith(const QJsonArray& docks, double timeFactor = 0.01)
{
    return QJsonObject{{"controlPort", 0},
                       {"dataPort", 0},
                       {"timeFactor", timeFactor},
                       {"discovery", QJsonObject{{"enabled", false}}},
                       {"docks", docks}};
}
QJsonObject instrumentSpec()
{
    return QJsonObject{
        {"serial", 456789},
        {"pin", 1234},
        {"firmwareVersion", 112},
        {"battery", 39},
        {"sensors",
         QJsonArray{
             QJsonObject{{"slot", 0}, {"type", 11}, {"serial", 7001}, {"lowAlarm", 195}, {"highAlarm", 235}},
             QJsonObject{{"slot", 3},
                         {"type", 81},
                         {"serial", 7003},
                         {"warningAlarm", 35},
                         {"highAlarm", 200},
                         {"calGas", 100}}}},
        {"debugMessages", QJsonArray{"Dock test v7"}},
        {"testRecord", QJsonObject{{"AudioDbMin", 71},
                                   {"Sensors", QJsonArray{QJsonObject{{"Slot", 3}, {"BumpTime", 9}}}}}}};
}
quint32 be16(const QByteArray& b, int o)
{
    return getBE16(b, o);
}
quint32 be32(const QByteArray& b, int o)
{
    return getBE32(b, o);
}
} // namespace

class TestSimDock : public QObject
{
    Q_OBJECT
private slots:
    void configurationRead();
    void configurationRoundTrip();
    void commandSplitAcrossWrites();
    void unknownCommandRefused();
    void serviceCommands();
    void testCycleAndRecord();
    void storedRecordsDumpAndClear();
    void removalDuringTest();
    void standaloneTest();
    void testOutcomes_data();
    void testOutcomes();
    void searchAfterRelease();
    void newestSessionWins();
    void faults_data();
    void faults();
    void faultAtTestStep();
    void vanishAndReappear();
    void nonLoopbackRefused_data();
    void nonLoopbackRefused();
    void badScenarioRefused_data();
    void badScenarioRefused();
    void sixtyFourDocks();
    void discovery();
    void usbDevice();
    void kernelAndFlash_data();
    void kernelAndFlash();
    void transcriptFile();
    void programHelp();
    void programServesUntilStopped();
    void demoScenarioLoads();
};

void TestSimDock::configurationRead()
{
    SimServer sim;
    QString err;
    QVERIFY2(sim.loadScenario(
                 scenarioWith({QJsonObject{
                     {"serial", 4321},
                     {"firmwareVersion", 801},
                     {"configuration", QJsonObject{{"AccessPIN", 1234}, {"DockDescription", "Bay 1"}}}}}),
                 &err),
             qPrintable(err));
    QVERIFY2(sim.start(&err), qPrintable(err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    const QByteArray r = c.command("REE", 507);
    QCOMPARE(r.size(), 507);
    // "ACK" and the whole image leave the dock in one write.
    const auto out = sim.transcript().entriesFor(4321, "control", "out");
    QCOMPARE(out.size(), 1);
    QCOMPARE(out[0].bytes, r);
    QVERIFY(r.startsWith("ACK"));
    const QByteArray img = r.mid(3);
    QCOMPARE(be32(img, 0), 4321u);
    QCOMPARE(be16(img, 8), 801u);
    QCOMPARE(be16(img, 10), 0u); // no stored records
    QCOMPARE(be16(img, 50), 1234u);
    QCOMPARE(img.mid(293, 5), QByteArray("Bay 1"));
    QCOMPARE(int(img[424]), 1);
    QCOMPARE(img.mid(438), QByteArray(66, 'h'));
    QCOMPARE(QHostAddress(be32(img, 36)), sim.dock(0)->address());
}

void TestSimDock::configurationRoundTrip()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{}}), &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    QByteArray img = c.command("REE", 507).mid(3);
    QCOMPARE(img.size(), 504);
    putText(img, 293, 24, QStringLiteral("Renamed dock"));
    putBE16(img, 50, 4242);
    putBE32(img, 4, 0xA5A50F0F);
    putBE16(img, 52 + 17, 0xBEEF); // unused inlet bytes must come back as written
    for (int i = 318; i < 422; ++i) {
        img[i] = char('e' + (i % 3));
    }
    QCOMPARE(c.command("WEE" + img, 3), QByteArray("ACK"));
    const QByteArray back = c.command("REE", 507).mid(3);
    QCOMPARE(back, img);
    QCOMPARE(sim.dock(0)->configuration(), img);
}

void TestSimDock::commandSplitAcrossWrites()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{}}), &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    QByteArray img = c.command("REE", 507).mid(3);
    img[300] = 'Z';
    const QByteArray cmd = "WEE" + img;
    c.ctl.write(cmd.left(100));
    c.ctl.flush();
    QTest::qWait(50);
    QCOMPARE(c.command(cmd.mid(100), 3).left(3), QByteArray("ACK"));
    QCOMPARE(sim.dock(0)->configuration().at(300), 'Z');
    // Two commands in one write are both answered.
    QCOMPARE(c.command("ENQGST", 7), QByteArray("ACKACKI"));
}

void TestSimDock::unknownCommandRefused()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{}}), &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    QCOMPARE(c.command("XYZ", 3), QByteArray("NAK"));
    QCOMPARE(c.command("ENQ", 3), QByteArray("ACK"));
}

void TestSimDock::serviceCommands()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(
        scenarioWith(
            {QJsonObject{{"serial", 99},
                         {"adc", QJsonArray{201, 768, 302, 503}},
                         {"peaks", QJsonArray{250, 771, 312, 524}},
                         {"flashDateText", "2024-06-30 12:00:00"},
                         {"configuration", QJsonObject{{"SettingFlags", QJsonArray{"Enable_Emailing"}}}}}}),
        &err));
    QVERIFY(sim.start(&err));
    SimDock* dock = sim.dock(0);
    SimClient c;
    QVERIFY(c.open(dock));
    QByteArray r = c.command("ADC", 11);
    QCOMPARE(r, QByteArray("ACK") + QByteArray::fromHex("00c90300012e01f7"));
    r = c.command("PEK      PEK Command", 11);
    QCOMPARE(r, QByteArray("ACK") + QByteArray::fromHex("00fa0303013802"
                                                        "0c"));
    QCOMPARE(c.command("RAP      RAP Command", 3), QByteArray("ACK"));
    QCOMPARE(c.command("PEK      PEK Command", 11), QByteArray("ACK") + QByteArray(8, '\0'));
    QCOMPARE(c.command("LCD1Hello dock      ", 3), QByteArray("ACK")); // 16 characters
    QCOMPARE(c.command("RLC1", 19), QByteArray("ACKHello dock      "));
    QCOMPARE(dock->lcdLine(1), QStringLiteral("Hello dock      "));
    QCOMPARE(c.command("RLC0", 19), QByteArray("ACK") + QByteArray(16, ' '));
    QCOMPARE(c.command(QByteArray("PSS") + char(60) + char(3), 3), QByteArray("ACK"));
    QCOMPARE(dock->pumpSpeed(), 60);
    QCOMPARE(dock->pumpChannel(), 3);
    // Clock: set 2009-03-05 14:07:09, read it back.
    QCOMPARE(c.command(QByteArray("STC") + QByteArray::fromHex("09070e0503"
                                                               "0009"),
                       3),
             QByteArray("ACK"));
    r = c.command("RTC", 10);
    QCOMPARE(r.left(3), QByteArray("ACK"));
    QCOMPARE(r.mid(4, 6), QByteArray::fromHex("070e0503"
                                              "0009"));
    QVERIFY(quint8(r[3]) >= 9 && quint8(r[3]) < 15);
    QCOMPARE(c.command(QByteArray("STC") + QByteArray::fromHex("00000020"
                                                               "0d0009"),
                       3),
             QByteArray("NAK")); // day 32, month 13
    QCOMPARE(c.command("GFD", 22), QByteArray("ACK2024-06-30 12:00:00"));
    QCOMPARE(c.command("MST", 4), QByteArray("ACKI"));
    QVERIFY(!dock->isSlave());
    QCOMPARE(c.command("SLV", 4), QByteArray("ACKI"));
    QVERIFY(dock->isSlave());
    const int from = int(c.ctlAll().size());
    QCOMPARE(c.command("TEM", 3), QByteArray("ACK"));
    QVERIFY(c.waitControl("EVTD1", from)); // e-mailing is on: delivered
}

void TestSimDock::testCycleAndRecord()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{{"serial", 555}, {"instrument", instrumentSpec()}}}),
                             &err));
    QVERIFY(sim.start(&err));
    SimDock* dock = sim.dock(0);
    SimClient c;
    QVERIFY(c.open(dock));
    // The instrument is announced once the dock is slaved.
    QCOMPARE(c.command("SLV", 4), QByteArray("ACKI"));
    QVERIFY(c.waitControl("EVT1"));
    const QByteArray announce = c.ctlAll();
    QVERIFY(announce.indexOf("EVTA0") < announce.indexOf("EVT4"));
    QVERIFY(announce.indexOf("EVT4") < announce.indexOf("EVT1"));
    QVERIFY(dock->instrumentConnected());

    const int from = int(c.ctlAll().size());
    c.ctl.write(QByteArray("TST", 3) + char(0));
    QVERIFY(c.waitControl("ACK", from));
    QVERIFY(QTest::qWaitFor([&] { return dock->testRunning(); }, scaled(5000)));
    QCOMPARE(c.reply("GST", 4), QByteArray("ACKB"));
    QVERIFY(c.waitControl(QByteArray("EVT3") + char(0), from));
    const QByteArray events = c.ctlAll().mid(from);
    QVERIFY(events.contains(QByteArray("EVT7") + char(15))); // Cmd_Bumping
    QVERIFY(events.contains(QByteArray("EVT7") + char(6)));  // Cmd_Stb
    const int gas = int(events.indexOf("EVT9"));
    QVERIFY(gas >= 0);
    // Fresh-air reading: slot 0 (O2, element 6) reads 20.9 %.
    QCOMPARE(qint16(be16(events, gas + 4 + 2 * 6)), qint16(209));
    QVERIFY(events.contains("EVTED0F3C")); // battery 3.9 V as 0x0F3C hundredths
    QVERIFY(events.contains(QByteArray("EVT8") + char(12) + "Dock test v7"));

    const QByteArray gtr = c.command("GTR", 279);
    QCOMPARE(gtr.size(), 279);
    QVERIFY(gtr.startsWith("ACK"));
    const QByteArray rec = gtr.mid(3);
    QCOMPARE(rec, dock->lastTestRecord());
    QCOMPARE(be32(rec, 0), 456789u);
    QCOMPARE(be16(rec, 12), 112u);
    QCOMPARE(int(quint8(rec[14])), 39);
    QCOMPARE(int(quint8(rec[16])), 71); // scenario override
    QVERIFY(be16(rec, 18) & 0x8000);    // overall pass
    QVERIFY(be16(rec, 18) & 0x0400);    // bump only
    const int slot0 = 20 + 36 * 6, slot3 = 20 + 36 * 3;
    QCOMPARE(be32(rec, slot0), 7001u);
    QCOMPARE(int(quint8(rec[slot0 + 26])), 11);
    QCOMPARE(be16(rec, slot0 + 14), 195u);
    QCOMPARE(be32(rec, slot3), 7003u);
    QCOMPARE(int(quint8(rec[slot3 + 26])), 81);
    QCOMPARE(int(quint8(rec[slot3 + 24])), 9); // scenario override
    QCOMPARE(be16(rec, slot3 + 18), 100u);
    QVERIFY(be16(rec, slot3 + 34) & 0x8000);         // bump passed
    QCOMPARE(int(quint8(rec[20 + 36 * 5 + 26])), 0); // slot 1 empty
    // The test left its mark in the instrument.
    QCOMPARE(getLE32(dock->instrument()->image(), 40), be32(rec, 4));

    // Finishing releases the instrument: Cmd_Disc, then disconnected.
    const int end = int(c.ctlAll().size());
    c.ctl.write(QByteArray("TST", 3) + char(1));
    QVERIFY(c.waitControl("EVT2", end));
    const QByteArray tail = c.ctlAll().mid(end);
    QVERIFY(tail.indexOf(QByteArray("EVT7") + char(24)) < tail.indexOf("EVT2"));
    QVERIFY(!dock->instrumentConnected());
    // The record was stored.
    QCOMPARE(be16(c.command("REE", 507).mid(3), 10), 1u);
}

void TestSimDock::storedRecordsDumpAndClear()
{
    QJsonArray stored;
    for (int i = 0; i < 3; ++i) {
        stored.append(QJsonObject{
            {"InstrumentSerial", 1000 + i},
            {"TestTime", 86400 * (i + 1)},
            {"PassFailFlags", 0x8000},
            {"Sensors", QJsonArray{QJsonObject{{"Slot", 2}, {"SensorSerial", 99}, {"SensorType", 21}}}}});
    }
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{{"storedRecords", stored}}}), &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    QCOMPARE(be16(c.command("REE", 507).mid(3), 10), 3u);
    const int from = int(c.ctlAll().size());
    c.ctl.write("STD");
    QVERIFY(c.waitControl("ACK", from));
    // The acknowledgement came after every record had been sent.
    QVERIFY(QTest::qWaitFor([&] { return c.dataAll().size() >= 3 * 276; }, scaled(2000)));
    const QByteArray dump = c.dataAll();
    QCOMPARE(dump.size(), 3 * 276);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(be32(dump, 276 * i), quint32(1000 + i));
        QCOMPARE(be32(dump, 276 * i + 4), quint32(86400 * (i + 1)));
        QCOMPARE(be32(dump, 276 * i + 20 + 36 * 4), 99u);
    }
    QCOMPARE(c.command(QByteArray("CLT") + char(0) + char(2), 3), QByteArray("ACK"));
    const QByteArray cfg = c.command("REE", 507).mid(3);
    QCOMPARE(be16(cfg, 10), 1u);
    QCOMPARE(be32(cfg, 12), 2u);
    QCOMPARE(be32(sim.dock(0)->storedRecords().value(0), 0), 1002u);
    // Writing the configuration back with a record count of 0 initialises the memory.
    QByteArray init = cfg;
    putBE16(init, 10, 0);
    putBE32(init, 12, 0);
    QCOMPARE(c.command("WEE" + init, 3), QByteArray("ACK"));
    QVERIFY(sim.dock(0)->storedRecords().isEmpty());
}

void TestSimDock::removalDuringTest()
{
    QJsonObject in = instrumentSpec();
    in["testDuration"] = 100000;
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{{"slave", true}, {"instrument", in}}}), &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    // Docked at start while slaved: announced to whoever is connected then; re-announce on IRS.
    QVERIFY(QTest::qWaitFor([&] { return sim.dock(0)->instrumentConnected(); }, scaled(5000)));
    c.ctl.write(QByteArray("TST", 3) + char(0));
    QVERIFY(QTest::qWaitFor([&] { return sim.dock(0)->testRunning(); }, scaled(5000)));
    const int from = int(c.ctlAll().size());
    sim.dock(0)->removeInstrument();
    QVERIFY(c.waitControl("EVT5", from));
    const QByteArray tail = c.ctlAll().mid(from);
    QVERIFY(tail.contains(QByteArray("EVT3") + char(13))); // INST_NOT_INSERTED
    QVERIFY(tail.indexOf("EVT2") < tail.indexOf("EVT5"));
    QVERIFY(!sim.dock(0)->testRunning());
}

void TestSimDock::standaloneTest()
{
    // Without a PC (master mode) the dock tests a docked instrument itself and keeps the record.
    QJsonObject in = instrumentSpec();
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(
        scenarioWith({QJsonObject{
            {"standalone", true},
            {"timeline", QJsonArray{QJsonObject{{"at", 100}, {"action", "dock"}, {"instrument", in}}}}}}),
        &err));
    QVERIFY(sim.start(&err));
    QSignalSpy done(sim.dock(0), &SimDock::testCompleted);
    QVERIFY(done.wait(scaled(10000)));
    QCOMPARE(done.at(0).at(0).toInt(), 0);
    QCOMPARE(sim.dock(0)->storedRecords().size(), 1);
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    const QByteArray cfg = c.reply("REE", 507).mid(3); // the dock may still be ending its session
    QCOMPARE(be16(cfg, 10), 1u);
    const int from = int(c.ctlAll().size());
    c.ctl.write("STD");
    QVERIFY(c.waitControl("ACK", from));
    QVERIFY(QTest::qWaitFor([&] { return c.dataAll().size() >= 276; }, scaled(2000)));
    QCOMPARE(be32(c.dataAll(), 0), 456789u);
    // Slaving the dock now does not announce the instrument it already tested.
    QCOMPARE(c.reply("SLV", 4), QByteArray("ACKI"));
    QTest::qWait(50);
    QVERIFY(!c.ctlAll().contains("EVTA"));
}

void TestSimDock::testOutcomes_data()
{
    QTest::addColumn<QJsonObject>("dockSetup");
    QTest::addColumn<QJsonObject>("instrumentSetup");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("lastStep");    // last state event before the result
    QTest::addColumn<QByteArray>("span"); // payload of event "B", empty: no calibration
    QTest::addColumn<int>("passFail");
    QTest::addColumn<int>("slot0Status");
    QTest::addColumn<int>("slot3Status");
    const QJsonObject none;
    QTest::newRow("bump passed") << none << QJsonObject{} << 0 << 6 << QByteArray() << 0xFC00 << 0x9100
                                 << 0x9100;
    QTest::newRow("calibration asked for") << none << QJsonObject{{"mode", "cal"}} << 0 << 6
                                           << QByteArray::fromHex("0309") << 0xF800 << 0xB100 << 0xB100;
    QTest::newRow("span flag on slot 3") << none << QJsonObject{{"slot3Flags", 0x22}} << 0 << 6
                                         << QByteArray::fromHex("0008") << 0xF800 << 0xB100 << 0xB100;
    QTest::newRow("bump failed on slot 3") << none << QJsonObject{{"failedBump", QJsonArray{3}}} << 0 << 6
                                           << QByteArray::fromHex("0108") << 0xF800 << 0xB100 << 0x3100;
    QTest::newRow("no gas") << none << QJsonObject{{"result", 3}} << 3 << 12 << QByteArray() << 0x7C00
                            << 0x7000 << 0x7000;
    QTest::newRow("fresh air failed")
        << none << QJsonObject{{"result", 4}} << 4 << 10 << QByteArray() << 0x7400 << 0x0100 << 0x0100;
    QTest::newRow("low battery") << none << QJsonObject{{"result", 11}} << 11 << 3 << QByteArray() << 0x7C00
                                 << 0x1100 << 0x1100;
    QTest::newRow("PIN checked and wrong")
        << QJsonObject{{"configuration",
                        QJsonObject{{"AccessPIN", 1111}, {"SettingFlags", QJsonArray{"CheckPIN"}}}}}
        << QJsonObject{} << 14 << 17 << QByteArray() << 0x7C00 << 0x1100 << 0x1100;
    QTest::newRow("PIN checked and right")
        << QJsonObject{{"configuration",
                        QJsonObject{{"AccessPIN", 1234}, {"SettingFlags", QJsonArray{"CheckPIN"}}}}}
        << QJsonObject{} << 0 << 6 << QByteArray() << 0xFC00 << 0x9100 << 0x9100;
}

void TestSimDock::testOutcomes()
{
    QFETCH(QJsonObject, dockSetup);
    QFETCH(QJsonObject, instrumentSetup);
    QFETCH(int, result);
    QFETCH(int, lastStep);
    QFETCH(QByteArray, span);
    QFETCH(int, passFail);
    QFETCH(int, slot0Status);
    QFETCH(int, slot3Status);
    QJsonObject in = instrumentSpec();
    for (auto it = instrumentSetup.begin(); it != instrumentSetup.end(); ++it) {
        in[it.key()] = it.value();
    }
    if (in.contains("slot3Flags")) {
        QJsonArray sensors = in["sensors"].toArray();
        QJsonObject s3 = sensors[1].toObject();
        s3["flags"] = in["slot3Flags"];
        sensors[1] = s3;
        in["sensors"] = sensors;
    }
    dockSetup["instrument"] = in;
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({dockSetup}), &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    c.command("SLV", 4);
    QVERIFY(c.waitControl("EVT1"));
    const int from = int(c.ctlAll().size());
    c.ctl.write(QByteArray("TST", 3) + char(0));
    QVERIFY(c.waitControl("EVT3", from));
    QVERIFY(QTest::qWaitFor([&] { return c.ctlAll().indexOf("EVT3", from) + 5 <= c.ctlAll().size(); },
                            scaled(2000)));
    const QByteArray ev = c.ctlAll().mid(from);
    const int end = int(ev.indexOf("EVT3"));
    QCOMPARE(int(quint8(ev[end + 4])), result);
    QCOMPARE(int(quint8(ev[ev.lastIndexOf("EVT7", end) + 4])), lastStep);
    const int b = int(ev.indexOf("EVTB"));
    QCOMPARE(b >= 0 ? ev.mid(b + 4, 2) : QByteArray(), span);
    const QByteArray rec = c.command("GTR", 279).mid(3);
    QCOMPARE(rec.size(), 276);
    QCOMPARE(int(be16(rec, 18)), passFail);
    QCOMPARE(int(be16(rec, 20 + 36 * 6 + 34)), slot0Status);
    QCOMPARE(int(be16(rec, 20 + 36 * 3 + 34)), slot3Status);
    QCOMPARE(rec, sim.dock(0)->storedRecords().value(0));
}

void TestSimDock::searchAfterRelease()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{{"instrument", instrumentSpec()}}}), &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    c.command("SLV", 4);
    QVERIFY(c.waitControl("EVT1"));
    int from = int(c.ctlAll().size());
    c.ctl.write(QByteArray("DSC"));
    QVERIFY(c.waitControl("EVT2", from));
    QVERIFY(!sim.dock(0)->instrumentConnected());
    // The instrument is still in the dock: a search finds it again.
    from = int(c.ctlAll().size());
    c.ctl.write(QByteArray("IRS"));
    QVERIFY(c.waitControl("EVT1", from));
    QVERIFY(c.ctlAll().mid(from).contains("EVTA0"));
    QVERIFY(sim.dock(0)->instrumentConnected());
}

void TestSimDock::newestSessionWins()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{}}), &err));
    QVERIFY(sim.start(&err));
    SimClient first;
    QVERIFY(first.open(sim.dock(0)));
    QCOMPARE(first.command("ENQ", 3), QByteArray("ACK"));
    SimClient second;
    QVERIFY(second.open(sim.dock(0)));
    QVERIFY(first.waitControl("EVTC"));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return first.ctl.state() == QAbstractSocket::UnconnectedState &&
                   first.data.state() == QAbstractSocket::UnconnectedState;
        },
        scaled(5000)));
    QCOMPARE(second.command("ENQ", 3), QByteArray("ACK"));
    QVERIFY(!second.ctlAll().contains("EVTC"));
}

void TestSimDock::faults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QList<int>>("chunkSizes"); // chunks expected on the control channel
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("nak") << QJsonObject{{"command", "REE"}, {"kind", "nak"}} << QByteArray("REE")
                         << QList<int>{3} << QByteArray("NAK");
    QTest::newRow("cut short") << QJsonObject{{"command", "REE"}, {"kind", "cut"}, {"bytes", 200}}
                               << QByteArray("REE") << QList<int>{200} << QByteArray("ACK");
    QTest::newRow("split") << QJsonObject{{"command", "REE"}, {"kind", "split"}, {"at", 100}, {"ms", 50}}
                           << QByteArray("REE") << QList<int>{100, 407} << QByteArray("ACK");
    QTest::newRow("double") << QJsonObject{{"command", "GST"}, {"kind", "double"}} << QByteArray("GST")
                            << QList<int>{8} << QByteArray("ACKIACKI");
    QTest::newRow("delay") << QJsonObject{{"command", "RTC"}, {"kind", "delay"}, {"ms", 100}}
                           << QByteArray("RTC") << QList<int>{10} << QByteArray("ACK");
    QTest::newRow("event before the reply") << QJsonObject{{"command", "GST"},
                                                           {"kind", "prepend"},
                                                           {"hex", "45565437"
                                                                   "06"}}
                                            << QByteArray("GST") << QList<int>{9}
                                            << QByteArray("EVT7\x06"
                                                          "ACKI");
    QTest::newRow("one byte too many") << QJsonObject{{"command", "REE"}, {"kind", "append"}, {"hex", "00"}}
                                       << QByteArray("REE") << QList<int>{508} << QByteArray("ACK");
    QTest::newRow("replaced") << QJsonObject{{"command", "RTC"},
                                             {"kind", "replace"},
                                             {"hex", "41434b3c3c1920"
                                                     "0d0019"}}
                              << QByteArray("RTC") << QList<int>{10} << QByteArray("ACK<<");
    QTest::newRow("second occurrence") << QJsonObject{{"command", "ENQ"}, {"kind", "nak"}, {"occurrence", 2}}
                                       << QByteArray("ENQENQ") << QList<int>{3, 3} << QByteArray("ACK");
}

void TestSimDock::faults()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QByteArray, command);
    QFETCH(QList<int>, chunkSizes);
    QFETCH(QByteArray, start);
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{{"faults", QJsonArray{fault}}}}), &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    int total = 0;
    for (int n : chunkSizes) {
        total += n;
    }
    if (command == "ENQENQ") {
        QCOMPARE(c.command("ENQ", 3), QByteArray("ACK"));
        QCOMPARE(c.command("ENQ", 3), QByteArray("NAK"));
        QCOMPARE(c.command("ENQ", 3), QByteArray("ACK"));
        return;
    }
    const QByteArray got = c.command(command, total);
    QCOMPARE(got.size(), total);
    QVERIFY(got.startsWith(start));
    // How the reply left the dock: one entry per write in the dock's transcript.
    QList<int> sizes;
    QByteArray written;
    for (const auto& e : sim.transcript().entriesFor(sim.dock(0)->serial(), "control", "out")) {
        sizes.append(int(e.bytes.size()));
        written += e.bytes;
    }
    QCOMPARE(sizes, chunkSizes);
    QCOMPARE(written, got);
    // The fault is used up: the same command is answered normally afterwards.
    const QByteArray again = c.command(command, 4);
    QVERIFY(again.startsWith("ACK"));
}

void TestSimDock::faultAtTestStep()
{
    QJsonObject in = instrumentSpec();
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(
        scenarioWith(
            {QJsonObject{{"instrument", in},
                         {"faults", QJsonArray{QJsonObject{{"testStep", 15}, {"kind", "close"}},
                                               QJsonObject{{"command", "ENQ"}, {"kind", "noReply"}}}}}}),
        &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    // No reply at all: the next command is answered with its own reply only.
    c.ctl.write("ENQ");
    c.ctl.flush();
    QCOMPARE(c.command("GST", 4), QByteArray("ACKI"));
    QCOMPARE(c.command("SLV", 4), QByteArray("ACKI"));
    QVERIFY(c.waitControl("EVT1"));
    c.ctl.write(QByteArray("TST", 3) + char(0));
    QVERIFY(
        QTest::qWaitFor([&] { return c.ctl.state() == QAbstractSocket::UnconnectedState; }, scaled(10000)));
    QVERIFY(c.ctlAll().contains(QByteArray("EVT7") + char(14)));
    QVERIFY(!c.ctlAll().contains(QByteArray("EVT7") + char(15)));
}

void TestSimDock::vanishAndReappear()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(
        scenarioWith(
            {QJsonObject{{"faults", QJsonArray{QJsonObject{{"command", "GTR"}, {"kind", "vanish"}}}}}}),
        &err));
    QVERIFY(sim.start(&err));
    SimDock* dock = sim.dock(0);
    const quint16 port = dock->controlPort();
    SimClient c;
    QVERIFY(c.open(dock));
    c.ctl.write("GTR");
    QVERIFY(QTest::qWaitFor(
        [&] {
            return c.ctl.state() == QAbstractSocket::UnconnectedState &&
                   c.data.state() == QAbstractSocket::UnconnectedState;
        },
        scaled(5000)));
    QVERIFY(c.ctlAll().isEmpty());
    QVERIFY(dock->isVanished());
    QTcpSocket probe;
    probe.connectToHost(dock->address(), port);
    QVERIFY(!probe.waitForConnected(scaled(1000)));
    dock->reappear();
    QCOMPARE(dock->controlPort(), port);
    SimClient again;
    QVERIFY(again.open(dock));
    QCOMPARE(again.command("ENQ", 3), QByteArray("ACK"));
}

void TestSimDock::nonLoopbackRefused_data()
{
    QTest::addColumn<QJsonObject>("scenario");
    QTest::newRow("invalid first address") << QJsonObject{{"firstAddress", "192.168.1.20"}};
    QTest::newRow("invalid dock address")
        << QJsonObject{{"docks", QJsonArray{QJsonObject{{"address", "10.0.0.5"}}}}};
    QTest::newRow("invalid any address")
        << QJsonObject{{"docks", QJsonArray{QJsonObject{{"address", "0.0.0.0"}}}}};
    QTest::newRow("invalid discovery address")
        << QJsonObject{{"discovery", QJsonObject{{"address", "0.0.0.0"}}}};
    QTest::newRow("invalid broadcast address")
        << QJsonObject{{"discovery", QJsonObject{{"address", "255.255.255.255"}}}};
    QTest::newRow("ipv6") << QJsonObject{{"docks", QJsonArray{QJsonObject{{"address", "::1"}}}}};
}

void TestSimDock::nonLoopbackRefused()
{
    QFETCH(QJsonObject, scenario);
    SimServer sim;
    QString err;
    QVERIFY(!sim.loadScenario(scenario, &err));
    QVERIFY2(err.contains(QLatin1String("loopback")), qPrintable(err));
    QCOMPARE(sim.dockCount(), 0);
}

void TestSimDock::badScenarioRefused_data()
{
    QTest::addColumn<QJsonObject>("dock");
    QTest::addColumn<QString>("message");
    QTest::newRow("fault kind") << QJsonObject{{"faults", QJsonArray{QJsonObject{{"command", "REE"}, {"kind", "nack"}}}}} << "unknown fault kind";
    QTest::newRow("fault without trigger") << QJsonObject{{"faults", QJsonArray{QJsonObject{{"kind", "nak"}}}}} << "needs a";
    QTest::newRow("step fault kind") << QJsonObject{{"faults", QJsonArray{QJsonObject{{"testStep", 3}, {"kind", "nak"}}}}} << "test step";
    QTest::newRow("fault channel") << QJsonObject{{"faults", QJsonArray{QJsonObject{{"command", "RUE"}, {"channel", "user"}, {"kind", "nak"}}}}} << "channel";
    QTest::newRow("timeline action") << QJsonObject{{"timeline", QJsonArray{QJsonObject{{"at", 5}, {"action", "insert"}}}}} << "timeline action";
    QTest::newRow("timeline fault") << QJsonObject{{"timeline", QJsonArray{QJsonObject{{"action", "fault"}, {"fault", QJsonObject{{"kind", "x"}}}}}}} << "fault kind";
    QTest::newRow("transport") << QJsonObject{{"transport", "serial"}} << "transport";
}

void TestSimDock::badScenarioRefused()
{
    QFETCH(QJsonObject, dock);
    QFETCH(QString, message);
    SimServer sim;
    QString err;
    QVERIFY(!sim.loadScenario(scenarioWith({QJsonObject{}, dock}), &err));
    QVERIFY2(err.contains(message) && err.contains("dock 2"), qPrintable(err));
    QCOMPARE(sim.dockCount(), 0);
    // Added at run time, a wrong fault is refused the same way.
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{}}), &err));
    QVERIFY(!sim.dock(0)->addFault(QJsonObject{{"command", "REE"}, {"kind", "nack"}}, &err));
    QVERIFY(err.contains("unknown fault kind"));
}

static quint16 freePort(const QHostAddress& a)
{
    QTcpServer s;
    return s.listen(a, 0) ? s.serverPort() : 0;
}

void TestSimDock::sixtyFourDocks()
{
    // 64 docks share the same two port numbers, each on its own loopback address.
    // The pair is free on the first address; another program may hold it on a later one, so a
    // few pairs are tried.
    SimServer sim;
    QString err;
    quint16 cp = 0, dp = 0;
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        cp = freePort(QHostAddress("127.0.0.2"));
        dp = freePort(QHostAddress("127.0.0.2"));
        QVERIFY(cp && dp);
        if (cp == dp) {
            continue;
        }
        QVERIFY2(sim.loadScenario(QJsonObject{{"controlPort", cp},
                                              {"dataPort", dp},
                                              {"dockCount", 64},
                                              {"serialBase", 30001},
                                              {"discovery", QJsonObject{{"enabled", false}}}},
                                  &err),
                 qPrintable(err));
        started = sim.start(&err);
    }
    QVERIFY2(started, qPrintable(err));
    QCOMPARE(sim.dockCount(), 64);
    QCOMPARE(sim.dock(63)->address(), QHostAddress("127.0.0.65"));
    std::vector<std::unique_ptr<SimClient>> clients;
    for (int i = 0; i < 64; ++i) {
        clients.push_back(std::make_unique<SimClient>());
        QCOMPARE(sim.dock(i)->controlPort(), cp);
        QVERIFY(clients.back()->open(sim.dock(i)));
        clients.back()->ctl.write("REE");
    }
    for (int i = 0; i < 64; ++i) {
        SimClient& c = *clients[size_t(i)];
        QVERIFY(QTest::qWaitFor([&] { return c.ctlAll().size() >= 507; }, scaled(10000)));
        QCOMPARE(be32(c.ctlAll().mid(3), 0), quint32(30001 + i));
    }
    // Served and idle: no dock keeps a timer running.
    for (int i = 0; i < 64; ++i) {
        QCOMPARE(sim.dock(i)->activeTimers(), 0);
    }
}

void TestSimDock::discovery()
{
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress("127.0.0.1"), 0));
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(
        QJsonObject{{"controlPort", 0},
                    {"dataPort", 0},
                    {"dockCount", 2},
                    {"serialBase", 1234},
                    {"discovery", QJsonObject{{"port", 0}, {"replyPort", listener.localPort()}}}},
        &err));
    QVERIFY2(sim.start(&err), qPrintable(err));
    QUdpSocket asker;
    QVERIFY(asker.bind(QHostAddress("127.0.0.1"), 0));
    asker.writeDatagram("ENQ", sim.discoveryAddress(), sim.discoveryPort());
    QMap<QString, QByteArray> replies;
    QVERIFY(QTest::qWaitFor(
        [&] {
            while (listener.hasPendingDatagrams()) {
                QByteArray d(int(listener.pendingDatagramSize()), '\0');
                QHostAddress from;
                listener.readDatagram(d.data(), d.size(), &from);
                replies[from.toString()] = d;
            }
            return replies.size() == 2;
        },
        scaled(5000)));
    QCOMPARE(replies.value("127.0.0.2"), QByteArray("VX8#01234\r"));
    QCOMPARE(replies.value("127.0.0.3"), QByteArray("VX8#01235\r"));
}

void TestSimDock::usbDevice()
{
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{{"serial", 777}, {"transport", "usb"}}}), &err));
    QVERIFY(sim.start(&err));
    SimDock* dock = sim.dock(0);
    auto* dev = dock->usbDevice();
    QVERIFY(dev);
    QVERIFY(vx8::VirtualUsbBus::instance().devices().contains(dev));
    QCOMPARE(dev->devicePath(), QStringLiteral("sim-usb:777"));
    QMap<int, QByteArray> in;
    bool removed = false;
    dev->deviceToHost = [&](int pipe, const QByteArray& b) { in[pipe] += b; };
    dev->removed = [&] { removed = true; };
    QVERIFY(dev->hostWrite(3, "REE"));
    QVERIFY(QTest::qWaitFor([&] { return in[2].size() >= 507; }, scaled(5000)));
    QCOMPARE(be32(in[2].mid(3), 0), 777u);
    QVERIFY(!dev->hostWrite(2, "REE")); // an IN pipe cannot be written
    // Events on pipe 2, the instrument behind pipes 0 and 1, the record dump on pipe 1 before
    // its acknowledgement on pipe 2.
    dock->dockInstrument(QJsonObject{{"serial", 2468}});
    QVERIFY(dev->hostWrite(3, "SLV"));
    QVERIFY(QTest::qWaitFor([&] { return in[2].contains("EVT1"); }, scaled(5000)));
    QVERIFY(dev->hostWrite(0, "ENQ3"));
    QVERIFY(QTest::qWaitFor([&] { return in[1] == "ACK3"; }, scaled(5000)));
    dock->setStoredRecords({buildTestRecord(QJsonObject{{"InstrumentSerial", 13579}})});
    in.clear();
    QList<int> order;
    dev->deviceToHost = [&](int pipe, const QByteArray& b) {
        in[pipe] += b;
        order.append(pipe);
    };
    QVERIFY(dev->hostWrite(3, "STD"));
    QVERIFY(QTest::qWaitFor([&] { return in[2] == "ACK"; }, scaled(5000)));
    QCOMPARE(in[1].size(), 276);
    QCOMPARE(be32(in[1], 0), 13579u);
    QCOMPARE(order, (QList<int>{1, 2}));
    dock->vanish();
    QVERIFY(removed);
    QVERIFY(!vx8::VirtualUsbBus::instance().devices().contains(dev));
    QVERIFY(!dev->hostWrite(3, "ENQ"));
}

void TestSimDock::kernelAndFlash_data()
{
    QTest::addColumn<quint16>("marker");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("image for this dock") << quint16(36000) << true;
    QTest::newRow("corrupt image") << quint16(36001) << false;
}

void TestSimDock::kernelAndFlash()
{
    QFETCH(quint16, marker);
    QFETCH(bool, accepted);
    SimServer sim;
    QString err;
    QVERIFY(sim.loadScenario(scenarioWith({QJsonObject{{"restartMs", 200}}}, 1.0), &err));
    QVERIFY(sim.start(&err));
    SimDock* dock = sim.dock(0);
    SimClient c;
    QVERIFY(c.open(dock));
    QCOMPARE(c.command("PGR", 3), QByteArray("NAK")); // out of order
    QCOMPARE(c.command("LDK", 3), QByteArray("ACK"));
    QByteArray kernel(4096, '\0');
    for (int i = 0; i < kernel.size(); ++i) {
        kernel[i] = char(i * 13);
    }
    c.data.write(kernel.left(2304));
    QVERIFY(QTest::qWaitFor([&] { return dock->receivedKernel().size() == 2304; }, scaled(5000)));
    QCOMPARE(c.command("PGR", 3), QByteArray("ACK"));
    QCOMPARE(c.command("LKR", 3), QByteArray("ACK"));
    c.data.write(kernel.mid(2304));
    QVERIFY(QTest::qWaitFor([&] { return dock->receivedKernel().size() == 4096; }, scaled(5000)));
    QCOMPARE(dock->receivedKernel(), kernel);
    QCOMPARE(c.command("ERS", 3), QByteArray("ACK"));

    QByteArray image(131072, '\0');
    for (int i = 0; i < image.size(); ++i) {
        image[i] = char((i * 7) >> 3);
    }
    putBE16(image, 2000, 812);
    putBE16(image, 2002, marker);
    const QByteArray text("2026-02-01 08:30:00");
    image.replace(2012, text.size() + 1, text + '\0');
    for (int off = 0; off < image.size(); off += 1024) {
        c.data.write(image.mid(off, 1024));
        c.data.flush();
    }
    QVERIFY(QTest::qWaitFor([&] { return c.dataAll().size() >= 128 * 8; }, scaled(10000)));
    const QByteArray acks = c.dataAll();
    QCOMPARE(acks.size(), 128 * 8);
    QCOMPARE(acks.left(8), QByteArray("OK0001\r\n"));
    QCOMPARE(acks.contains('F'), !accepted);
    QCOMPARE(dock->receivedFlash(), image);
    if (!accepted) {
        QCOMPARE(c.command("RST", 3), QByteArray("NAK"));
        QCOMPARE(dock->firmwareVersion(), 756);
        return;
    }
    QCOMPARE(c.command("RST", 3), QByteArray("ACK"));
    QVERIFY(
        QTest::qWaitFor([&] { return c.ctl.state() == QAbstractSocket::UnconnectedState; }, scaled(5000)));
    QVERIFY(QTest::qWaitFor([&] { return !dock->isVanished(); }, scaled(5000)));
    SimClient after;
    QVERIFY(after.open(dock));
    QCOMPARE(be16(after.command("REE", 507).mid(3), 8), 812u);
    QCOMPARE(after.command("GFD", 3 + text.size()), QByteArray("ACK") + text);
    QCOMPARE(dock->restarts(), 1);
}

void TestSimDock::transcriptFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.jsonl");
    SimServer sim;
    QString err;
    QJsonObject s = scenarioWith({QJsonObject{{"serial", 321}}});
    s["transcript"] = path;
    QVERIFY(sim.loadScenario(s, &err));
    QVERIFY(sim.start(&err));
    SimClient c;
    QVERIFY(c.open(sim.dock(0)));
    c.command("REE", 507);
    const auto in = sim.transcript().entriesFor(321, "control", "in");
    QCOMPARE(in.size(), 1);
    QCOMPARE(in[0].bytes, QByteArray("REE"));
    QCOMPARE(sim.transcript().bytesFor(321, "control", "out").size(), 507);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    bool sawIn = false, sawOut = false;
    double lastT = -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QVERIFY2(!o.isEmpty(), line.constData());
        QVERIFY(o.value("t").toDouble() >= lastT);
        lastT = o.value("t").toDouble();
        QCOMPARE(o.value("dock").toInt(), 321);
        if (o.value("dir") == "in" && o.value("channel") == "control") {
            QCOMPARE(o.value("hex").toString(), QStringLiteral("524545"));
            sawIn = true;
        }
        if (o.value("dir") == "out" && o.value("len").toInt() == 507) {
            sawOut = true;
        }
    }
    QVERIFY(sawIn && sawOut);
}

void TestSimDock::programHelp()
{
    QProcess p;
    p.start(QStringLiteral(VX8_DOCKSIM_PATH), {"--help"});
    QVERIFY(p.waitForFinished(scaled(10000)));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray out = p.readAllStandardOutput();
    QVERIFY(out.contains("--scenario"));
    QVERIFY(out.contains("--time-factor"));
    QProcess bad;
    bad.start(QStringLiteral(VX8_DOCKSIM_PATH), {"--first-address", "10.1.1.1"}); // invalid: not loopback
    QVERIFY(bad.waitForFinished(scaled(10000)));
    QVERIFY(bad.exitCode() != 0);
    QVERIFY(bad.readAllStandardError().contains("loopback"));
}

void TestSimDock::programServesUntilStopped()
{
    QTemporaryDir dir;
    const quint16 cp = freePort(QHostAddress("127.0.0.2"));
    const quint16 dp = freePort(QHostAddress("127.0.0.2"));
    QVERIFY(cp && dp && cp != dp);
    QFile scenario(dir.filePath("s.json"));
    QVERIFY(scenario.open(QIODevice::WriteOnly));
    scenario.write(QJsonDocument(QJsonObject{{"docks", QJsonArray{QJsonObject{{"serial", 4711}}}}}).toJson());
    scenario.close();
    QProcess p;
    p.start(QStringLiteral(VX8_DOCKSIM_PATH),
            {"--scenario", scenario.fileName(), "--control-port", QString::number(cp), "--data-port",
             QString::number(dp), "--no-discovery", "--transcript", dir.filePath("t.jsonl")});
    QVERIFY(p.waitForStarted(scaled(10000)));
    QVERIFY(
        QTest::qWaitFor([&] { return p.readAllStandardOutput().contains("serving 1 dock"); }, scaled(10000)));
    QTcpSocket ctl, data;
    ctl.connectToHost(QHostAddress("127.0.0.2"), cp);
    data.connectToHost(QHostAddress("127.0.0.2"), dp);
    QVERIFY(ctl.waitForConnected(scaled(5000)) && data.waitForConnected(scaled(5000)));
    ctl.write("REE");
    QByteArray got;
    QVERIFY(QTest::qWaitFor(
        [&] {
            got += ctl.readAll();
            return got.size() >= 507;
        },
        scaled(5000)));
    QCOMPARE(be32(got.mid(3), 0), 4711u);
    p.terminate();
    QVERIFY(p.waitForFinished(scaled(10000)));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QFile t(dir.filePath("t.jsonl"));
    QVERIFY(t.open(QIODevice::ReadOnly));
    QVERIFY(t.readAll().contains("\"hex\":\"524545\""));
}

void TestSimDock::demoScenarioLoads()
{
    // The scenario shipped for demonstrations stays valid; served here on free ports.
    QFile f(QStringLiteral(VX8_SIM_SCENARIOS "/demo.json"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QJsonObject s = QJsonDocument::fromJson(f.readAll()).object();
    QVERIFY(!s.isEmpty());
    s["controlPort"] = 0;
    s["dataPort"] = 0;
    s["discovery"] = QJsonObject{{"enabled", false}};
    SimServer sim;
    QString err;
    QVERIFY2(sim.loadScenario(s, &err), qPrintable(err));
    QVERIFY2(sim.start(&err), qPrintable(err));
    QCOMPARE(sim.dockCount(), 3);
    SimClient c;
    QVERIFY(c.open(sim.dockBySerial(10001)));
    const QByteArray cfg = c.command("REE", 507).mid(3);
    QCOMPARE(be16(cfg, 10), 1u);
    QCOMPARE(cfg.mid(52, 8), QByteArray("Quad Mix"));
    QCOMPARE(be32(sim.dock(0)->storedRecords().value(0), 0), 300101u);
}

QTEST_GUILESS_MAIN(TestSimDock)
#include "tst_simdock.moc"
