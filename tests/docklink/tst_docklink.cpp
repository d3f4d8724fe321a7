// The dock link against the simulator: every command over TCP and over the in-process USB
// backend, time-outs, NAK, the one-pending-command rule, user data, session loss, split and
// merged replies, and many docks at once.

#include "DockTestSupport.h"

#include "common/Prompter.h"
#include "docklink/CalderwickVX8Dock.h"
#include "tests/support/TestSupport.h"
#include "transport/InProcessUsbBackend.h"
#include "transport/USBDevice.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

using namespace vx8;
using namespace vx8::test;
using vx8::sim::SimChannel;
using vx8::sim::SimDock;
using vx8::sim::SimServer;

namespace {

// One simulated dock and the link to it, over "tcp" or "usb".
struct Harness
{
    UnattendedPrompter prompter;
    SimServer sim;
    std::unique_ptr<TUSBDevice> usb;
    std::unique_ptr<TCalderwickVX8Dock> dock;
    QString error;

    Harness() { prompter.setEcho(false); }

    bool open(const QString& transport, QJsonObject setup = {}, int commandTimeOut = 10000)
    {
        setup.insert("transport", transport);
        if (!setup.contains("serial"))
            setup.insert("serial", 10001);
        if (!sim.loadScenario(simScenario(QJsonArray{setup}), &error) || !sim.start(&error))
            return false;
        dock = std::make_unique<TCalderwickVX8Dock>(nullptr, &prompter);
        dock->SetCommandTimeOut(commandTimeOut);
        // Generous for a busy machine: the rest of a split reply may come this late.
        DockTiming timing;
        timing.holdSplitMs = scaled(300);
        dock->SetTiming(timing);
        if (transport == QLatin1String("usb")) {
            usb = std::make_unique<TUSBDevice>(&prompter, nullptr, std::make_shared<InProcessUsbBackend>());
            dock->SetUSBDevice(usb.get());
        } else {
            dock->SetEthernetAddress(sim.dock(0)->address().toString());
            dock->SetPorts(sim.dock(0)->controlPort(), sim.dock(0)->dataPort());
        }
        const auto enabled = run(dock->EnableDock(true), scaled(10000));
        if (!enabled || !*enabled) {
            error = QStringLiteral("the link did not come up");
            return false;
        }
        if (usb)
            usb->SetHalted(false); // the owner clears the halt after enabling
        return true;
    }

    SimDock* simDock() const { return sim.dock(0); }

    // Chunks the dock received on a channel, as the transcript has them.
    QList<QByteArray> received(const QString& channel)
    {
        QList<QByteArray> out;
        for (const auto& e : sim.transcript().entriesFor(simDock()->serial(), channel, QStringLiteral("in")))
            out.append(e.bytes);
        return out;
    }

    QByteArray controlIn() { return received(QStringLiteral("control")).join(); }

    bool ok(QCoro::Task<bool>&& task, int ms = 20000)
    {
        const auto r = run(std::move(task), scaled(ms));
        return r && *r;
    }
};

QByteArray recordImage(quint32 serial)
{
    TestRecord r;
    r.InstrumentSerial = serial;
    r.TestTime = 86400;
    r.PassFailFlags = 0x8000;
    r.Sensors[6].SensorSerial = 0x00455654; // spells "EVT"
    r.Sensors[6].SensorType = 11;
    return dock::encodeTestRecord(r);
}

QString storedRecordsHex(int n)
{
    QString hex;
    for (int i = 0; i < n; ++i)
        hex += QString::fromLatin1(recordImage(quint32(5000 + i)).toHex());
    return hex;
}

QCoro::Task<bool> busyAnswer(TCalderwickVX8Dock* d)
{
    bool busy = false;
    const bool ok = co_await d->GetIsDockBusy(busy);
    co_return ok && !busy;
}

QCoro::Task<bool> lcdAnswer(TCalderwickVX8Dock* d)
{
    QString text;
    co_return co_await d->ReadLCDText(0, text);
}

QCoro::Task<bool> commandByName(TCalderwickVX8Dock& d, const QString& command)
{
    if (command == QLatin1String("ENQ"))
        return d.SendENQ();
    if (command == QLatin1String("REE"))
        return d.GetConfiguration();
    if (command == QLatin1String("GTR"))
        return d.GetTestRecord();
    if (command == QLatin1String("ADC"))
        return d.GetAdcCounts();
    if (command == QLatin1String("GST"))
        return busyAnswer(&d);
    return lcdAnswer(&d);
}

} // namespace

class TestDockLink : public QObject
{
    Q_OBJECT

private slots:
    void everyCommand_data();
    void everyCommand();
    void testRecordDump_data();
    void testRecordDump();
    void outcomes_data();
    void outcomes();
    void nakStopsTimer();
    void secondCommandWhilePending_data();
    void secondCommandWhilePending();
    void userDataInChunks();
    void userDataChecks();
    void closingOneSessionClosesTheOther();
    void splitAndMergedReplies();
    void commandFromEventHandler();
    void emailFieldsFilledBeforeWrite();
    void sixteenDocksOneSilent();
    void unpluggingUsbDock();
    void noUsbDevice_data();
    void noUsbDevice();
    void usbHaltedStillSends();
    void rawSocketCases();
    void captureAndFlashAcks();
    void userDataSendFailsWhenTheLinkGoes();
};

