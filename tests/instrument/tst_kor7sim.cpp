// TKorLink and TKor7 against the simulator: the dock link over loopback TCP, the emulated Kor7
// behind the dock's user-data channel. The handshake, the memory read, changed, written back and
// read again byte for byte, the clock, firmware programming page by page, and the faults that
// used to slip through (late replies, short replies, refused pages).

#include "instrument/Kor7.h"
#include "instrument/KorLink.h"

#include "SimServer.h"
#include "TestSupport.h"
#include "common/Prompter.h"
#include "docklink/CalderwickVX8Dock.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <qcoro/qcorotask.h>

#include <memory>

using namespace vx8;
using namespace vx8::kor7;
using vx8::test::scaled;

namespace {

// The instrument the dock holds: O2, LEL, a VOC and H2S, the rest empty.
QJsonObject instrumentSetup()
{
    return QJsonObject{
        {"serial", 123456789},
        {"firmwareVersion", 123},
        {"pin", 4321},
        {"sensors",
         QJsonArray{
             QJsonObject{{"slot", 0}, {"type", 11}, {"serial", 1001}, {"lowAlarm", 195}, {"highAlarm", 235}},
             QJsonObject{{"slot", 1},
                         {"type", 21},
                         {"serial", 1002},
                         {"warningAlarm", 100},
                         {"highAlarm", 200},
                         {"calGas", 50}},
             QJsonObject{{"slot", 2},
                         {"type", 31},
                         {"serial", 1003},
                         {"vocCode", 2},
                         {"vocFactor", 53},
                         {"warningAlarm", 50},
                         {"highAlarm", 100}},
             QJsonObject{{"slot", 3},
                         {"type", 101},
                         {"serial", 1004},
                         {"warningAlarm", 100},
                         {"highAlarm", 200},
                         {"stelAlarm", 150},
                         {"twaAlarm", 50},
                         {"calGas", 250}},
         }},
        {"screens", QJsonArray{"CALDERWICK", "KOR7", "", "", "", "", "SERVICE", "CALL 555"}},
    };
}

// Fills every byte no field of the layouts interprets with a pattern, so that a round trip that
// lost or rewrote them shows.
QByteArray withFiller(QByteArray image)
{
    auto fill = [&image](int from, int to) {
        for (int i = from; i < to; ++i)
            image[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    };
    fill(0, 3);
    fill(68, UnitMemorySize);
    for (int s = 0; s < SensorSlotCount; ++s) {
        const int b = sensorSlotOffset(s);
        fill(b + 0, b + 2);
        fill(b + 64, b + 126);
        fill(b + 152, b + 208);
        fill(b + 226, b + 256);
    }
    return image;
}

QByteArray firmwareImage(int size, int typeByte)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>((i * 13 + i / 256) & 0xFF);
    if (size > FlashTypeOffset) {
        image.replace(FlashDescriptionOffset, FlashDescriptionLength, "Kor7 test firmware ");
        image.replace(FlashVersionOffset, FlashVersionLength, "2.34");
        image[FlashTypeOffset] = static_cast<char>(typeByte);
    }
    return image;
}

} // namespace

class TstKor7Sim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void handshake();
    void instrumentType_data();
    void instrumentType();
    void memoryRoundTrip();
    void clock();
    void countsAndReadings();
    void splitReplyJoined();
    void shortReplyFails();
    void lateReplyDropped_data();
    void lateReplyDropped();
    void handshakeRestartsAfterTimeOut();
    void firmwareProgrammed();
    void corruptFirmwareRefused_data();
    void corruptFirmwareRefused();
    void refusedPageRetried();
    void refusedPageAbortsBeforePfm();
    void downloadEvents_data();
    void downloadEvents();
    void downloadSessionsAndRecords();
    void blackBox();
    void shortRecordPacketAskedAgain();
    void commandsQueue();
    void instrumentLeavesDuringCommand();
    void offLine();

private:
    bool startSim(const QJsonObject& instrument);
    bool goOnLine();
    QStringList sentMnemonics() const;

    std::unique_ptr<sim::SimServer> m_sim;
    sim::SimDock* m_simDock = nullptr;
    std::unique_ptr<UnattendedPrompter> m_prompter;
    std::unique_ptr<TCalderwickVX8Dock> m_dock;
    std::unique_ptr<TKorLink> m_link;
    std::unique_ptr<TKor7> m_kor7;
    int m_onlineEvents = 0;
    int m_offlineEvents = 0;
};

void TstKor7Sim::init()
{
    m_prompter = std::make_unique<UnattendedPrompter>();
    m_prompter->setEcho(false);
    QVERIFY(startSim(instrumentSetup()));
}

