// The dock frame's own components and writers against the simulator over loopback TCP: the
// instrument link and component bound to the dock link, the VOC list of the start-up (with and
// without the results database of the "db" fixture), the debug window's traffic lines and their
// 500-line rule, the pop-up menu and the operating mode's "Advanced" button.
#include "PgTestServer.h"
#include "TestSupport.h"
#include "common/DebugSink.h"
#include "common/LedIndicator.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"
#include "dockframe/Pinger.h"
#include "docklink/CalderwickVX8Dock.h"
#include "instrument/InstrumentView.h"
#include "instrument/Kor7.h"
#include "instrument/KorLink.h"
#include "sim/SimServer.h"

#include <QAction>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <QCoro/QCoroTask>

#include <memory>

using namespace vx8;
using vx8::test::scaled;

namespace {

// A debug window that records its lines.
class RecordingSink : public DebugSink
{
public:
    QStringList lines;
    int clears = 0;
    int shown = 0;
    int LineCount() const override { return int(lines.size()); }
    void Clear() override
    {
        lines.clear();
        ++clears;
    }
    void AppendLine(const QString& line) override { lines << line; }
    void ShowWindow() override { ++shown; }

    QStringList containing(const QString& part) const { return lines.filter(part); }
};

// Registers a sink as the program's debug window for the life of the object.
struct ProgramSink
{
    explicit ProgramSink(DebugSink* sink) { DebugSink::setProgram(sink); }
    ~ProgramSink() { DebugSink::setProgram(nullptr); }
};

// A dock frame talking to one simulated dock.
struct FrameRig
{
    sim::SimServer sim;
    UnattendedPrompter prompter;
    std::unique_ptr<TfraDockInfo> frame;
    DockFrameSettings settings;
    TDBSettings database;

    bool start(QJsonObject dockSpec, QString* error)
    {
        prompter.setEcho(false);
        static int next = 0;
        const QString firstAddress =
            QStringLiteral("127.0.%1.%2").arg(150 + (QCoreApplication::applicationPid() % 50)).arg(10 + next++);
        if (!dockSpec.contains(QStringLiteral("serial"))) {
            dockSpec[QStringLiteral("serial")] = 10001;
        }
        const QJsonObject scenario{{"controlPort", 0},
                                   {"dataPort", 0},
                                   {"timeFactor", 0.01},
                                   {"firstAddress", firstAddress},
                                   {"discovery", QJsonObject{{"enabled", false}}},
                                   {"docks", QJsonArray{dockSpec}}};
        if (!sim.loadScenario(scenario, error) || !sim.start(error)) {
            return false;
        }
        frame = std::make_unique<TfraDockInfo>(nullptr, &prompter);
        frame->ReleaseUSBDevice(); // a network dock
        TCalderwickVX8Dock* link = frame->VexaExpressDock1;
        link->SetEthernetAddress(sim.dock(0)->address().toString());
        link->SetPorts(sim.dock(0)->controlPort(), sim.dock(0)->dataPort());
        DockTiming timing = link->Timing();
        timing.tcpAfterSendPauseMs = 0;
        timing.tcpChunkPauseMs = 0;
        link->SetTiming(timing);
        settings.DockTimeout = 1;
        settings.FormatSettings = QLocale::c();
        frame->Core().Settings = [this]() { return settings; };
        frame->Core().ResultsDatabase = [this]() { return database; };
        frame->Core().FreeDockWindow = std::chrono::milliseconds(1500);
        frame->Core().RetryPause = std::chrono::milliseconds(200);
        return true;
    }

    bool startUp(bool enable = true)
    {
        bool done = false, result = false;
        auto runner = [](FrameRig* r, bool enable, bool* done, bool* result) -> QCoro::Task<void> {
            bool enabled = true;
            if (enable) {
                enabled = co_await r->frame->DockEnable();
            }
            if (enabled) {
                *result = co_await r->frame->DockStartUp(nullptr, nullptr, enable, QString(), nullptr, 0);
            }
            *done = true;
        };
        auto t = runner(this, enable, &done, &result);
        if (!QTest::qWaitFor([&]() { return done; }, scaled(30000))) {
            qWarning("start-up did not end");
            return false;
        }
        return result;
    }