// ---- Every command ----------------------------------------------------------------------------

void TestDockLink::everyCommand_data()
{
    QTest::addColumn<QString>("transport");
    QTest::newRow("tcp") << QStringLiteral("tcp");
    QTest::newRow("usb") << QStringLiteral("usb");
}

void TestDockLink::everyCommand()
{
    QFETCH(QString, transport);
    Harness h;
    QVERIFY2(h.open(transport, QJsonObject{{"adc", QJsonArray{200, 768, 300, 500}},
                                           {"peaks", QJsonArray{250, 770, 310, 520}},
                                           {"flashDateText", "2025-01-15 10:00:00"}}),
             qPrintable(h.error));
    TCalderwickVX8Dock& d = *h.dock;
    SimDock* s = h.simDock();

    QVERIFY(h.ok(d.GetConfiguration()));
    QCOMPARE(d.DockConfigRecord(), *dock::decodeConfiguration(s->configuration()));
    QCOMPARE(d.DockConfigRecord().SerialNumber, 10001u);

    d.DockConfigRecord().DockDescription = QByteArray("Written back").leftJustified(24, '\0');
    d.SetGas2Enabled(true);
    QVERIFY(h.ok(d.WriteConfiguration()));
    QCOMPARE(s->configuration().mid(293, 12), QByteArray("Written back"));
    QVERIFY(dock::dockSetting(dock::decodeConfiguration(s->configuration())->SettingFlags, 17));

    QVERIFY(h.ok(d.GetTestRecord()));
    QCOMPARE(dock::encodeTestRecord(d.TestRecord()),
             s->lastTestRecord().isEmpty() ? QByteArray(276, '\0') : s->lastTestRecord());

    QVERIFY(h.ok(d.GetAdcCounts()));
    QCOMPARE(d.AdcCounts(), (dock::AdcValues{200, 768, 300, 500}));
    QVERIFY(d.AdcCountsFresh());
    const auto volts = run(d.LithiumBatVoltage(), scaled(10000));
    QCOMPARE(volts, std::optional<int>(300));
    QVERIFY(h.ok(d.GetAdcPeaks()));
    QCOMPARE(d.AdcPeaks(), (dock::AdcValues{250, 770, 310, 520}));
    QVERIFY(d.CalibrateAudioGain(110.0)); // e^11 / (10 × 250)
    QCOMPARE(d.DockConfigRecord().MicGain, quint8(24));
    QVERIFY(h.ok(d.ResetAdcPeaks()));
    QVERIFY(h.ok(d.GetAdcPeaks()));
    QCOMPARE(d.AdcPeaks(), (dock::AdcValues{0, 0, 0, 0}));
    QVERIFY(!d.CalibrateAudioGain(110.0));
    QCOMPARE(d.DockConfigRecord().MicGain, quint8(24));

    const QDateTime when(QDate(2009, 3, 5), QTime(14, 7, 9));
    QVERIFY(h.ok(d.SetDateTime(when)));
    QCOMPARE(d.DateTime(), when);
    d.SetDateTimeField(QDateTime());
    QVERIFY(h.ok(d.GetDateTime()));
    QVERIFY(d.DateTime().isValid());
    QVERIFY(qAbs(d.DateTime().secsTo(when)) < 60);

    QVERIFY(h.ok(d.SetLCDText(0, QStringLiteral("ABC"))));
    QCOMPARE(s->lcdLine(0), QStringLiteral("ABC             "));
    QVERIFY(h.ok(d.SetLCD1(QStringLiteral("0123456789ABCDEFGHIJ"))));
    QCOMPARE(s->lcdLine(1), QStringLiteral("0123456789ABCDEF"));
    QString text;
    QVERIFY(h.ok(d.ReadLCDText(0, text)));
    QCOMPARE(text, QStringLiteral("ABC             "));
    QCOMPARE(run(d.FLCDLine1(), scaled(10000)), std::optional<QString>(QStringLiteral("0123456789ABCDEF")));

    QVERIFY(h.ok(d.SetPumpStatus(250, 2)));
    QCOMPARE(s->pumpSpeed(), 100);
    QCOMPARE(s->pumpChannel(), 2);

    bool busy = true;
    QVERIFY(h.ok(d.GetIsDockBusy(busy)));
    QVERIFY(!busy);
    QVERIFY(h.ok(d.SetDockMode(true, busy)));
    QVERIFY(!busy);
    QVERIFY(s->isSlave());
    QVERIFY(h.ok(d.SetDockMode(false, busy)));
    QVERIFY(!s->isSlave());

    QString flashText;
    QVERIFY(h.ok(d.GetFlashDateTime(flashText)));
    QCOMPARE(flashText, QStringLiteral("2025-01-15 10:00:00"));

    QVERIFY(h.ok(d.DisconnectInstrument()));
    QVERIFY(h.ok(d.StartIrDASearch()));
    QVERIFY(h.ok(d.SendTestEmail()));
    QVERIFY(h.ok(d.SendENQ()));
    QVERIFY(h.ok(d.PerFormTest(2)));
    QVERIFY(h.ok(d.ClearTestRecords(300)));
    QCOMPARE(d.LastCommand(), QStringLiteral("CLT"));

    // The exact bytes the dock received, in order.
    const QByteArray in = h.controlIn();
    for (const QByteArray& expected : {QByteArray("REE"),
                                       QByteArray("WEE"),
                                       QByteArray("GTR"),
                                       QByteArray("ADC"),
                                       QByteArray("PEK      PEK Command"),
                                       QByteArray("RAP      RAP Command"),
                                       QByteArray("STC") + QByteArray("\x09\x07\x0e\x05\x03\x00\x09", 7),
                                       QByteArray("RTC"),
                                       QByteArray("LCD0ABC             "),
                                       QByteArray("LCD10123456789ABCDEF"),
                                       QByteArray("RLC0"),
                                       QByteArray("RLC1"),
                                       QByteArray("PSS\x64\x02", 5),
                                       QByteArray("GST"),
                                       QByteArray("SLV"),
                                       QByteArray("MST"),
                                       QByteArray("GFD"),
                                       QByteArray("DSC"),
                                       QByteArray("IRS"),
                                       QByteArray("TEM"),
                                       QByteArray("ENQ"),
                                       QByteArray("TST\x02", 4),
                                       QByteArray("CLT\x01\x2c", 5)})
        QVERIFY2(in.contains(expected), expected.constData());
    QVERIFY(h.prompter.records().isEmpty());
}