void TstKor7Sim::cleanup()
{
    m_kor7.reset();
    m_link.reset();
    m_dock.reset();
    m_sim.reset();
    m_prompter.reset();
    m_onlineEvents = m_offlineEvents = 0;
}

bool TstKor7Sim::startSim(const QJsonObject& instrument)
{
    m_sim = std::make_unique<sim::SimServer>();
    QString error;
    const QJsonObject scenario{
        {"controlPort", 0},
        {"dataPort", 0},
        {"timeFactor", 0.01},
        {"discovery", QJsonObject{{"enabled", false}}},
        {"docks", QJsonArray{QJsonObject{{"serial", 10001}, {"instrument", instrument}}}}};
    if (!m_sim->loadScenario(scenario, &error) || !m_sim->start(&error)) {
        qWarning() << error;
        return false;
    }
    m_simDock = m_sim->dock(0);
    m_simDock->instrument()->setImage(withFiller(m_simDock->instrument()->image()));

    m_dock = std::make_unique<TCalderwickVX8Dock>(nullptr, m_prompter.get());
    m_dock->SetEthernetAddress(m_simDock->address().toString());
    m_dock->SetPorts(m_simDock->controlPort(), m_simDock->dataPort());
    DockTiming timing = m_dock->Timing();
    timing.tcpAfterSendPauseMs = 0; // the pause only paces a real dock
    timing.tcpChunkPauseMs = 0;
    m_dock->SetTiming(timing);

    m_link = std::make_unique<TKorLink>(nullptr, m_prompter.get());
    m_link->SetCalderwickVX8Dock(m_dock.get());
    m_kor7 = std::make_unique<TKor7>(nullptr, m_prompter.get());
    m_kor7->SetKorLink(m_link.get());
    m_kor7->SetCmdTimeOut(-scaled(5000));
    m_kor7->OnIsOnline = [this](QObject*, bool status) { (status ? m_onlineEvents : m_offlineEvents)++; };
    return true;
}

bool TstKor7Sim::goOnLine()
{
    QCoro::waitFor(m_kor7->GoOnLine(true));
    return QTest::qWaitFor([this] { return m_kor7->OnLine(); }, scaled(15000));
}

QStringList TstKor7Sim::sentMnemonics() const
{
    QStringList out;
    for (const auto& e : m_sim->transcript().entriesFor(10001, QStringLiteral("data"), QStringLiteral("in")))
        out << QString::fromLatin1(e.bytes.left(3));
    return out;
}

void TstKor7Sim::handshake()
{
    QVERIFY(goOnLine());
    QCOMPARE(m_onlineEvents, 1);
    QCOMPARE(m_kor7->HandshakeState(), 1);
    QCOMPARE(m_kor7->InstrumentFlashVersion(), QStringLiteral("1.23"));
    QCOMPARE(m_kor7->InstrumentFlashVersionValue().value_or(0), 1.23);
    QCOMPARE(sentMnemonics(), (QStringList{"ENQ", "WHO", "VFL"}));
    // The indices run 0, 1, 2 from a new link.
    const auto sent = m_sim->transcript().entriesFor(10001, QStringLiteral("data"), QStringLiteral("in"));
    QCOMPARE(sent.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(sent[i].bytes.at(3), char('0' + i));
    QVERIFY(m_prompter->records().isEmpty());

    // A restart of the handshake on a connected instrument.
    QVERIFY(QCoro::waitFor(m_kor7->GoOnLine(true)));
    QCOMPARE(m_onlineEvents, 2);

    // The instrument leaves: off line.
    m_simDock->removeInstrument();
    QTRY_VERIFY_WITH_TIMEOUT(!m_kor7->OnLine() && m_offlineEvents == 1, scaled(10000));
    QVERIFY(!m_link->Connected());
}

void TstKor7Sim::instrumentType_data()
{
    QTest::addColumn<QString>("whoText");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("15") << "15" << true;
    QTest::newRow("K7-15") << "K7-15" << true;
    QTest::newRow("14") << "14" << false;
    // WHO goes out with index 1: "ACK1" + "50" holds "15" only across the index and the data.
    QTest::newRow("50 after index 1") << "50" << false;
}

void TstKor7Sim::instrumentType()
{
    QFETCH(QString, whoText);
    QFETCH(bool, accepted);
    cleanup();
    m_prompter = std::make_unique<UnattendedPrompter>();
    m_prompter->setEcho(false);
    QJsonObject setup = instrumentSetup();
    setup["whoText"] = whoText;
    QVERIFY(startSim(setup));
    QCoro::waitFor(m_kor7->GoOnLine(true));
    if (accepted) {
        QTRY_VERIFY_WITH_TIMEOUT(m_kor7->OnLine(), scaled(15000));
        QVERIFY(m_prompter->records().isEmpty());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_prompter->texts(),
                              QStringList{QStringLiteral("Wrong instrument type, disconnecting!")},
                              scaled(15000));
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->Connected(), scaled(10000)); // released by the dock
    QVERIFY(!m_kor7->OnLine());
    QCOMPARE(m_onlineEvents, 0);
    QVERIFY(!sentMnemonics().contains("VFL"));
    QVERIFY(sentMnemonics().contains("WHO"));
}