    // The chunks the application sent on a channel of the dock ("control" or "data").
    QList<QByteArray> sent(const QString& channel) const
    {
        QList<QByteArray> out;
        for (const auto& e : const_cast<sim::SimServer&>(sim).transcript().entriesFor(
                 sim.dock(0)->serial(), channel, QStringLiteral("in"))) {
            out << e.bytes;
        }
        return out;
    }
};

// Where the time stamp of a traffic line ends.
QString afterTime(const QString& line)
{
    const int at = line.indexOf(QStringLiteral(": "));
    return at < 0 ? line : line.mid(at + 2);
}

// The time stamp in the settings' format: parses back to a time near now.
bool timeIsNow(const QString& line, const QLocale& locale)
{
    const int at = line.indexOf(QStringLiteral(": "));
    const QDateTime t = locale.toDateTime(line.left(at), locale.dateTimeFormat(QLocale::ShortFormat));
    return t.isValid() && qAbs(t.secsTo(QDateTime::currentDateTime())) < 120;
}

} // namespace

class TstDockFrame : public QObject
{
    Q_OBJECT
private slots:
    void instrumentComponentsBoundToTheDockLink();
    void dockTrafficLines();
    void instrumentTrafficLines();
    void debugWindowCap_data();
    void debugWindowCap();
    void noDebugWindowNoLines();
    void vocListLoadedAfreshOnRestart();
    void vocListWithoutDatabase();
    void popupMenuFollowsTheDebugWindow();
    void advancedButtonByMode_data();
    void advancedButtonByMode();
    void statusFrameNothingOverlaps_data();
    void statusFrameNothingOverlaps();
    void instrumentPageShowsTheNewestLines();
    void frameFollowsItsParentsWidth();
};

void TstDockFrame::instrumentComponentsBoundToTheDockLink()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfraDockInfo frame(nullptr, &prompter);
    QVERIFY(frame.KorLink1);
    QCOMPARE(frame.KorLink1->InstrumentType(), TKorType::tpKor7);
    QCOMPARE(frame.KorLink1->CalderwickVX8Dock(), frame.VexaExpressDock1);
    QVERIFY(frame.Mellic1);
    QCOMPARE(frame.Mellic1->KorLink(), frame.KorLink1);
    QCOMPARE(frame.Mellic1->RecordsPerPacket(), 20);
    QCOMPARE(frame.Mellic1->EventsPerPacket(), quint8(20));
    // The instrument pages sit hidden on the instrument page.
    QVERIFY(frame.pgSensorData);
    QVERIFY(frame.tsInstrument->isAncestorOf(frame.pgSensorData));
    QVERIFY(frame.pgSensorData->isHidden());
    QVERIFY(frame.FCertificate && frame.FCertificate->isHidden());
    QCOMPARE(frame.FPing, frame.Core().FPing);
    QVERIFY(frame.FPing);
}

// Real control traffic of a start-up: every command sent and every chunk received is one line,
// "Dock(N/A)" until the configuration told the serial, "Dock(10001)" after.
void TstDockFrame::dockTrafficLines()
{
    FrameRig rig;
    RecordingSink sink;
    QString error;
    QVERIFY2(rig.start(QJsonObject{{"serial", 10001}}, &error), qPrintable(error));
    rig.frame->Core().SetDebugSink(&sink);
    QVERIFY(rig.startUp());

    const QList<QByteArray> sent = rig.sent(QStringLiteral("control"));
    QVERIFY(!sent.isEmpty());
    const QStringList sentLines = sink.containing(QStringLiteral(" Sent Data: "));
    QCOMPARE(sentLines.size(), sent.size());
    // The first command (GST) goes out before the serial is known.
    QCOMPARE(afterTime(sentLines.first()), QStringLiteral("Dock(N/A) Sent Data: ") + QString::fromLatin1(sent.first()));
    QVERIFY(timeIsNow(sentLines.first(), QLocale::c()));
    // The slave mode command comes after the configuration: the serial is known then.
    int slv = -1;
    for (int i = 0; i < sent.size(); ++i) {
        if (sent[i].startsWith("SLV")) {
            slv = i;
        }
    }
    QVERIFY(slv > 0);
    QCOMPARE(afterTime(sentLines[slv]), QStringLiteral("Dock(10001) Sent Data: ") + QString::fromLatin1(sent[slv]));

    // Replies: the configuration (REE) arrives while the serial is still unknown, later ones know it.
    const QStringList received = sink.containing(QStringLiteral(" Received Data: "));
    QVERIFY(!received.isEmpty());
    QVERIFY(received.first().contains(QStringLiteral(": Dock(N/A) Received Data: ")));
    QVERIFY(received.last().contains(QStringLiteral(": Dock(10001) Received Data: ")));
    QCOMPARE(sink.clears, 0);
    QVERIFY(rig.prompter.records().isEmpty());
}