void TestDockLink::testRecordDump_data()
{
    everyCommand_data();
}

// "STD" streams the records on the user-data channel; the ACK on the control channel ends it.
void TestDockLink::testRecordDump()
{
    QFETCH(QString, transport);
    Harness h;
    QVERIFY2(h.open(transport,
                    QJsonObject{
                        {"storedRecords",
                         QJsonArray{QJsonObject{{"hex", storedRecordsHex(1)}},
                                    QJsonObject{{"hex", QString::fromLatin1(recordImage(5001).toHex())}},
                                    QJsonObject{{"hex", QString::fromLatin1(recordImage(5002).toHex())}}}}}),
             qPrintable(h.error));
    TCalderwickVX8Dock& d = *h.dock;
    int userEvents = 0;
    d.OnRcvUserData = [&](QObject*, const QByteArray&) { ++userEvents; };
    QVERIFY(h.ok(d.GetConfiguration()));
    QCOMPARE(d.DockConfigRecord().RecordCount, quint16(3));
    const int timeout = d.CommandTimeOut();
    QVERIFY(h.ok(d.GetTestRecords()));
    QCOMPARE(d.CommandTimeOut(), timeout);
    QVERIFY(!d.CaptureUserData());
    QCOMPARE(d.DataloggerSize(), 3u * 276u);
    QCOMPARE(userEvents, 0);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(d.LoadRecord(i));
        QCOMPARE(d.TestRecord().InstrumentSerial, quint32(5000 + i));
        QCOMPARE(d.TestRecord().Sensors[6].SensorSerial, 0x00455654u);
        QCOMPARE(d.TestRecordDateTime(), QDateTime(QDate(2000, 1, 2), QTime(0, 0)));
        QVERIFY(d.PassFailGlobal());
    }
    QVERIFY(!d.LoadRecord(3)); // not captured: the record stays as it was
    QCOMPARE(d.TestRecord().InstrumentSerial, 5002u);
    QVERIFY(!d.LoadRecord(-1));
}

// ---- Failure modes of one command -------------------------------------------------------------

// One command, one injected fault, one expected outcome.
void TestDockLink::outcomes_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("timeOuts");

    for (const QString t : {QStringLiteral("tcp"), QStringLiteral("usb")}) {
        const QByteArray p = t.toLatin1() + ": ";
        QTest::newRow(p + "no reply") << t << "ENQ" << QJsonObject{{"kind", "noReply"}} << false << 1;
        QTest::newRow(p + "NAK") << t << "ENQ" << QJsonObject{{"kind", "nak"}} << false << 0;
        QTest::newRow(p + "REE cut to 503")
            << t << "REE" << QJsonObject{{"kind", "cut"}, {"bytes", 506}} << false << 0;
        QTest::newRow(p + "GTR cut short")
            << t << "GTR" << QJsonObject{{"kind", "cut"}, {"bytes", 100}} << false << 0;
        QTest::newRow(p + "ADC cut short")
            << t << "ADC" << QJsonObject{{"kind", "cut"}, {"bytes", 7}} << false << 0;
        QTest::newRow(p + "GST without its character")
            << t << "GST" << QJsonObject{{"kind", "cut"}, {"bytes", 3}} << false << 0;
        QTest::newRow(p + "RLC cut short")
            << t << "RLC0" << QJsonObject{{"kind", "cut"}, {"bytes", 10}} << false << 0;
        QTest::newRow(p + "REE split, rest within the hold")
            << t << "REE" << QJsonObject{{"kind", "split"}, {"at", 200}, {"ms", 20}} << true << 0;
        QTest::newRow(p + "GTR split, rest too late")
            << t << "GTR" << QJsonObject{{"kind", "split"}, {"at", 100}, {"ms", 1500}} << false << 0;
        QTest::newRow(p + "GTR twice in one write")
            << t << "GTR" << QJsonObject{{"kind", "double"}} << true << 0;
        QTest::newRow(p + "late reply")
            << t << "ENQ" << QJsonObject{{"kind", "delay"}, {"ms", 100}} << true << 0;
    }
}