void TstKor7Sim::memoryRoundTrip()
{
    QVERIFY(goOnLine());
    const QByteArray instrumentBefore = m_simDock->instrument()->image();

    QVERIFY(QCoro::waitFor(m_kor7->ReadUnitEE()));
    QVERIFY(QCoro::waitFor(m_kor7->ReadSensorTable()));
    for (quint8 s = 0; s < SensorSlotCount; ++s)
        QVERIFY(QCoro::waitFor(m_kor7->ReadSensorEE(s)));
    QVERIFY(QCoro::waitFor(m_kor7->ReadCustServScrs()));

    Kor7Image& image = m_kor7->EEImage();
    QCOMPARE(image.unitBytes(), instrumentBefore.left(UnitMemorySize));
    for (int s = 0; s < SensorSlotCount; ++s)
        QCOMPARE(image.slotBytes(s), instrumentBefore.mid(sensorSlotOffset(s), SensorSlotSize));
    QCOMPARE(image.screenBytes(), instrumentBefore.mid(ScreensOffset, ScreensSize));
    QCOMPARE(m_kor7->SensorTable(), QByteArray::fromHex("0b151f65000000"));
    QVERIFY(m_kor7->CustServScrs().at(0).startsWith(QStringLiteral("CALDERWICK")));
    const UnitConfig unit = image.unit();
    QCOMPARE(unit.serialNumber, 123456789u);
    QCOMPARE(unit.firmwareVersion, quint16(123));

    // Change an alarm level, an option bit and a screen.
    SensorConfig h2s = image.sensor(3);
    QCOMPARE(h2s.dangerAlarm, qint16(200));
    h2s.dangerAlarm = 300;
    QVERIFY(image.setSensor(3, h2s));
    const bool peak = image.GetOption(PeakAlarmEnabled);
    m_kor7->SetOption(PeakAlarmEnabled, !peak);
    m_kor7->CustServScrs()[1] = QStringLiteral("CHANGED");
    const QByteArray written = image.bytes();

    QVERIFY(QCoro::waitFor(m_kor7->WriteUnitEE()));
    for (quint8 s = 0; s < SensorSlotCount; ++s)
        QVERIFY(QCoro::waitFor(m_kor7->WriteSensorEE(s)));
    QVERIFY(QCoro::waitFor(m_kor7->WriteCustServScrs()));

    // The instrument holds exactly what was written, the bytes no field interprets included.
    const QByteArray instrumentAfter = m_simDock->instrument()->image();
    QCOMPARE(instrumentAfter.left(2056), image.bytes().left(2056));
    QCOMPARE(instrumentAfter.mid(ScreensOffset), image.bytes().mid(ScreensOffset));
    QCOMPARE(le16s(instrumentAfter, sensorSlotOffset(3) + slot::DangerAlarm), qint16(300));

    // Read again by a fresh component: byte for byte what was written.
    TKor7 again(nullptr, m_prompter.get());
    again.SetKorLink(m_link.get());
    again.SetCmdTimeOut(-scaled(5000));
    QVERIFY(QCoro::waitFor(again.ReadUnitEE()));
    for (quint8 s = 0; s < SensorSlotCount; ++s)
        QVERIFY(QCoro::waitFor(again.ReadSensorEE(s)));
    QVERIFY(QCoro::waitFor(again.ReadCustServScrs()));
    QCOMPARE(again.EEImage().bytes().left(2056), written.left(2056));
    QCOMPARE(again.EEImage().screenBytes(), image.screenBytes());
    QCOMPARE(again.EEImage().GetOption(PeakAlarmEnabled), !peak);
    QCOMPARE(again.CustServScrs().at(1), QStringLiteral("CHANGED        "));
    QVERIFY(m_prompter->records().isEmpty());
}

