// The main window in one process: the close sequence driven by the unattended prompter, the dock
// frames it creates and frees, and the handler of exceptions nothing caught.
#include "app/AppException.h"
#include "app/GlobalVars.h"
#include "app/MainWindow.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"
#include "TestSupport.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include "common/LedIndicator.h"
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace vx8;

namespace {

// A dock frame whose dock release is recorded instead of sent.
class FakeFrame : public TfraDockInfo
{
public:
    FakeFrame(QWidget* parent, QStringList* log, int index) : TfraDockInfo(parent), m_log(log), m_index(index) {}
    quint32 DockSerialNumber() const override { return quint32(12 + m_index); }
    bool DockLinkEnabled() const override { return m_linkEnabled; }
    QCoro::Task<> ShutDownDock() override
    {
        *m_log << QStringLiteral("dock %1 released").arg(m_index);
        m_linkEnabled = false;
        co_return;
    }

private:
    QStringList* m_log;
    int m_index;
    bool m_linkEnabled = true;
};

struct Harness
{
    test::TempHome home;
    UnattendedPrompter prompter;
    QStringList releases;
    int terminations = 0;
    std::unique_ptr<TfrmMain> window;

    Harness()
    {
        prompter.setEcho(false);
        Prompter::setInstance(&prompter);
        TfrmMain::Options o;
        int created = 0;
        o.dockFrameFactory = [this, created](QWidget* parent) mutable {
            return new FakeFrame(parent, &releases, created++);
        };
        o.terminate = [this](int) { ++terminations; };
        o.printerInstalled = [] { return false; };
        window = std::make_unique<TfrmMain>(o);
        // Without a database FormCreate ends the start-up; go on as if it had connected.
        terminations = 0;
        window->LoadRegistryDefaults();
        prompter.clear();
        window->show();
    }
    ~Harness()
    {
        window.reset();
        Prompter::setInstance(nullptr);
    }
    // A started live dock: active, its tab enabled, its link enabled.
    FakeFrame* addDock(bool idle, bool changed)
    {
        window->CreateOneDockFrame(QStringLiteral("LIVE"));
        const int n = window->DockCount - 1;
        auto* f = static_cast<FakeFrame*>(window->DockFrames[n]);
        f->FFrameActive = true;
        f->FIdle = idle;
        f->FConfigChanged = changed;
        f->FShutDownDone = false;
        window->DockTabs[n]->setEnabled(true);
        return f;
    }
    void closeAndSettle()
    {
        window->close();
        QTRY_VERIFY_WITH_TIMEOUT(!window->CloseSequenceRunning(), test::scaled(5000));
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void closeSequence_data();
    void closeSequence();
    void closeNowIsEnabledByAClose();
    void framesAndSummaryColumn();
    void listeningFrameIsNotCounted();
    void summaryColumnHeightFollowsDockCount();
    void exceptionInAnEventHandlerWritesTheErrorLog();
    void errorLogFileName();
    void accessViolationWritesTheFatalLog();
};

void TestMainWindow::closeSequence_data()
{
    QTest::addColumn<QStringList>("docks");     // "idle", "busy", "changed" (idle with a changed configuration)
    QTest::addColumn<QString>("answer");        // answer to the question asked, if any
    QTest::addColumn<QString>("question");      // the question expected (empty: none)
    QTest::addColumn<bool>("closesAtOnce");
    QTest::addColumn<QStringList>("releasedFirst"); // docks released by the first close
    QTest::addColumn<QString>("followUp");      // "becomeIdle", "closeAgain" or ""

    const QString testing = QStringLiteral("Testing is Inprogress.  Are you sure you want to exit?");
    const QString review =
        QStringLiteral("Changes have been made to Dock 00013!  Do you want to review your changes before closing?");
    QTest::newRow("all idle") << QStringList{"idle", "idle"} << QString() << QString() << true
                              << QStringList{"dock 0 released", "dock 1 released"} << QString();
    QTest::newRow("one busy, No") << QStringList{"idle", "busy"} << "No" << testing << false << QStringList{}
                                  << QString();
    QTest::newRow("one busy, Yes") << QStringList{"idle", "busy"} << "Yes" << testing << false
                                   << QStringList{"dock 0 released"} << "becomeIdle";
    QTest::newRow("changed, Yes") << QStringList{"idle", "changed"} << "Yes" << review << false << QStringList{}
                                  << "closeAgain";
    QTest::newRow("changed, No") << QStringList{"idle", "changed"} << "No" << review << true
                                 << QStringList{"dock 0 released", "dock 1 released"} << QString();
}

void TestMainWindow::closeSequence()
{
    QFETCH(QStringList, docks);
    QFETCH(QString, answer);
    QFETCH(QString, question);
    QFETCH(bool, closesAtOnce);
    QFETCH(QStringList, releasedFirst);
    QFETCH(QString, followUp);

    Harness h;
    QList<FakeFrame*> frames;
    for (const QString& d : docks) {
        frames << h.addDock(d != QLatin1String("busy"), d == QLatin1String("changed"));
    }
    if (!answer.isEmpty()) {
        h.prompter.addRule(question, Prompter::buttonFromName(answer));
    }
    h.closeAndSettle();

    QCOMPARE(h.prompter.texts(), question.isEmpty() ? QStringList{} : QStringList{question});
    QCOMPARE(h.releases, releasedFirst);
    QCOMPARE(h.terminations, closesAtOnce ? 1 : 0);
    QCOMPARE(h.window->DockCount, closesAtOnce ? 0 : docks.size());
    QVERIFY(h.prompter.statusTexts().contains(QStringLiteral("Saving Registry Settings...")));
    if (closesAtOnce) {
        QVERIFY(!h.window->isVisible());
        QCOMPARE(GlobalVars(), nullptr);
        return;
    }
    QVERIFY(h.window->isVisible());
    QVERIFY(GlobalVars() != nullptr);

    if (followUp == QLatin1String("becomeIdle")) {
        QCOMPARE(h.window->StatusText(0), QStringLiteral("SHUTDOWN DELAYED: All Processes Must Be Completed..."));
        QVERIFY(h.window->tmrShutdown->isActive());
        // The delayed shutdown waits while the dock is busy ...
        QTest::qWait(test::scaled(2500));
        QCOMPARE(h.terminations, 0);
        // ... and closes by itself once it is idle, without asking again.
        frames[1]->FIdle = true;
        QTRY_COMPARE_WITH_TIMEOUT(h.terminations, 1, test::scaled(10000));
        QCOMPARE(h.prompter.texts().size(), 1);
        QCOMPARE(h.releases, (QStringList{"dock 0 released", "dock 1 released"}));
        QCOMPARE(h.window->DockCount, 0);
    } else if (followUp == QLatin1String("closeAgain")) {
        // The changed dock's page is shown; its dock still runs.
        QCOMPARE(h.window->pgVexaExpressDocks->currentWidget(), h.window->DockTabs[1]);
        QVERIFY(frames[1]->DockLinkEnabled());
        h.closeAndSettle();
        QCOMPARE(h.terminations, 1);
        QCOMPARE(h.prompter.texts().size(), 1);
        QCOMPARE(h.releases, (QStringList{"dock 0 released", "dock 1 released"}));
    } else {
        // Nothing changed: every dock goes on running.
        for (FakeFrame* f : frames) {
            QVERIFY(f->DockLinkEnabled());
            QVERIFY(!f->FShutDownDone);
        }
        QVERIFY(!h.window->ClosingInProgress);
    }
}

void TestMainWindow::closeNowIsEnabledByAClose()
{
    Harness h;
    h.addDock(false, false);
    QVERIFY(!h.window->CloseNow1->isEnabled());
    h.prompter.addRule(QStringLiteral("Testing is Inprogress"), Prompter::No);
    h.closeAndSettle();
    QVERIFY(h.window->CloseNow1->isEnabled());
    QCOMPARE(h.terminations, 0);
    h.window->CloseNow1->trigger();
    QCOMPARE(h.terminations, 1);
    QVERIFY(h.releases.isEmpty()); // the busy dock is left as it is
}

void TestMainWindow::framesAndSummaryColumn()
{
    Harness h;
    GlobalVars()->NetworkVerificationInMinutes = 7;
    GlobalVars()->InstrFlashFile = QStringLiteral("/opt/kor7/k7.bin");
    h.window->CreateOneDockFrame(QStringLiteral("LIVE"));
    h.window->CreateOneDockFrame(QStringLiteral("LIVE"));
    QCOMPARE(h.window->DockCount, 2);
    TfraDockInfo* f = h.window->DockFrames[1];
    QCOMPARE(f->objectName(), QStringLiteral("DockFrame1"));
    QCOMPARE(h.window->DockStatusFrames[1]->objectName(), QStringLiteral("DockStatusFrame1"));
    QVERIFY(f->FIdle && f->FShutDownDone && !f->FShuttingDown);
    QCOMPARE(f->tmr_NetworkActivity->interval(), 7 * 60000);
    QCOMPARE(f->InstrFlashFileName(), QStringLiteral("/opt/kor7/k7.bin"));
    QVERIFY(!h.window->DockTabs[1]->isEnabledTo(h.window.get()));
    QVERIFY(!h.window->pgVexaExpressDocks->isTabVisible(1));
    // A click on the summary frame's group box selects its page.
    h.window->pgVexaExpressDocks->setTabVisible(1, true);
    h.window->DockStatusFrames[1]->gbDockStatusClick();
    QCOMPARE(h.window->pgVexaExpressDocks->currentIndex(), 1);
    // Frames go from the last.
    QPointer<TfraDockInfo> last = f;
    h.window->DestroyOneDockFrame();
    QCOMPARE(h.window->DockCount, 1);
    QVERIFY(last.isNull());
}

void TestMainWindow::listeningFrameIsNotCounted()
{
    Harness h;
    h.window->CreateOneDockFrame(QStringLiteral("LIVE"));
    h.window->CreateOneDockFrame(QStringLiteral("LISTENING"));
    QCOMPARE(h.window->DockCount, 1);
    QCOMPARE(h.window->DockFrames.size(), 2);
    QVERIFY(h.window->DockFrames[1]->lblBatteryStatus->isHidden());
    QVERIFY(h.window->DockFrames[1]->ledBattStatus->isHidden());
    QVERIFY(!h.window->DockFrames[0]->ledBattStatus->isHidden());
    // The close frees the listening frame too.
    QPointer<TfraDockInfo> listening = h.window->DockFrames[1];
    h.closeAndSettle();
    QCOMPARE(h.terminations, 1);
    QVERIFY(listening.isNull());
}

void TestMainWindow::summaryColumnHeightFollowsDockCount()
{
    Harness h;
    h.window->resize(1200, 900);
    h.window->LiveDockCount = 3;
    h.window->ListeningDockCount = 2;
    h.window->FormResize();
    QCOMPARE(h.window->DockStatusBox->height(), 337);
    h.window->ListeningDockCount = 3;
    h.window->FormResize();
    QCOMPARE(h.window->DockStatusBox->height(), h.window->height() - 83);
    QCOMPARE(h.window->pgVexaExpressDocks->width(), h.window->width() - h.window->DockStatusBox->width() - 10);
}

void TestMainWindow::exceptionInAnEventHandlerWritesTheErrorLog()
{
    test::TempHome home;
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    Prompter::setInstance(&prompter);

    struct Window : QWidget
    {
        int closes = 0;
        void closeEvent(QCloseEvent* e) override
        {
            ++closes;
            e->ignore();
        }
    } window;
    setAppExceptionMainWindow(&window);
    QTimer::singleShot(0, [] { throw AppError(QStringLiteral("The dock answered nonsense")); });
    QTRY_COMPARE_WITH_TIMEOUT(window.closes, 1, test::scaled(5000));
    setAppExceptionMainWindow(nullptr);
    Prompter::setInstance(nullptr);

    const QStringList logs = QDir(home.folder()).entryList({QStringLiteral("VexaX_Error_Log*.log")});
    QCOMPARE(logs.size(), 1);
    QFile f(home.path(logs.first()));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLocal8Bit(f.readAll());
    const QStringList expected = {
        QStringLiteral("An error(non-fatal) has occurred in the program and must be closed!"),
        QString(),
        QStringLiteral("Here are some details about the error:"),
        QString(),
        QStringLiteral("The dock answered nonsense"),
        QString(),
        QStringLiteral("Error log: ") + home.path(logs.first()),
    };
    QCOMPARE(text, expected.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    // The same lines were shown.
    QCOMPARE(prompter.texts(), QStringList{expected.join(QStringLiteral("\r\n"))});
}

void TestMainWindow::errorLogFileName()
{
    test::TempHome home;
    QCOMPARE(ErrorLog::fileName(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))),
             home.folder() + QStringLiteral("VexaX_Error_Log2026-03-04_05-06.log"));
    const QStringList fatal = ErrorLog::lines(true, QStringLiteral("m"), QStringLiteral("f"));
    QCOMPARE(fatal.first(), QStringLiteral("An fatal error has occurred and the program must be closed!"));
}

void TestMainWindow::accessViolationWritesTheFatalLog()
{
    test::TempHome home;
    const pid_t child = fork();
    if (child == 0) {
        installFatalSignalHandlers();
        raise(SIGSEGV);
        _exit(0); // not reached
    }
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 128 + SIGSEGV);
    const QStringList logs = QDir(home.folder()).entryList({QStringLiteral("VexaX_Error_Log*.log")});
    QCOMPARE(logs.size(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("^VexaX_Error_Log\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d\\.log$"))
                .match(logs.first())
                .hasMatch());
    QFile f(home.path(logs.first()));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLocal8Bit(f.readAll());
    QVERIFY(text.startsWith(QStringLiteral("An fatal error has occurred and the program must be closed!\r\n\r\n"
                                           "Here are some details about the error:\r\n\r\n")));
    QVERIFY(text.endsWith(QStringLiteral("Error log: ") + home.path(logs.first()) + QStringLiteral("\r\n")));
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestMainWindow t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_mainwindow.moc"