void TestDockLink::outcomes()
{
    QFETCH(QString, transport);
    QFETCH(QString, command);
    QFETCH(QJsonObject, fault);
    QFETCH(bool, result);
    QFETCH(int, timeOuts);
    Harness h;
    QVERIFY2(h.open(transport, {}, scaled(1500)), qPrintable(h.error));
    TCalderwickVX8Dock& d = *h.dock;
    int timeOutEvents = 0;
    d.OnCmdTimeOut = [&](QObject* sender) {
        QCOMPARE(sender, &d);
        ++timeOutEvents;
    };
    // Known records before the command, to see that a failed reply leaves them alone.
    QVERIFY(h.ok(d.GetConfiguration()));
    const DockConfigRecord config = d.DockConfigRecord();
    d.TestRecord().InstrumentSerial = 777;
    const TestRecord record = d.TestRecord();

    fault.insert("command", command);
    h.simDock()->addFault(fault);
    QCoro::Task<bool> task = commandByName(d, command);
    const auto r = run(std::move(task), scaled(10000));
    QVERIFY(r.has_value());
    QCOMPARE(*r, result);
    QCOMPARE(timeOutEvents, timeOuts);
    if (!result) {
        QCOMPARE(d.DockConfigRecord(), config);
        QCOMPARE(d.TestRecord(), record);
    }
    if (command == QLatin1String("GTR") && result)
        QCOMPARE(dock::encodeTestRecord(d.TestRecord()), QByteArray(276, '\0'));
    // The link is still usable and the timer is not left running.
    QVERIFY(h.ok(d.SendENQ()));
    QCOMPARE(d.CmdState(), TCmdState::Acknowledged);
}

void TestDockLink::nakStopsTimer()
{
    Harness h;
    QVERIFY2(h.open("tcp", {}, 200), qPrintable(h.error));
    int timeOuts = 0;
    h.dock->OnCmdTimeOut = [&](QObject*) { ++timeOuts; };
    h.simDock()->addFault(QJsonObject{{"command", "ENQ"}, {"kind", "nak"}});
    QVERIFY(!h.ok(h.dock->SendENQ()));
    QCOMPARE(h.dock->CmdState(), TCmdState::Failed);
    QTest::qWait(600); // three time-outs' worth
    QCOMPARE(timeOuts, 0);
}

void TestDockLink::secondCommandWhilePending_data()
{
    everyCommand_data();
}