void TstKor7Sim::clock()
{
    QVERIFY(goOnLine());
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    int sentError = -1;
    m_kor7->OnSentRTC = [&](QObject*, int error) { sentError = error; };
    QVERIFY(QCoro::waitFor(m_kor7->SetRTC(when)));
    QCOMPARE(sentError, 0);
    QVERIFY(qAbs(m_simDock->instrument()->clockSeconds() - qint64(DateTimeToSeconds(when))) <= 2);
    QDateTime got;
    m_kor7->OnGotRTC = [&](QObject*, const QDateTime& value) { got = value; };
    QVERIFY(QCoro::waitFor(m_kor7->ReadRTC()));
    QVERIFY(qAbs(when.secsTo(got)) <= 2);
    QCOMPARE(m_kor7->DateTime(), got);
}

void TstKor7Sim::countsAndReadings()
{
    QVERIFY(goOnLine());
    std::array<int, 7> counts{};
    m_kor7->OnGotSensorCounts = [&](QObject*, const std::array<int, 7>& c) { counts = c; };
    QVERIFY(QCoro::waitFor(m_kor7->ReadSensorCounts()));
    // The simulator reports 1000 + slot for every slot with a sensor, in slot order.
    QCOMPARE(counts, (std::array<int, 7>{1000, 1001, 1002, 1003, 0, 0, 0}));
    int battery = -1;
    m_kor7->OnGotCounts = [&](QObject*, int, int, int b, int, int) { battery = b; };
    QVERIFY(QCoro::waitFor(m_kor7->ReadInstrumentCounts()));
    QCOMPARE(battery, 780);
    std::array<int, 7> gas{};
    m_kor7->OnGotGasReading = [&](QObject*, const std::array<int, 7>& g) { gas = g; };
    QVERIFY(QCoro::waitFor(m_kor7->ReadGas()));
    QCOMPARE(gas[0], 209); // fresh air on the oxygen sensor
}

void TstKor7Sim::splitReplyJoined()
{
    QVERIFY(goOnLine());
    m_simDock->addFault(
        QJsonObject{{"command", "RUE"}, {"channel", "data"}, {"kind", "split"}, {"at", 100}, {"ms", 60}});
    QVERIFY(QCoro::waitFor(m_kor7->ReadUnitEE()));
    QCOMPARE(m_kor7->EEImage().unitBytes(), m_simDock->instrument()->image().left(UnitMemorySize));
}

void TstKor7Sim::shortReplyFails()
{
    QVERIFY(goOnLine());
    QVERIFY(QCoro::waitFor(m_kor7->ReadSensorEE(3)));
    const QByteArray before = m_kor7->EEImage().slotBytes(3);
    // 4 + 230 bytes: the old acceptance length, 26 bytes short of the slot.
    m_simDock->addFault(
        QJsonObject{{"command", "RAE"}, {"channel", "data"}, {"kind", "cut"}, {"bytes", 234}});
    m_kor7->SetReplyGapMs(scaled(300));
    int errorSlot = -1;
    bool got = false;
    m_kor7->OnErrorReadingEE = [&](QObject*, quint8 slot) { errorSlot = slot; };
    m_kor7->OnGotSensorEE = [&](QObject*, const QByteArray&, quint8) { got = true; };
    QVERIFY(!QCoro::waitFor(m_kor7->ReadSensorEE(3)));
    QCOMPARE(errorSlot, 3);
    QVERIFY(!got);
    QCOMPARE(m_kor7->EEImage().slotBytes(3), before); // nothing undefined reaches the image
    // The next command is answered normally.
    QVERIFY(QCoro::waitFor(m_kor7->ReadSensorEE(3)));
}

void TstKor7Sim::lateReplyDropped_data()
{
    QTest::addColumn<bool>("checkIndex");
    QTest::newRow("index checked") << true;
    QTest::newRow("index not checked") << false;
}

