#include "GenericThread.h"

#include "common/Trace.h"

#include <QMetaObject>
#include <QMutexLocker>

#include <exception>
#include <memory>

namespace vx8 {

TGenericThread::TGenericThread(QObject* parent) : QThread(parent)
{
    setObjectName(QStringLiteral("TGenericThread"));
}

TGenericThread::~TGenericThread()
{
    StopAndWait(-1);
}

void TGenericThread::SetEnabled1(bool on)
{
    m_enabled1.store(on);
    QMutexLocker lock(&m_mutex);
    m_wake.wakeAll();
}

void TGenericThread::StartWork2(const QString& name, Work2Fn work)
{
    if (!work) {
        return;
    }
    LocalDebugString(QStringLiteral("TGenericThread StartWork2 ") + name, lcFrame());
    QMutexLocker lock(&m_mutex);
    m_jobs.push_back(Job{name, std::move(work)});
    m_wake.wakeAll();
}

bool TGenericThread::Enabled2() const
{
    QMutexLocker lock(&m_mutex);
    return !m_jobs.empty() || !m_running.isEmpty();
}

int TGenericThread::PendingJobs2() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_jobs.size());
}

QString TGenericThread::RunningJob2() const
{
    QMutexLocker lock(&m_mutex);
    return m_running;
}

void TGenericThread::PostToMain(std::function<void()> fn)
{
    if (!fn) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, fn = std::move(fn)]() {
            if (!m_stop.load()) {
                fn();
            }
        },
        Qt::QueuedConnection);
}

bool TGenericThread::StopAndWait(int ms)
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop.store(true);
        m_enabled1.store(false);
        m_wake.wakeAll();
    }
    requestInterruption();
    if (!isRunning()) {
        return true;
    }
    return ms < 0 ? wait() : wait(QDeadlineTimer(ms));
}

namespace {
// The hand-over between the thread and one call on the main thread. Shared, so that a call which
// destroys the thread object (a completion that frees the frame) never touches freed memory.
struct Handshake
{
    QMutex mutex;
    QWaitCondition cond;
    bool done = false;
};
} // namespace

// Runs fn on the main thread and waits until it has returned, or until a stop is asked for.
// A call still queued when the stop comes is dropped there (it checks the flag), and dropped by
// Qt when this object is destroyed.
void TGenericThread::runOnMainAndWait(std::function<void()> fn)
{
    auto hs = std::make_shared<Handshake>();
    QMetaObject::invokeMethod(
        this,
        [this, hs, fn = std::move(fn)]() {
            if (!m_stop.load()) {
                fn();
            }
            QMutexLocker lock(&hs->mutex);
            hs->done = true;
            hs->cond.wakeAll();
        },
        Qt::QueuedConnection);
    QMutexLocker lock(&hs->mutex);
    while (!hs->done && !m_stop.load()) {
        hs->cond.wait(&hs->mutex, 20);
    }
}

void TGenericThread::run()
{
    LocalDebugString(QStringLiteral("TGenericThread run"), lcFrame());
    while (!m_stop.load()) {
        // Channel 1: the tick.
        if (m_enabled1.load()) {
            if (Work1) {
                Work1(*this);
            }
            if (After1 && !m_stop.load()) {
                runOnMainAndWait([this]() {
                    if (After1) {
                        After1(*this);
                    }
                });
            }
            m_ticks.fetch_add(1);
        }
        if (m_stop.load()) {
            break;
        }

        // Channel 2: one job, then its completion on the main thread.
        Job job;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_jobs.empty()) {
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
                m_running = job.name;
            }
        }
        if (job.work) {
            std::function<void()> completion;
            QString failure;
            bool failed = false;
            try {
                completion = job.work(*this);
            } catch (const std::exception& e) {
                failed = true;
                failure = QString::fromLocal8Bit(e.what());
            } catch (...) {
                failed = true;
                failure = QStringLiteral("unknown exception");
            }
            const QString name = job.name;
            runOnMainAndWait([this, failed, failure, name, completion = std::move(completion)]() {
                if (failed) {
                    LocalDebugString(QStringLiteral("TGenericThread job ") + name + QStringLiteral(" failed: ") + failure,
                                     lcFrame());
                    if (OnJobFailed) {
                        OnJobFailed(name, failure);
                    }
                } else if (completion) {
                    completion();
                }
            });
            QMutexLocker lock(&m_mutex);
            m_running.clear();
            continue;
        }

        // Nothing to do: pause about 10 ms while the tick runs, else sleep until woken.
        QMutexLocker lock(&m_mutex);
        if (!m_stop.load() && m_jobs.empty()) {
            if (m_enabled1.load()) {
                m_wake.wait(&m_mutex, 10);
            } else {
                m_wake.wait(&m_mutex);
            }
        }
    }
    LocalDebugString(QStringLiteral("TGenericThread run END"), lcFrame());
}

} // namespace vx8