// The instrument link's frames through the dock: "KOR7(N/A)" before the unit memory gave the
// serial, the nine-digit serial after.
void TstDockFrame::instrumentTrafficLines()
{
    FrameRig rig;
    RecordingSink sink;
    QString error;
    QVERIFY2(rig.start(QJsonObject{{"serial", 10001}, {"instrument", QJsonObject{{"serial", 123456}}}}, &error),
             qPrintable(error));
    rig.frame->Core().SetDebugSink(&sink);
    TKor7* kor7 = rig.frame->Mellic1;
    kor7->SetCmdTimeOut(-scaled(5000));
    QCoro::waitFor(kor7->GoOnLine(true));
    QVERIFY(QTest::qWaitFor([kor7] { return kor7->OnLine(); }, scaled(15000)));

    const QList<QByteArray> sent = rig.sent(QStringLiteral("data"));
    QVERIFY(sent.size() >= 3); // ENQ, WHO, VFL
    const QStringList sentLines = sink.containing(QStringLiteral(" Data Sent: "));
    QCOMPARE(sentLines.size(), sent.size());
    for (int i = 0; i < sent.size(); ++i) {
        QCOMPARE(afterTime(sentLines[i]), QStringLiteral("KOR7(N/A) Data Sent: ") + QString::fromLatin1(sent[i]));
    }
    QVERIFY(timeIsNow(sentLines.first(), QLocale::c()));
    const QStringList received = sink.containing(QStringLiteral("KOR7(N/A) Data Received: "));
    QVERIFY(received.size() >= sent.size());

    // Once the serial is known it stands in the lines, nine digits wide.
    rig.frame->Core().FInstrSerial = 123456;
    sink.lines.clear();
    QVERIFY(QCoro::waitFor(kor7->GoOnLine(true)));
    QVERIFY(!sink.containing(QStringLiteral(": KOR7(000123456) Data Sent: ENQ")).isEmpty());
    QVERIFY(!sink.containing(QStringLiteral(": KOR7(000123456) Data Received: ")).isEmpty());
    QVERIFY(sink.containing(QStringLiteral("(N/A)")).isEmpty());
}

void TstDockFrame::debugWindowCap_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("500 lines: appended") << 500 << 501;
    QTest::newRow("501 lines: cleared, the new line alone") << 501 << 1;
    QTest::newRow("far above") << 900 << 1;
}

// Every writer clears the window first when it holds more than 500 lines.
void TstDockFrame::debugWindowCap()
{
    QFETCH(int, before);
    QFETCH(int, after);
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfraDockInfo frame(nullptr, &prompter);
    RecordingSink sink;
    frame.Core().SetDebugSink(&sink);
    const std::function<void()> writers[] = {
        [&] { frame.VexaExpressDock1->OnDebugSndControlData(frame.VexaExpressDock1, "GST"); },
        [&] { frame.VexaExpressDock1->OnDebugRcvControlData(frame.VexaExpressDock1, "ACK"); },
        [&] { frame.KorLink1->OnDebugSend(frame.KorLink1, "ENQ0"); },
        [&] { frame.KorLink1->OnDebugReceive(frame.KorLink1, "ACK0"); },
    };
    for (const auto& write : writers) {
        sink.lines.clear();
        for (int i = 0; i < before; ++i) {
            sink.lines << QStringLiteral("line %1").arg(i);
        }
        write();
        QCOMPARE(sink.LineCount(), after);
        QVERIFY(sink.lines.last().contains(QStringLiteral(" Data")));
        if (after == 1) {
            QVERIFY(!sink.lines.first().startsWith(QStringLiteral("line ")));
        }
    }
}

// Without a debug window the writers write nowhere, and the program's window is the default.
void TstDockFrame::noDebugWindowNoLines()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfraDockInfo frame(nullptr, &prompter);
    QVERIFY(!frame.Core().DebugWindow());
    frame.VexaExpressDock1->OnDebugSndControlData(frame.VexaExpressDock1, "GST"); // no crash, no sink
    RecordingSink program;
    ProgramSink registered(&program);
    frame.KorLink1->OnDebugSend(frame.KorLink1, "ENQ0");
    QCOMPARE(program.lines.size(), 1);
    QCOMPARE(afterTime(program.lines.first()), QStringLiteral("KOR7(N/A) Data Sent: ENQ0"));
}