void TstKor7Sim::lateReplyDropped()
{
    QFETCH(bool, checkIndex);
    QVERIFY(goOnLine());
    m_link->SetCheckReplyIndex(checkIndex);
    // RSC answers only after the command's time-out; its reply arrives while GST waits.
    m_simDock->addFault(
        QJsonObject{{"command", "RSC"}, {"channel", "data"}, {"kind", "delay"}, {"ms", scaled(600)}});
    m_kor7->SetCmdTimeOut(-scaled(300));
    int timeOuts = 0;
    m_kor7->OnCommandTimeOut = [&](QObject*) { ++timeOuts; };
    int clockErrors = 0;
    m_kor7->OnErrorReadingRTC = [&](QObject*) { ++clockErrors; };
    QVERIFY(!QCoro::waitFor(m_kor7->ReadRTC()));
    QCOMPARE(clockErrors, 1);
    QCOMPARE(timeOuts, 1);

    m_kor7->SetCmdTimeOut(-scaled(5000));
    m_kor7->SetReplyGapMs(scaled(200));
    // GST is sent right away and answered late, so the late RSC reply comes well before it.
    m_simDock->addFault(
        QJsonObject{{"command", "GST"}, {"channel", "data"}, {"kind", "delay"}, {"ms", scaled(1500)}});
    const bool ok = QCoro::waitFor(m_kor7->ReadSensorTable());
    if (checkIndex) {
        // The clock's reply is dropped; the table is the instrument's.
        QVERIFY(ok);
        QCOMPARE(m_kor7->SensorTable(), QByteArray::fromHex("0b151f65000000"));
    } else {
        // As the dock delivers it: the clock's reply is taken for the table's answer, which it
        // is too short to be, so the read fails instead of filling the table with clock bytes.
        QVERIFY(!ok);
        QCOMPARE(m_kor7->SensorTable(), QByteArray(7, '\0'));
    }
}

void TstKor7Sim::handshakeRestartsAfterTimeOut()
{
    m_kor7->SetFixedTimeOuts(-scaled(400), -scaled(400), 15, 30);
    // The first WHO is answered late: after its time-out, while the handshake has gone back to ENQ.
    m_simDock->addFault(
        QJsonObject{{"command", "WHO"}, {"channel", "data"}, {"kind", "delay"}, {"ms", scaled(600)}});
    // The first VFL is not answered at all.
    m_simDock->addFault(QJsonObject{{"command", "VFL"}, {"channel", "data"}, {"kind", "noReply"}});
    QVERIFY(goOnLine());
    QCOMPARE(m_kor7->InstrumentFlashVersion(), QStringLiteral("1.23"));
    QVERIFY(m_prompter->records().isEmpty()); // no "Wrong instrument type"
    const QStringList sent = sentMnemonics();
    QCOMPARE(sent.count("ENQ"), 3);
    QCOMPARE(sent.last(), QStringLiteral("VFL"));
    QVERIFY(m_link->Connected());
}

void TstKor7Sim::firmwareProgrammed()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kor7.bin");
    const QByteArray image = firmwareImage(FlashFileSize, 15);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
    }
    QVERIFY(goOnLine());
    QVERIFY(m_kor7->LoadFlashFile(path));
    QCOMPARE(m_kor7->FlashFileVersion(), QStringLiteral("2.34"));
    QCOMPARE(m_kor7->FlashFileDescription(), QStringLiteral("Kor7 test firmware "));
    QCOMPARE(m_kor7->FlashFileVersionValue().value_or(0), 2.34);

    int progressEvents = 0, lastPosition = 0, pagesOk = 0, flashResult = -1;
    m_kor7->OnFlashProgress = [&](QObject*, int position, int total) {
        ++progressEvents;
        lastPosition = position;
        QCOMPARE(total, FlashFileSize);
    };
    m_kor7->OnSentEEPage = [&](QObject*, int error) { pagesOk += error == 0; };
    m_kor7->OnProgFlashSent = [&](QObject*, int error) { flashResult = error; };
    QVERIFY(QCoro::waitFor(m_kor7->ProgramFlash()));
    QCOMPARE(pagesOk, FlashPageCount);
    QCOMPARE(progressEvents, FlashPageCount);
    QCOMPARE(lastPosition, FlashFileSize);
    QCOMPARE(flashResult, 0);
    QCOMPARE(m_simDock->instrument()->firmwareBuffer(), image);
    QCOMPARE(m_simDock->instrument()->flashVersion(), QStringLiteral("2.34"));
    const QStringList sent = sentMnemonics();
    QCOMPARE(sent.count("WEP"), FlashPageCount);
    QCOMPARE(sent.last(), QStringLiteral("PFM"));
    // The instrument restarts with its new firmware: the link goes down.
    QTRY_VERIFY_WITH_TIMEOUT(!m_link->Connected(), scaled(10000));
}

void TstKor7Sim::corruptFirmwareRefused_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("typeByte");
    QTest::newRow("262143 bytes") << FlashFileSize - 1 << 15;
    QTest::newRow("262145 bytes") << FlashFileSize + 1 << 15;
    QTest::newRow("type byte 14") << FlashFileSize << 14;
}

void TstKor7Sim::corruptFirmwareRefused()
{
    QFETCH(int, size);
    QFETCH(int, typeByte);
    QTemporaryDir dir;
    const QString path = dir.filePath("kor7.bin");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(firmwareImage(size, typeByte));
    }
    QVERIFY(goOnLine());
    QVERIFY(!m_kor7->LoadFlashFile(path));
    QVERIFY(!QCoro::waitFor(m_kor7->ProgramFlash()));
    QVERIFY(!sentMnemonics().contains("WEP"));
    QVERIFY(!sentMnemonics().contains("PFM"));
    QVERIFY(m_link->Connected());
}

