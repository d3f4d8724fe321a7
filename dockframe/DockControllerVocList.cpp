// Start-up step 1: the VOC gas list of the results database, loaded on a thread of its own so
// that a slow or unreachable database server never holds up the dock's start-up or the other
// docks. Without a database the list stays empty (every VOC name reads "Unknown").
#include "DockController.h"

#include "common/Prompter.h"
#include "common/Trace.h"

#include <QThread>

#include <memory>

namespace vx8 {

namespace {
struct VocOutcome
{
    bool ok = false;
    QList<TVoc> list;
    QString error;
};
} // namespace

void TDockController::LoadVocList()
{
    LocalDebugString(QStringLiteral("LoadVocList"), lcFrame());
    // Emptied first: a restart never keeps (or doubles) the entries of an earlier load.
    FVocList.setEntries({});
    const quint64 generation = ++m_vocGeneration;
    const TDBSettings settings = ResultsDatabase ? ResultsDatabase() : TDBSettings{};
    auto outcome = std::make_shared<VocOutcome>();
    QThread* thread = QThread::create([settings, outcome]() {
        // The message of a failed load is reported once by the frame, not as a dialog per dock.
        UnattendedPrompter quiet;
        quiet.setEcho(false);
        TVocList list;
        outcome->ok = list.LoadVocList(settings, &quiet);
        outcome->list = list.entries();
        outcome->error = quiet.texts().join(QLatin1Char(' '));
    });
    m_vocThreads.append(thread);
    ++m_vocLoads;
    connect(thread, &QThread::finished, this, [this, thread, outcome, generation]() {
        m_vocThreads.removeOne(thread);
        thread->deleteLater();
        --m_vocLoads;
        if (generation != m_vocGeneration) {
            return; // a later start-up loads it again
        }
        FVocList.setEntries(outcome->list);
        if (!outcome->ok) {
            LocalDebugString(QStringLiteral("LoadVocList: ") + outcome->error, lcFrame());
            if (m_view) {
                m_view->ShowFrameStatus(2, QStringLiteral("VOC List not loaded: Database Error"));
            }
        }
        emit VocListLoaded(outcome->ok, outcome->error);
    });
    thread->start();
}

void TDockController::waitForVocLoads()
{
    for (QThread* thread : std::as_const(m_vocThreads)) {
        thread->wait();
        delete thread;
    }
    m_vocThreads.clear();
}

} // namespace vx8