// A second command while one is pending returns false at once and sends nothing; it does not
// change how the pending command's reply is read.
void TestDockLink::secondCommandWhilePending()
{
    QFETCH(QString, transport);
    Harness h;
    QVERIFY2(h.open(transport), qPrintable(h.error));
    TCalderwickVX8Dock& d = *h.dock;
    h.simDock()->addFault(QJsonObject{{"command", "REE"}, {"kind", "delay"}, {"ms", 150}});
    d.TestRecord().InstrumentSerial = 4242;
    auto first = start(d.GetConfiguration());
    QCOMPARE(d.CmdState(), TCmdState::Pending);
    auto second = start(d.GetTestRecord());
    QVERIFY(second->done);
    QCOMPARE(second->value, std::optional<bool>(false));
    auto third = start(d.GetTestRecords());
    QVERIFY(third->done);
    QCOMPARE(third->value, std::optional<bool>(false));
    QVERIFY(!d.CaptureUserData());
    QCOMPARE(d.CommandTimeOut(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(first->done, scaled(10000));
    QCOMPARE(first->value, std::optional<bool>(true));
    QCOMPARE(d.DockConfigRecord().SerialNumber, 10001u);
    QCOMPARE(d.TestRecord().InstrumentSerial, 4242u);
    const QByteArray in = h.controlIn();
    QCOMPARE(in, QByteArray("REE"));
}

// ---- User data --------------------------------------------------------------------------------

void TestDockLink::userDataInChunks()
{
    Harness h;
    QVERIFY2(h.open("tcp"), qPrintable(h.error));
    // A longer pause between chunks than the dock's 50 ms, so that a busy machine still reads
    // each chunk on its own at the far end.
    DockTiming timing = h.dock->Timing();
    timing.tcpChunkPauseMs = scaled(200);
    h.dock->SetTiming(timing);
    QList<int> remain;
    h.dock->OnFlashProgress = [&](QObject*, int total, int left) {
        QCOMPARE(total, 2049);
        remain.append(left);
    };
    QByteArray data(2049, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char('!' + i % 90);
    QVERIFY(h.ok(h.dock->SendUserData(data)));
    QCOMPARE(remain, (QList<int>{1025, 1, 0}));
    QTRY_COMPARE_WITH_TIMEOUT(h.received("data").join().size(), 2049, scaled(5000));
    QList<int> sizes;
    for (const QByteArray& c : h.received("data"))
        sizes.append(int(c.size()));
    QCOMPARE(sizes, (QList<int>{1024, 1024, 1}));
    QCOMPARE(h.received("data").join(), data);

    // A message of at most 1024 bytes goes in one piece and reports no progress.
    remain.clear();
    QVERIFY(h.ok(h.dock->SendUserData(QByteArray(1024, 'u'))));
    QVERIFY(remain.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(h.received("data").join().size(), 2049 + 1024, scaled(5000));
}

void TestDockLink::userDataChecks()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TCalderwickVX8Dock d(nullptr, &prompter);
    QVERIFY(!run(d.SendUserData(QByteArray(0x100000, 'x')), 5000).value_or(true));
    QVERIFY(!run(d.SendUserData(QByteArray(10, 'x')), 5000).value_or(true));
    QTRY_COMPARE(prompter.texts(), (QStringList{QStringLiteral("Error, Message too long!"),
                                                QStringLiteral("Send Error, Dock not Enabled!")}));
    QVERIFY(!run(d.SendENQ(), 5000).value_or(true));
    QCOMPARE(d.CmdState(), TCmdState::Failed);
}

// ---- Sessions ---------------------------------------------------------------------------------

void TestDockLink::closingOneSessionClosesTheOther()
{
    for (const SimChannel channel : {SimChannel::Data, SimChannel::Control}) {
        Harness h;
        QVERIFY2(h.open("tcp"), qPrintable(h.error));
        int closed = 0;
        h.dock->OnTCPClosed = [&](QObject*) { ++closed; };
        int errors = 0;
        h.dock->OnTCPError = [&](QObject*, int, int, const QString&) { ++errors; };
        // A command waiting when the link goes fails.
        h.simDock()->addFault(QJsonObject{{"command", "ENQ"}, {"kind", "noReply"}});
        auto pending = start(h.dock->SendENQ());
        QTRY_VERIFY_WITH_TIMEOUT(h.controlIn().contains("ENQ"), scaled(5000));
        h.simDock()->closeChannel(channel);
        QTRY_VERIFY_WITH_TIMEOUT(pending->done, scaled(5000));
        QCOMPARE(pending->value, std::optional<bool>(false));
        QTRY_COMPARE_WITH_TIMEOUT(closed, 1, scaled(5000));
        QVERIFY(!h.dock->IsEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!h.simDock()->controlConnected() && !h.simDock()->dataConnected(),
                                 scaled(5000));
        QTest::qWait(100);
        QCOMPARE(closed, 1);
        QCOMPARE(errors, 0);
        // The link comes back.
        QCOMPARE(run(h.dock->EnableDock(true), scaled(10000)), std::optional<bool>(true));
        QVERIFY(h.ok(h.dock->SendENQ()));
    }
}

void TestDockLink::splitAndMergedReplies()
{
    Harness h;
    QVERIFY2(h.open("tcp"), qPrintable(h.error));
    TCalderwickVX8Dock& d = *h.dock;
    int connected = 0;
    d.OnInstrumentConnected = [&](QObject*) { ++connected; };
    // The ACK is held back and leaves in one chunk with the next event.
    h.simDock()->addFault(QJsonObject{{"command", "ENQ"}, {"kind", "merge"}});
    auto enq = start(d.SendENQ());
    QTRY_VERIFY_WITH_TIMEOUT(h.controlIn().contains("ENQ"), scaled(5000));
    h.simDock()->sendEvent('1');
    QTRY_VERIFY_WITH_TIMEOUT(enq->done, scaled(5000));
    QCOMPARE(enq->value, std::optional<bool>(true));
    QCOMPARE(connected, 1);

    // A configuration split in three places arrives whole.
    h.simDock()->addFault(QJsonObject{{"command", "REE"}, {"kind", "split"}, {"at", 2}, {"ms", 20}});
    QVERIFY(h.ok(d.GetConfiguration()));
    QCOMPARE(d.DockConfigRecord(), *dock::decodeConfiguration(h.simDock()->configuration()));
}

// A handler that sends a command of its own (as the frames do) sees its reply: nothing is
// handled inside the socket's notification.
void TestDockLink::commandFromEventHandler()
{
    Harness h;
    QVERIFY2(h.open("tcp"), qPrintable(h.error));
    TCalderwickVX8Dock& d = *h.dock;
    std::shared_ptr<TaskResult<bool>> fromHandler;
    d.OnStateChange = [&](QObject*, TDockState state) {
        QCOMPARE(state, TDockState::Cmd_Stb);
        fromHandler = start(d.GetConfiguration());
    };
    h.simDock()->sendEvent('7', QByteArray(1, char(6)));
    QTRY_VERIFY_WITH_TIMEOUT(fromHandler && fromHandler->done, scaled(5000));
    QCOMPARE(fromHandler->value, std::optional<bool>(true));
    QCOMPARE(d.DockConfigRecord().SerialNumber, 10001u);
}

void TestDockLink::emailFieldsFilledBeforeWrite()
{
    Harness h;
    QVERIFY2(h.open("tcp"), qPrintable(h.error));
    TCalderwickVX8Dock& d = *h.dock;
    QVERIFY(h.ok(d.GetConfiguration()));
    QCOMPARE(d.DockConfigRecord().EmailRecipient, QByteArray(50, 'e'));
    // Without e-mail settings the filler goes back.
    QVERIFY(h.ok(d.WriteConfiguration()));
    QCOMPARE(h.simDock()->configuration().mid(318, 50), QByteArray(50, 'e'));
    d.SetEmailSettings(dock::DockEmailSettings{
        true, QStringLiteral("gas@example.org"), QStringLiteral("Bay 3"), {127, 0, 0, 1}});
    QVERIFY(h.ok(d.GetConfiguration()));
    QVERIFY(h.ok(d.WriteConfiguration()));
    const QByteArray image = h.simDock()->configuration();
    QCOMPARE(image.mid(318, 50), QByteArray("gas@example.org").leftJustified(50, '\0'));
    QCOMPARE(image.mid(368, 50), QByteArray("Bay 3").leftJustified(50, '\0'));
    QCOMPARE(image.mid(418, 4), QByteArray("\x7f\x00\x00\x01", 4));
}

// ---- Many docks -------------------------------------------------------------------------------

// Sixteen docks at once, one of which stops answering: the others' commands all complete while
// the silent one waits for its time-out.
void TestDockLink::sixteenDocksOneSilent()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    SimServer sim;
    QJsonArray docks;
    for (int i = 0; i < 16; ++i)
        docks.append(QJsonObject{{"serial", 20001 + i}});
    QString error;
    QVERIFY2(sim.loadScenario(simScenario(docks), &error) && sim.start(&error), qPrintable(error));
    const int silent = 5;
    sim.dock(silent)->addFault(QJsonObject{{"command", "ENQ"}, {"kind", "noReply"}, {"occurrence", 0}});

    std::vector<std::unique_ptr<TCalderwickVX8Dock>> links;
    for (int i = 0; i < 16; ++i) {
        auto d = std::make_unique<TCalderwickVX8Dock>(nullptr, &prompter);
        d->SetEthernetAddress(sim.dock(i)->address().toString());
        d->SetPorts(sim.dock(i)->controlPort(), sim.dock(i)->dataPort());
        d->SetCommandTimeOut(scaled(4000));
        links.push_back(std::move(d));
    }
    for (auto& d : links)
        QCOMPARE(run(d->EnableDock(true), scaled(10000)), std::optional<bool>(true));

    constexpr int rounds = 20;
    int completedBeforeTimeOut = -1;
    int completed = 0;
    links[silent]->OnCmdTimeOut = [&](QObject*) { completedBeforeTimeOut = completed; };
    auto loop = [&](TCalderwickVX8Dock* d) -> QCoro::Task<bool> {
        for (int r = 0; r < rounds; ++r) {
            const bool ok = co_await d->SendENQ();
            if (!ok)
                co_return false;
            ++completed;
        }
        co_return true;
    };
    std::vector<std::shared_ptr<TaskResult<bool>>> results;
    for (auto& d : links)
        results.push_back(start(loop(d.get())));
    QTRY_VERIFY_WITH_TIMEOUT(results[silent]->done, scaled(20000));
    QCOMPARE(results[silent]->value, std::optional<bool>(false));
    QCOMPARE(completedBeforeTimeOut, 15 * rounds);
    for (int i = 0; i < 16; ++i)
        if (i != silent)
            QCOMPARE(results[std::size_t(i)]->value, std::optional<bool>(true));
}

// ---- USB --------------------------------------------------------------------------------------

void TestDockLink::unpluggingUsbDock()
{
    Harness h;
    QVERIFY2(h.open("usb"), qPrintable(h.error));
    int removed = 0;
    h.usb->OnDeviceRemoved = [&](QObject*) { ++removed; };
    h.simDock()->addFault(QJsonObject{{"command", "ENQ"}, {"kind", "noReply"}});
    auto pending = start(h.dock->SendENQ());
    QTRY_VERIFY_WITH_TIMEOUT(h.controlIn().contains("ENQ"), scaled(5000));
    h.simDock()->vanish();
    QTRY_VERIFY_WITH_TIMEOUT(pending->done, scaled(5000));
    QCOMPARE(pending->value, std::optional<bool>(false));
    QTRY_COMPARE_WITH_TIMEOUT(removed, 1, scaled(5000));
    QVERIFY(!h.dock->IsEnabled());
    QTest::qWait(100);
    QCOMPARE(removed, 1);
    QVERIFY(!run(h.dock->SendENQ(), 5000).value_or(true));
}

void TestDockLink::noUsbDevice_data()
{
    QTest::addColumn<bool>("libusb");
    QTest::newRow("in-process backend") << false;
    QTest::newRow("libusb backend") << true;
}

// Without any dock on the machine (libusb) or on the in-process bus.
void TestDockLink::noUsbDevice()
{
    QFETCH(bool, libusb);
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TUSBDevice usb(&prompter, nullptr,
                   libusb ? UsbBackend::create(UsbBackend::Kind::LibUsb, UsbDeviceIds{})
                          : std::shared_ptr<UsbBackend>(std::make_shared<InProcessUsbBackend>()));
    TCalderwickVX8Dock d(nullptr, &prompter);
    d.SetUSBDevice(&usb);
    QCOMPARE(run(d.EnableDock(true), 5000), std::optional<bool>(false));
    QVERIFY(!d.IsEnabled());
    QTRY_VERIFY(prompter.texts().contains(QStringLiteral("No devices found!")));
    QTest::qWait(20);
    QCOMPARE(prompter.texts(), QStringList{QStringLiteral("No devices found!")});
    QVERIFY(!run(d.SendENQ(), 5000).value_or(true));
}

// A command sent while the device is still halted is announced and goes out once the halt is
// cleared.
void TestDockLink::usbHaltedStillSends()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    SimServer sim;
    QString error;
    QVERIFY2(sim.loadScenario(simScenario(QJsonArray{QJsonObject{{"serial", 10009}, {"transport", "usb"}}}),
                              &error) &&
                 sim.start(&error),
             qPrintable(error));
    TUSBDevice usb(&prompter, nullptr, std::make_shared<InProcessUsbBackend>());
    TCalderwickVX8Dock d(nullptr, &prompter);
    d.SetUSBDevice(&usb);
    QCOMPARE(run(d.EnableDock(true), scaled(5000)), std::optional<bool>(true));
    QVERIFY(usb.Halted());
    auto enq = start(d.SendENQ());
    QTRY_VERIFY(prompter.texts().contains(QStringLiteral("Cant Send, Usb Device is Halted!")));
    QVERIFY(!enq->done);
    usb.SetHalted(false);
    QTRY_VERIFY_WITH_TIMEOUT(enq->done, scaled(5000));
    QCOMPARE(enq->value, std::optional<bool>(true));
    QCOMPARE(run(d.EnableDock(false), scaled(5000)), std::optional<bool>(false));
    QVERIFY(!usb.IsConnected());
}
// ---- Cases a simulated dock does not produce: a scripted peer on loopback ----------------------

void TestDockLink::rawSocketCases()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    QTcpServer control, data;
    QVERIFY(control.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    QVERIFY(data.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    TCalderwickVX8Dock d(nullptr, &prompter);
    d.SetEthernetAddress(QStringLiteral("127.0.0.2"));
    d.SetPorts(control.serverPort(), data.serverPort());
    QList<int> connectedEvents;
    d.OnTCPConnected = [&](QObject*) { connectedEvents.append(1); };
    QCOMPARE(run(d.EnableDock(true), scaled(10000)), std::optional<bool>(true));
    QCOMPARE(connectedEvents.size(), 1);
    QTRY_VERIFY(control.hasPendingConnections() && data.hasPendingConnections());
    QTcpSocket* c = control.nextPendingConnection();
    QTcpSocket* u = data.nextPendingConnection();

    // A user-data chunk of 1 or 2 bytes reaches only the debug event.
    QList<QByteArray> debugChunks, userChunks;
    d.OnDebugRcvUserData = [&](QObject*, const QByteArray& b) { debugChunks.append(b); };
    d.OnRcvUserData = [&](QObject*, const QByteArray& b) { userChunks.append(b); };
    u->write("xy");
    QTRY_COMPARE(debugChunks.size(), 1);
    u->write("xyz");
    QTRY_COMPARE(userChunks.size(), 1);
    QCOMPARE(userChunks[0], QByteArray("xyz"));

    // A debug text that contains "ACK" and a gas reading that contains "NAK" do not complete the
    // command; the ACK after them does, with its payload read at the right place.
    QStringList debugTexts;
    d.OnDebugMessage = [&](QObject*, const QString& t) { debugTexts.append(t); };
    TGasReading gas{};
    d.OnGotGasReading = [&](QObject*, TGasReading& r) { gas = r; };
    auto adc = start(d.GetAdcCounts());
    QTRY_VERIFY(c->bytesAvailable() >= 3);
    QCOMPARE(c->readAll(), QByteArray("ADC"));
    c->write(QByteArray("EVT8") + char(7) + "got ACK");
    c->write(QByteArray("EVT9") + "NAKNAKNAKNAK" + QByteArray("\x01\x02", 2));
    c->flush();
    QTest::qWait(50);
    QVERIFY(!adc->done);
    c->write(QByteArray("ACK") + QByteArray("\x00\x01\x00\x02\x00\x03\x00\x04", 8));
    QTRY_VERIFY(adc->done);
    QCOMPARE(adc->value, std::optional<bool>(true));
    QCOMPARE(d.AdcCounts(), (dock::AdcValues{1, 2, 3, 4}));
    QCOMPARE(debugTexts, QStringList{QStringLiteral("got ACK")});
    QCOMPARE(gas[0], qint16(0x4E41));

    // An ACK that arrives together with the close still completes its command.
    int closed = 0;
    d.OnTCPClosed = [&](QObject*) { ++closed; };
    auto enq = start(d.SendENQ());
    QTRY_VERIFY(c->bytesAvailable() >= 3);
    c->readAll();
    c->write("ACK");
    c->flush();
    c->disconnectFromHost();
    QTRY_VERIFY(enq->done);
    QCOMPARE(enq->value, std::optional<bool>(true));
    QTRY_COMPARE(closed, 1);
    QVERIFY(!d.IsEnabled());

    // Writing on a closed link reports WSAENOTCONN.
    QList<int> codes;
    d.OnTCPError = [&](QObject*, int channel, int code, const QString&) {
        codes.append(channel * 100000 + code);
    };
    QVERIFY(!run(d.SendENQ(), 5000).value_or(true));
    QCOMPARE(codes, QList<int>{10057});

    // Nobody listening: both connects are refused with 10061 and the link stays down.
    codes.clear();
    const quint16 cp = control.serverPort(), dp = data.serverPort();
    control.close();
    data.close();
    d.SetPorts(cp, dp);
    QCOMPARE(run(d.EnableDock(true), scaled(10000)), std::optional<bool>(false));
    QTRY_COMPARE(codes.size(), 2);
    std::sort(codes.begin(), codes.end());
    QCOMPARE(codes, (QList<int>{10061, 100000 + 10061}));
}

// Capture with its cap, flash acknowledgements, and a clock reply that is not a date.
void TestDockLink::captureAndFlashAcks()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    QTcpServer control, data;
    QVERIFY(control.listen(QHostAddress(QStringLiteral("127.0.0.3")), 0));
    QVERIFY(data.listen(QHostAddress(QStringLiteral("127.0.0.3")), 0));
    TCalderwickVX8Dock d(nullptr, &prompter);
    d.SetEthernetAddress(QStringLiteral("127.0.0.3"));
    d.SetPorts(control.serverPort(), data.serverPort());
    QCOMPARE(run(d.EnableDock(true), scaled(10000)), std::optional<bool>(true));
    QTRY_VERIFY(control.hasPendingConnections() && data.hasPendingConnections());
    QTcpSocket* c = control.nextPendingConnection();
    QTcpSocket* u = data.nextPendingConnection();
    int userEvents = 0;
    d.OnRcvUserData = [&](QObject*, const QByteArray&) { ++userEvents; };
    int seen = 0;
    d.OnDebugRcvUserData = [&](QObject*, const QByteArray& b) { seen += int(b.size()); };
    // Each write is read on its own: the next one goes only once the link has read the last.
    auto send = [&](const QByteArray& b) {
        const int before = seen;
        u->write(b);
        QTRY_COMPARE(seen, before + int(b.size()));
    };

    // The clock reply is acknowledged even when it is not a date; the old value stays.
    const QDateTime before(QDate(2020, 2, 2), QTime(2, 2, 2));
    d.SetDateTimeField(before);
    auto rtc = start(d.GetDateTime());
    QTRY_VERIFY(c->bytesAvailable() >= 3);
    QCOMPARE(c->readAll(), QByteArray("RTC"));
    c->write(QByteArray("ACK") + QByteArray("\x00\x00\x00\x1e\x02\x00\x09", 7)); // 30 February
    QTRY_VERIFY(rtc->done);
    QCOMPARE(rtc->value, std::optional<bool>(true));
    QCOMPARE(d.DateTime(), before);
    QTRY_COMPARE(prompter.texts(), QStringList{QStringLiteral("Error encoding date time!")});
    prompter.clear();

    // Capture stops at 16 777 215 bytes with one "Buffer overflow!".
    d.SetCaptureUserData(true);
    const QByteArray block(1 << 20, 'c');
    for (int i = 0; i < 16; ++i)
        u->write(block);
    u->write(QByteArray(100, 'd'));
    QTRY_COMPARE_WITH_TIMEOUT(d.DataloggerSize(), quint32(TCalderwickVX8Dock::UserDataBufferCap),
                              scaled(20000));
    QTRY_COMPARE(prompter.texts(), QStringList{QStringLiteral("Buffer overflow!")});
    QTest::qWait(50);
    QCOMPARE(d.DataloggerSize(), quint32(TCalderwickVX8Dock::UserDataBufferCap));
    QCOMPARE(userEvents, 0);
    d.SetCaptureUserData(false);
    prompter.clear();

    // Flash acknowledgements: counted unless 100 bytes or more; "B" and "F" report errors, also in
    // a short chunk that is not counted.
    d.SetFlashMode(true);
    d.SetFlashAckCount(0);
    send(QByteArray(99, 'k'));
    QCOMPARE(d.FlashAckCount(), 99);
    send(QByteArray(150, 'k'));
    QCOMPARE(d.FlashAckCount(), 99);
    send("okF");
    QCOMPARE(d.FlashAckCount(), 102);
    QTRY_COMPARE(prompter.texts(), QStringList{QStringLiteral("Error writing Flash!")});
    send("B");
    QTRY_COMPARE(prompter.texts().size(), 2);
    QCOMPARE(prompter.texts().last(), QStringLiteral("Error erasing Flash!"));
    QCOMPARE(d.FlashAckCount(), 102);
    QVERIFY(d.FlashErrorSeen());
    QCOMPARE(userEvents, 0);
}

// A long message whose session goes away part-way is reported as not sent.
void TestDockLink::userDataSendFailsWhenTheLinkGoes()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    QTcpServer control, data;
    QVERIFY(control.listen(QHostAddress(QStringLiteral("127.0.0.4")), 0));
    QVERIFY(data.listen(QHostAddress(QStringLiteral("127.0.0.4")), 0));
    TCalderwickVX8Dock d(nullptr, &prompter);
    DockTiming timing;
    timing.tcpChunkPauseMs = 5;
    d.SetTiming(timing);
    d.SetEthernetAddress(QStringLiteral("127.0.0.4"));
    d.SetPorts(control.serverPort(), data.serverPort());
    QCOMPARE(run(d.EnableDock(true), scaled(10000)), std::optional<bool>(true));
    QTRY_VERIFY(control.hasPendingConnections() && data.hasPendingConnections());
    control.nextPendingConnection();
    QTcpSocket* u = data.nextPendingConnection();
    int progress = 0;
    d.OnFlashProgress = [&](QObject*, int, int) {
        if (++progress == 3)
            u->abort(); // the dock drops the user-data session
    };
    const auto sent = run(d.SendUserData(QByteArray(200 * 1024, 's')), scaled(20000));
    QCOMPARE(sent, std::optional<bool>(false));
    QVERIFY(progress >= 3 && progress < 200);
    QTRY_VERIFY(!d.IsEnabled());
}

QTEST_GUILESS_MAIN(TestDockLink)
#include "tst_docklink.moc"