void TstKor7Sim::refusedPageRetried()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kor7.bin");
    const QByteArray image = firmwareImage(FlashFileSize, 15);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
    }
    QVERIFY(goOnLine());
    QVERIFY(m_kor7->LoadFlashFile(path));
    // Page 5 is refused twice, then taken.
    m_simDock->addFault(QJsonObject{
        {"command", "WEP"}, {"channel", "data"}, {"kind", "nak"}, {"occurrence", 6}, {"count", 2}});
    QVERIFY(QCoro::waitFor(m_kor7->ProgramFlash()));
    QCOMPARE(sentMnemonics().count("WEP"), FlashPageCount + 2);
    QCOMPARE(m_simDock->instrument()->firmwareBuffer(), image);
}

void TstKor7Sim::refusedPageAbortsBeforePfm()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kor7.bin");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(firmwareImage(FlashFileSize, 15));
    }
    QVERIFY(goOnLine());
    QVERIFY(m_kor7->LoadFlashFile(path));
    // Page 3 (the 4th WEP) is refused every time.
    m_simDock->addFault(QJsonObject{
        {"command", "WEP"}, {"channel", "data"}, {"kind", "nak"}, {"occurrence", 4}, {"count", 100}});
    int pageErrors = 0;
    bool flashStarted = false;
    m_kor7->OnSentEEPage = [&](QObject*, int error) { pageErrors += error != 0; };
    m_kor7->OnProgFlashSent = [&](QObject*, int) { flashStarted = true; };
    QVERIFY(!QCoro::waitFor(m_kor7->ProgramFlash()));
    QCOMPARE(pageErrors, 1);
    QVERIFY(!flashStarted);
    const QStringList sent = sentMnemonics();
    QCOMPARE(sent.count("WEP"), 3 + TKor7::MaxPageSends);
    QVERIFY(!sent.contains("PFM"));
    QCOMPARE(m_prompter->texts(), QStringList{QStringLiteral("Error sending Flash")});
    QVERIFY(m_link->Connected()); // the instrument keeps its old firmware and stays on line
}

void TstKor7Sim::downloadEvents_data()
{
    QTest::addColumn<int>("events");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<int>("dedRequests");
    QTest::newRow("none") << 0 << QJsonObject() << 0;
    QTest::newRow("30 in packets of 8") << 30 << QJsonObject() << 4;
    QTest::newRow("a refused packet asked again") << 30
                                                  << QJsonObject{{"command", "DED"},
                                                                 {"channel", "data"},
                                                                 {"kind", "nak"},
                                                                 {"occurrence", 2},
                                                                 {"count", 2}}
                                                  << 6;
    QTest::newRow("a packet cut short asked again")
        << 30 << QJsonObject{{"command", "DED"}, {"channel", "data"}, {"kind", "cut"}, {"bytes", 100}} << 5;
}

void TstKor7Sim::downloadEvents()
{
    QFETCH(int, events);
    QFETCH(QJsonObject, fault);
    QFETCH(int, dedRequests);
    cleanup();
    m_prompter = std::make_unique<UnattendedPrompter>();
    m_prompter->setEcho(false);
    QJsonObject setup = instrumentSetup();
    setup["events"] = events;
    QVERIFY(startSim(setup));
    QVERIFY(goOnLine());
    if (!fault.isEmpty())
        m_simDock->addFault(fault);
    m_kor7->SetEventsPerPacket(8);
    m_kor7->SetReplyGapMs(scaled(200));
    int done = 0, lastProgress = -1;
    m_kor7->OnEventsDownloaded = [&](QObject*) { ++done; };
    m_kor7->OnEvtDownloadProgress = [&](QObject*, int position, int total) {
        lastProgress = position;
        QCOMPARE(total, events);
    };
    QVERIFY(QCoro::waitFor(m_kor7->DownloadEvents()));
    QCOMPARE(done, 1);
    QCOMPARE(m_kor7->EventCounter(), events);
    QCOMPARE(m_kor7->EventRecords(), m_simDock->instrument()->events());
    QCOMPARE(sentMnemonics().count("DED"), dedRequests);
    if (events > 0)
        QCOMPARE(lastProgress, events);
}

