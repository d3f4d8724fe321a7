#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <deque>
#include <functional>

namespace vx8 {

// The worker thread of one dock frame, with two channels.
//
// Channel 1 is the frame's test-cycle "timer": while Enabled1 is set, every pass runs Work1 (when
// assigned) on the thread and then After1 on the main thread; the next pass begins only after
// After1 has returned, so two ticks of one frame never overlap, and a pass is followed by a pause
// of about 10 ms.
//
// Channel 2 runs one long job at a time (database update, template). A job is queued with
// StartWork2: its work function runs on the thread with the copies it captured and returns the
// completion, which runs on the main thread. Jobs queued while one runs wait their turn, and each
// job runs its own completion. Nothing here touches a widget or frame field from the thread.
//
// Channel 1 is paused while a channel-2 job runs: frame data may be touched by the job only then.
//
// The thread is never destroyed under a running job: the destructor (and StopAndWait) asks it to
// stop, lets the running job finish and waits for the thread to end. Completions still queued
// when stopping was asked for are dropped.
class TGenericThread : public QThread
{
    Q_OBJECT
public:
    using WorkFn = std::function<void(TGenericThread&)>;
    using AfterFn = std::function<void(TGenericThread&)>;
    // A channel-2 job: runs on the thread, returns what runs on the main thread afterwards
    // (may be empty).
    using Work2Fn = std::function<std::function<void()>(TGenericThread&)>;

    explicit TGenericThread(QObject* parent = nullptr);
    ~TGenericThread() override;

    // Channel 1. Assign before starting the thread or while Enabled1 is clear.
    WorkFn Work1;
    AfterFn After1;
    void SetEnabled1(bool on);
    bool Enabled1() const { return m_enabled1.load(); }

    // Channel 2. Called on the main thread. name shows in the trace.
    void StartWork2(const QString& name, Work2Fn work);
    // A job is queued or running.
    bool Enabled2() const;
    int PendingJobs2() const;
    // Name of the job now running, empty when none.
    QString RunningJob2() const;
    // Raised on the main thread when a job's work function threw; the job's completion is not run.
    std::function<void(const QString& job, const QString& what)> OnJobFailed;

    // Runs fn on the main thread, in order with every completion and After1 (a job uses it to hand
    // over log lines). Dropped once stopping was asked for.
    void PostToMain(std::function<void()> fn);

    // True on the thread while a stop was asked for; long jobs may check it between steps.
    bool StopRequested() const { return m_stop.load(); }

    // Asks the thread to stop and waits up to ms milliseconds (forever when negative) for the
    // running job to end. True when the thread has ended.
    bool StopAndWait(int ms = -1);

    // Number of passes of channel 1 so far (tests and the trace).
    quint64 Ticks() const { return m_ticks.load(); }

protected:
    void run() override;

private:
    struct Job
    {
        QString name;
        Work2Fn work;
    };
    void runOnMainAndWait(std::function<void()> fn);

    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    std::deque<Job> m_jobs;
    QString m_running;
    std::atomic<bool> m_enabled1{false};
    std::atomic<bool> m_stop{false};
    std::atomic<quint64> m_ticks{0};
};

} // namespace vx8