// Every start-up loads the list afresh: a restart holds the database's entries once.
void TstDockFrame::vocListLoadedAfreshOnRestart()
{
    const auto& server = test::PgTestServer::instance();
    QVERIFY2(server.loaded(), qPrintable(server.error()));
    FrameRig rig;
    QString error;
    QVERIFY2(rig.start(QJsonObject{{"serial", 10001}}, &error), qPrintable(error));
    rig.database = server.settings();
    TVocList reference;
    QVERIFY(reference.LoadVocList(server.settings(), &rig.prompter));
    QVERIFY(!reference.entries().isEmpty());

    QSignalSpy loaded(&rig.frame->Core(), &TDockController::VocListLoaded);
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(rig.startUp());
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), round, scaled(15000));
        QCOMPARE(loaded.last().at(0).toBool(), true);
        QCOMPARE(rig.frame->Core().FVocList.entries().size(), reference.entries().size());
    }
    QCOMPARE(rig.frame->Core().FVocList.GetVocName(2), QStringLiteral("Benzene"));
    QVERIFY(rig.prompter.records().isEmpty());
}

// Without a database the list stays empty, no dialog stops the start-up, and the frame's status
// bar says why.
void TstDockFrame::vocListWithoutDatabase()
{
    FrameRig rig;
    QString error;
    QVERIFY2(rig.start(QJsonObject{{"serial", 10001}}, &error), qPrintable(error));
    rig.database.ServerName = QStringLiteral("127.0.0.1");
    rig.database.ServerPort = QStringLiteral("1"); // nothing listens there
    rig.database.DatabaseName = QStringLiteral("none");
    rig.database.UserName = QStringLiteral("none");
    rig.frame->Core().FVocList.setEntries({TVoc{7, QStringLiteral("Stale"), {}, 0, 0, 0, 0, 0}});
    // The load runs on a thread of its own; its trace lines still reach the trace sink (the debug
    // window's) on the main thread only.
    QStringList traced;
    bool tracedOffMainThread = false;
    setTraceSink([&](const QString& category, const QString& text) {
        tracedOffMainThread = tracedOffMainThread || QThread::currentThread() != qApp->thread();
        traced << category + QStringLiteral(": ") + text;
    });
    struct SinkRemover
    {
        ~SinkRemover() { setTraceSink({}); }
    } removeSink;
    QSignalSpy loaded(&rig.frame->Core(), &TDockController::VocListLoaded);
    QString panel2; // as the load's end left it (later data activity writes there too)
    connect(&rig.frame->Core(), &TDockController::VocListLoaded, this,
            [&]() { panel2 = rig.frame->stbPanel[2]->text(); });
    QVERIFY(rig.startUp());
    QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, scaled(15000));
    QCOMPARE(loaded.first().at(0).toBool(), false);
    QVERIFY(rig.frame->Core().FVocList.entries().isEmpty());
    QCOMPARE(rig.frame->Core().FVocList.GetVocName(7), QStringLiteral("Unknown"));
    QVERIFY(rig.prompter.records().isEmpty());
    QCOMPARE(panel2, QStringLiteral("VOC List not loaded: Database Error"));
    QTRY_VERIFY_WITH_TIMEOUT(!traced.filter(QStringLiteral("vx8.instr: LoadVocList: ")).isEmpty(), scaled(5000));
    QVERIFY(!tracedOffMainThread);
}

void TstDockFrame::popupMenuFollowsTheDebugWindow()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfraDockInfo frame(nullptr, &prompter);
    const QList<QAction*> items = frame.PopupMenu1->actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0]->text(), QStringLiteral("Debug Window"));
    QCOMPARE(items[1]->text(), QStringLiteral("Exit"));
    QVERIFY(!frame.DebugWindow1->isEnabled());
    QVERIFY(frame.Exit1->isEnabled());

    RecordingSink window;
    {
        ProgramSink registered(&window);
        emit frame.PopupMenu1->aboutToShow();
        QVERIFY(frame.DebugWindow1->isEnabled());
        frame.DebugWindow1->trigger();
        QCOMPARE(window.shown, 1);
    }
    emit frame.PopupMenu1->aboutToShow();
    QVERIFY(!frame.DebugWindow1->isEnabled());
    frame.DebugWindow1Click(); // the window is gone: nothing to show, no crash
    QCOMPARE(window.shown, 1);
}

void TstDockFrame::advancedButtonByMode_data()
{
    QTest::addColumn<int>("softwareType");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("Normal") << 10 << true;
    QTest::newRow("SHOP") << 100 << false;
    QTest::newRow("Flash only") << 200 << true;
    QTest::newRow("QC") << 999 << false;
}