void TstKor7Sim::downloadSessionsAndRecords()
{
    cleanup();
    m_prompter = std::make_unique<UnattendedPrompter>();
    m_prompter->setEcho(false);
    QJsonObject setup = instrumentSetup();
    setup["sessions"] = QJsonArray{QJsonObject{{"number", 1}, {"records", 3}, {"sensors", 4}},
                                   QJsonObject{{"number", 3}, {"records", 10}, {"sensors", 4}},
                                   QJsonObject{{"number", 4}, {"records", 0}, {"sensors", 4}}};
    QVERIFY(startSim(setup));
    QVERIFY(goOnLine());
    TDownloadResult result = TDownloadResult::ddMisMatchedSession;
    m_kor7->OnSessionsDownloaded = [&](QObject*, TDownloadResult r) { result = r; };
    QVERIFY(QCoro::waitFor(m_kor7->DownloadSessions(0, false)));
    QCOMPARE(result, TDownloadResult::ddNoError);
    QCOMPARE(m_kor7->SessionCounter(), 3);
    QCOMPARE(m_kor7->SessionNumbers(), (QList<int>{1, 3, 4}));
    // Skipped numbers: RSS 1, then 2 (answered with 3), then 4.
    QList<int> asked;
    for (const auto& e : m_sim->transcript().entriesFor(10001, QStringLiteral("data"), QStringLiteral("in")))
        if (e.bytes.startsWith("RSS"))
            asked << quint8(e.bytes.at(4));
    QCOMPARE(asked, (QList<int>{1, 2, 4}));
    const auto simSessions = m_simDock->instrument()->sessions();
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_kor7->SessionHeaders().at(i), simSessions.at(i).header);

    // Session header 2 (number 3): 10 records of 4 sensors, 72 bytes each, in packets of 4.
    m_kor7->SetRecordsPerPacket(4);
    TDownloadResult records = TDownloadResult::ddMisMatchedSession;
    m_kor7->OnRecordsDownloaded = [&](QObject*, TDownloadResult r) { records = r; };
    QVERIFY(QCoro::waitFor(m_kor7->DownloadSessionRecords(2, 1)));
    QCOMPARE(records, TDownloadResult::ddNoError);
    QCOMPARE(m_kor7->RecordCounter(), 10);
    QCOMPARE(m_kor7->RecordCounterEffective(), 10);
    for (int r = 1; r <= 10; ++r) {
        QCOMPARE(m_kor7->DLRecords().at(r).size(), TKor7::RecordSlotSize);
        QCOMPARE(m_kor7->DLRecords().at(r).left(72), simSessions.at(1).records.at(r - 1));
    }
    // A session without records: nothing asked.
    const int dsdBefore = sentMnemonics().count("DSD");
    QVERIFY(QCoro::waitFor(m_kor7->DownloadSessionRecords(3, 1)));
    QCOMPARE(sentMnemonics().count("DSD"), dsdBefore);
    QCOMPARE(records, TDownloadResult::ddNoError);
}

void TstKor7Sim::blackBox()
{
    cleanup();
    m_prompter = std::make_unique<UnattendedPrompter>();
    m_prompter->setEcho(false);
    QJsonObject setup = instrumentSetup();
    setup["dataLogger"] = false;
    setup["sessions"] = 2;
    QVERIFY(startSim(setup));
    QVERIFY(goOnLine());
    int blackboxes = 0;
    m_kor7->OnIsBlackbox = [&](QObject*) { ++blackboxes; };
    QVERIFY(!QCoro::waitFor(m_kor7->DownloadSessions(0, false)));
    QCOMPARE(blackboxes, 1);
    QVERIFY(!sentMnemonics().contains("RSS"));
    // Asked for explicitly, the headers come all the same.
    QVERIFY(QCoro::waitFor(m_kor7->DownloadSessions(0, true)));
    QCOMPARE(m_kor7->SessionCounter(), 2);
}

