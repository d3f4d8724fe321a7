// The close sequence: settings saved, questions asked, docks released, frames freed.
//
// The questions come before any dock is touched: a close the user cancels, or turns into a review
// of a changed dock configuration, leaves every dock running as it was.
#include "app/GlobalVars.h"
#include "app/AboutBox.h"
#include "app/MainWindow.h"
#include "app/StartUpForm.h"
#include "common/Formatting.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"

#include <QCloseEvent>
#include <QTabWidget>
#include <QTimer>

namespace vx8 {

namespace {
const QString DelayedText = QStringLiteral("SHUTDOWN DELAYED: All Processes Must Be Completed...");
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (FCloseAccepted) {
        event->accept();
        return;
    }
    // The window closes only when the close sequence has decided so; it runs asynchronously
    // because releasing a dock waits for the dock's answers.
    event->ignore();
    if (FCloseSequenceRunning) {
        return;
    }
    if (DocksLoading) {
        // Frames in use by the dock loading are not freed under it: the loading stops at its
        // next step and closes the window then.
        FCloseWhileLoading = true;
        return;
    }
    FormClose();
}

bool TfrmMain::AllFramesIdle() const
{
    for (int i = 0; i < DockCount && i < DockFrames.size(); ++i) {
        if (DockFrames[i] && !DockFrames[i]->FIdle) {
            return false;
        }
    }
    return true;
}

QCoro::Task<> TfrmMain::ShutDownIdleDocks()
{
    for (int i = 0; i < DockCount && i < DockFrames.size(); ++i) {
        QPointer<TfraDockInfo> frame = DockFrames[i];
        QWidget* tab = i < DockTabs.size() ? DockTabs[i] : nullptr;
        if (!frame || !frame->FFrameActive || !frame->FIdle || !tab || !tab->isEnabledTo(this) ||
            !frame->DockLinkEnabled() || frame->FShutDownDone) {
            continue;
        }
        const QString of = QString::number(i + 1) + u'/' + QString::number(DockCount);
        ShowStatus(0, QStringLiteral("Attempting Dock ") + of + QStringLiteral(" Shutdown..."));
        frame->FShuttingDown = true;
        co_await frame->ShutDownDock();
        if (!frame) {
            continue;
        }
        frame->FShutDownDone = true;
        ShowStatus(0, QStringLiteral("Dock ") + of + QStringLiteral(" Shutdown..."));
    }
}

QCoro::Task<> TfrmMain::FormClose()
{
    LocalDebugString(QStringLiteral("FormClose"));
    QPointer<TfrmMain> self(this);
    FCloseSequenceRunning = true;
    tmrShutdown->stop();

    // 1. A close after the user chose to review a changed dock configuration: no more questions.
    const bool skipQuestions = ClosingInProgress;

    // 2. Settings.
    ClosingInProgress = true;
    SetHourglass(true);
    SetStatusColour(false);
    ShowStatus(0, QStringLiteral("Saving INI Settings..."));
    ShowStatus(0, QStringLiteral("Saving Registry Settings..."));
    SaveRegistryDefaults();
    ShowStatus(0, QStringLiteral("Attempting ShutDown..."));
    CloseNow1->setEnabled(true);

    // 3. Decide before touching any dock.
    if (AllFramesIdle() || skipQuestions) {
        if (!skipQuestions) {
            for (int i = 0; i < DockCount && i < DockFrames.size(); ++i) {
                TfraDockInfo* frame = DockFrames[i];
                if (!frame || !frame->FConfigChanged || !frame->FFrameActive) {
                    continue;
                }
                const bool review = Prompter::instance().ask(
                                        Prompter::Kind::Warning,
                                        QStringLiteral("Changes have been made to Dock ") +
                                            FormatDockSerial(frame->DockSerialNumber()) +
                                            QStringLiteral("!  Do you want to review your changes before closing?"),
                                        Prompter::Buttons(Prompter::Yes) | Prompter::No,
                                        Prompter::Yes) == Prompter::Yes;
                if (review) {
                    if (i < DockTabs.size() && DockTabs[i]) {
                        const int page = pgVexaExpressDocks->indexOf(DockTabs[i]);
                        pgVexaExpressDocks->setTabVisible(page, true);
                        pgVexaExpressDocks->setCurrentIndex(page);
                    }
                    SetHourglass(false);
                    // ClosingInProgress stays set: the next close closes without asking.
                    FCloseSequenceRunning = false;
                    co_return;
                }
            }
        }
        // 4. Release every idle dock, free the frames, then the settings; end.
        co_await ShutDownIdleDocks();
        if (!self) {
            co_return;
        }
        FinishClose();
        co_return;
    }

    // 5. Testing is in progress somewhere.
    if (!ShutdownConfirmed) {
        const bool sure =
            Prompter::instance().confirm(QStringLiteral("Testing is Inprogress.  Are you sure you want to exit?"));
        if (!sure) {
            // The close is cancelled; every dock goes on as it was.
            SetHourglass(false);
            ClosingInProgress = false;
            FCloseSequenceRunning = false;
            co_return;
        }
        ShutdownConfirmed = true;
    }
    // 6. Delayed shutdown: the idle docks are released now, the others once they are idle.
    co_await ShutDownIdleDocks();
    if (!self) {
        co_return;
    }
    SetStatusColour(true);
    ShowStatus(0, DelayedText);
    tmrShutdown->start();
    SetHourglass(false);
    ClosingInProgress = false;
    FCloseSequenceRunning = false;
}

void TfrmMain::FinishClose()
{
    LocalDebugString(QStringLiteral("FinishClose"));
    // Frames first (their timers and links may still read the settings), the settings last.
    while (DockCount > 0) {
        DestroyOneDockFrame();
    }
    for (int i = 0; i < DockFrames.size(); ++i) {
        // The frame that serves the listening docks is not counted in DockCount.
        delete DockFrames[i];
        DockFrames[i] = nullptr;
        if (i < DockTabs.size()) {
            delete DockTabs[i];
            DockTabs[i] = nullptr;
        }
        if (i < DockStatusFrames.size()) {
            delete DockStatusFrames[i];
            DockStatusFrames[i] = nullptr;
        }
    }
    DockFrames.clear();
    DockTabs.clear();
    DockStatusFrames.clear();
    if (frmStartUp1) {
        frmStartUp1->close();
    }
    delete FGlobalVars;
    FGlobalVars = nullptr;
    SetHourglass(false);
    ClosingInProgress = false;
    FCloseSequenceRunning = false;
    FCloseAccepted = true;
    // Inside the close request that started the sequence a nested close() does nothing: hide.
    hide();
    Terminate(FExitCode);
}

void TfrmMain::tmrShutdownTimer()
{
    LocalDebugString(QStringLiteral("tmrShutdownTimer"));
    tmrShutdown->stop();
    SetHourglass(true);
    SetStatusColour(!FStatusRed);
    ShowStatus(0, DelayedText);
    if (AllFramesIdle()) {
        SetHourglass(false);
        close();
    } else {
        tmrShutdown->start();
    }
}

} // namespace vx8