void TstDockFrame::advancedButtonByMode()
{
    QFETCH(int, softwareType);
    QFETCH(bool, enabled);
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfraDockInfo frame(nullptr, &prompter);
    DockFrameSettings settings;
    settings.SoftwareType = softwareType;
    frame.Core().Settings = [settings]() { return settings; };
    // An off-line network dock: the start-up ends after its first steps.
    frame.ReleaseUSBDevice();
    frame.VexaExpressDock1->SetEthernetAddress(QStringLiteral("127.0.0.2"));
    bool done = false;
    auto runner = [](TfraDockInfo* f, bool* done) -> QCoro::Task<void> {
        co_await f->DockStartUp(nullptr, nullptr, false, QString(), nullptr, 0);
        *done = true;
    };
    auto t = runner(&frame, &done);
    QVERIFY(QTest::qWaitFor([&] { return done; }, scaled(10000)));
    QCOMPARE(frame.cmd_Advanced->isEnabled(), enabled);
}

void TstDockFrame::statusFrameNothingOverlaps_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("shortened");
    QTest::newRow("no name") << QStringLiteral("Dock (10001)") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("30-character name")
        << QStringLiteral("Calibration Room North Bay 12 (10001)") << true;
}

// The summary frame: the connection LED, the caption, the six captions and their LEDs each have
// their own place inside the box; a caption too long for the box is shortened, not cut by it.
void TstDockFrame::statusFrameNothingOverlaps()
{
    QFETCH(QString, caption);
    QFETCH(bool, shortened);
    TfraDockStatus status;
    status.gbDockStatus->setTitle(caption);
    status.show();
    QVERIFY(QTest::qWaitForWindowExposed(&status));
    // The caption line lies across the top border; everything else stays inside the other three.
    const QRect inside = status.gbDockStatus->rect().adjusted(1, 0, -1, -1);
    const QRect title = status.captionRect();
    QCOMPARE(status.gbDockStatus->title(), caption); // the caption itself stays as set
    QCOMPARE(status.shownCaption().endsWith(QChar(0x2026)), shortened);
    QVERIFY(title.isEmpty() || inside.contains(title));

    QList<QWidget*> parts = status.gbDockStatus->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(parts.size(), 13); // 7 LEDs, 6 captions
    for (QWidget* w : parts) {
        QVERIFY2(inside.contains(w->geometry()), qPrintable(w->objectName()));
        QVERIFY2(!w->geometry().intersects(title), qPrintable(w->objectName()));
        if (auto* label = qobject_cast<QLabel*>(w)) {
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
            QVERIFY(label->fontMetrics().height() <= label->height());
        }
    }
    for (int i = 0; i < parts.size(); ++i) {
        for (int j = i + 1; j < parts.size(); ++j) {
            QVERIFY2(!parts[i]->geometry().intersects(parts[j]->geometry()),
                     qPrintable(parts[i]->objectName() + QStringLiteral(" / ") + parts[j]->objectName()));
        }
    }
    // The connection LED stands on the caption's line, left of it.
    const QRect led = status.ledDockConnectiontStatus->geometry();
    QVERIFY(led.top() >= 0 && led.bottom() < status.ledMLDetected->geometry().top());
    if (!title.isEmpty()) {
        QVERIFY(led.right() < title.left());
        QVERIFY(led.center().y() - title.center().y() <= 1 && title.center().y() - led.center().y() <= 1);
    }
}

// Lines logged while the dock page is in front are in view when the instrument page comes up.
void TstDockFrame::instrumentPageShowsTheNewestLines()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    TfraDockInfo frame(nullptr, &prompter);
    frame.resize(700, 500);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.pgeDockInfo->setCurrentIndex(1);
    frame.pgeDockInfo->setCurrentIndex(0);
    for (int i = 0; i < 300; ++i) {
        frame.AddLogLine(QStringLiteral("step %1").arg(i));
    }
    QScrollBar* bar = frame.memInProcess->verticalScrollBar();
    bar->setValue(0);
    frame.pgeDockInfo->setCurrentIndex(1);
    QTRY_VERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
}

// A frame placed without a layout keeps its parent's width.
void TstDockFrame::frameFollowsItsParentsWidth()
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    QWidget sheet;
    sheet.resize(640, 480);
    auto* frame = new TfraDockInfo(&sheet, &prompter);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    sheet.resize(900, 480);
    QTRY_COMPARE(frame->width(), 900);
    sheet.resize(700, 480);
    QTRY_COMPARE(frame->width(), 700);
}

QTEST_MAIN(TstDockFrame)
#include "tst_dockframe.moc"