void TstKor7Sim::shortRecordPacketAskedAgain()
{
    cleanup();
    m_prompter = std::make_unique<UnattendedPrompter>();
    m_prompter->setEcho(false);
    QJsonObject setup = instrumentSetup();
    setup["sessions"] = QJsonArray{QJsonObject{{"number", 1}, {"records", 8}, {"sensors", 4}}};
    QVERIFY(startSim(setup));
    QVERIFY(goOnLine());
    QVERIFY(QCoro::waitFor(m_kor7->DownloadSessions(0, false)));
    m_kor7->SetRecordsPerPacket(4);
    m_kor7->SetReplyGapMs(scaled(200));
    // The first packet stops inside its third record: two are kept, the rest asked for again.
    m_simDock->addFault(QJsonObject{
        {"command", "DSD"}, {"channel", "data"}, {"kind", "cut"}, {"bytes", 4 + 3 + 2 * 72 + 30}});
    QVERIFY(QCoro::waitFor(m_kor7->DownloadSessionRecords(1, 1)));
    QCOMPARE(m_kor7->RecordCounterEffective(), 8);
    QList<int> firsts;
    for (const auto& e : m_sim->transcript().entriesFor(10001, QStringLiteral("data"), QStringLiteral("in")))
        if (e.bytes.startsWith("DSD"))
            firsts << ((quint8(e.bytes.at(5)) << 8) | quint8(e.bytes.at(6)));
    QCOMPARE(firsts, (QList<int>{1, 3, 7}));
    const auto records = m_simDock->instrument()->sessions().at(0).records;
    for (int r = 1; r <= 8; ++r)
        QCOMPARE(m_kor7->DLRecords().at(r).left(72), records.at(r - 1));
}

void TstKor7Sim::commandsQueue()
{
    QVERIFY(goOnLine());
    // Three operations started together go one after the other, each with its own reply.
    auto unit = m_kor7->ReadUnitEE();
    auto table = m_kor7->ReadSensorTable();
    auto clock = m_kor7->ReadRTC();
    QVERIFY(QCoro::waitFor(unit));
    QVERIFY(QCoro::waitFor(table));
    QVERIFY(QCoro::waitFor(clock));
    QCOMPARE(m_kor7->EEImage().unitBytes(), m_simDock->instrument()->image().left(UnitMemorySize));
    QCOMPARE(m_kor7->SensorTable(), QByteArray::fromHex("0b151f65000000"));
    QCOMPARE(sentMnemonics().mid(3), (QStringList{"RUE", "GST", "RSC"}));
}

void TstKor7Sim::instrumentLeavesDuringCommand()
{
    QVERIFY(goOnLine());
    m_simDock->addFault(QJsonObject{{"command", "RUE"}, {"channel", "data"}, {"kind", "noReply"}});
    auto read = m_kor7->ReadUnitEE();
    QTRY_VERIFY_WITH_TIMEOUT(sentMnemonics().contains("RUE"), scaled(5000));
    m_simDock->removeInstrument();
    // The command ends when the instrument leaves, not after its time-out.
    QVERIFY(!QCoro::waitFor(read));
    QCOMPARE(m_offlineEvents, 1);
    QCOMPARE(m_kor7->EEImage().unitBytes(), QByteArray(UnitMemorySize, '\0'));
}

void TstKor7Sim::offLine()
{
    // Nothing connected: every operation fails at once with its own error event, nothing is sent.
    int countErrors = 0, gasErrors = 0, unitErrors = 0;
    m_kor7->OnErrorReadingCounts = [&](QObject*) { ++countErrors; };
    m_kor7->OnErrorReadingGas = [&](QObject*) { ++gasErrors; };
    m_kor7->OnErrorReadingUnitEE = [&](QObject*) { ++unitErrors; };
    QVERIFY(!QCoro::waitFor(m_kor7->ReadInstrumentCounts()));
    QVERIFY(!QCoro::waitFor(m_kor7->ReadSensorCounts()));
    QCOMPARE(countErrors, 2);
    QCOMPARE(gasErrors, 0);
    QVERIFY(!QCoro::waitFor(m_kor7->ReadGas()));
    QCOMPARE(gasErrors, 1);
    QVERIFY(!QCoro::waitFor(m_kor7->ReadUnitEE()));
    QCOMPARE(unitErrors, 1);
    // Seven screens are refused before anything else.
    m_kor7->CustServScrs() = QStringList{"1", "2", "3", "4", "5", "6", "7"};
    int screenErrors = 0;
    m_kor7->OnErrorWritingCustServScrs = [&](QObject*) { ++screenErrors; };
    QVERIFY(!QCoro::waitFor(m_kor7->WriteCustServScrs()));
    QCOMPARE(screenErrors, 1);
    QCOMPARE(m_prompter->texts(),
             QStringList{QStringLiteral("Error: There are not 8 Customer and Service Screens in list")});
    QVERIFY(m_sim->transcript().entriesFor(10001, QStringLiteral("data"), QStringLiteral("in")).isEmpty());
    // Without a link at all.
    TKor7 alone(nullptr, m_prompter.get());
    m_prompter->clear();
    QVERIFY(!QCoro::waitFor(alone.GoOnLine(true)));
    QCOMPARE(m_prompter->texts(), QStringList{QStringLiteral("No KorLink Assigned!")});
}

QTEST_MAIN(TstKor7Sim)
#include "tst_kor7sim.moc"
