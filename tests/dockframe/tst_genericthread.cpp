#include "dockframe/GenericThread.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <stdexcept>

using namespace vx8;
using vx8::test::scaled;

class TstGenericThread : public QObject
{
    Q_OBJECT
private slots:
    void tickRunsOnMainThreadOneAtATime();
    void tickStopsWhenDisabled();
    void jobsRunInOrderEachWithItsOwnCompletion();
    void tickPausedWhileJobRuns();
    void logLinesArriveBeforeTheCompletion();
    void failingJobReportsAndNextJobRuns();
    void destructionWaitsForRunningJobAndDropsCompletion();
    void destructionFromInsideTheTick();
};

void TstGenericThread::tickRunsOnMainThreadOneAtATime()
{
    TGenericThread th;
    QThread* mainThread = QThread::currentThread();
    std::atomic<int> inside{0};
    int maxInside = 0, ticks = 0;
    bool onMain = true, workOffMain = true;
    th.Work1 = [&](TGenericThread&) {
        if (QThread::currentThread() == mainThread) {
            workOffMain = false;
        }
    };
    th.After1 = [&](TGenericThread&) {
        onMain = onMain && QThread::currentThread() == mainThread;
        maxInside = qMax(maxInside, ++inside);
        ++ticks;
        // A tick that processes events (as a waiting handler does) must not let the next begin.
        QCoreApplication::processEvents();
        QThread::msleep(2);
        QCoreApplication::processEvents();
        --inside;
    };
    th.start();
    th.SetEnabled1(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 20, scaled(10000));
    th.SetEnabled1(false);
    QVERIFY(onMain);
    QVERIFY(workOffMain);
    QCOMPARE(maxInside, 1);
}

void TstGenericThread::tickStopsWhenDisabled()
{
    TGenericThread th;
    int ticks = 0;
    th.After1 = [&](TGenericThread&) { ++ticks; };
    th.start();
    QTest::qWait(100);
    QCOMPARE(ticks, 0);
    th.SetEnabled1(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, scaled(5000));
    th.SetEnabled1(false);
    QTest::qWait(50); // a pass already under way may still finish
    const int after = ticks;
    QTest::qWait(150);
    QCOMPARE(ticks, after);
}

void TstGenericThread::jobsRunInOrderEachWithItsOwnCompletion()
{
    // A database update still running when the template job is queued: both run, in order, and
    // each one's completion is its own (the template job must not receive the update's).
    TGenericThread th;
    th.start();
    QThread* mainThread = QThread::currentThread();
    QStringList order;
    QList<int> results;
    bool workOffMain = true, completionOnMain = true;
    QSemaphore release;
    th.StartWork2(QStringLiteral("update"), [&](TGenericThread&) -> std::function<void()> {
        workOffMain = workOffMain && QThread::currentThread() != mainThread;
        release.acquire();
        const int value = 11;
        return [&, value]() {
            completionOnMain = completionOnMain && QThread::currentThread() == mainThread;
            order << QStringLiteral("after update");
            results << value;
        };
    });
    th.StartWork2(QStringLiteral("template"), [&](TGenericThread&) -> std::function<void()> {
        workOffMain = workOffMain && QThread::currentThread() != mainThread;
        const int value = 22;
        return [&, value]() {
            completionOnMain = completionOnMain && QThread::currentThread() == mainThread;
            order << QStringLiteral("after template");
            results << value;
        };
    });
    QTRY_COMPARE_WITH_TIMEOUT(th.RunningJob2(), QStringLiteral("update"), scaled(5000));
    QVERIFY(th.Enabled2());
    QCOMPARE(th.PendingJobs2(), 1);
    release.release();
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 2, scaled(5000));
    QCOMPARE(order, (QStringList{QStringLiteral("after update"), QStringLiteral("after template")}));
    QCOMPARE(results, (QList<int>{11, 22}));
    QVERIFY(workOffMain);
    QVERIFY(completionOnMain);
    QTRY_VERIFY_WITH_TIMEOUT(!th.Enabled2(), scaled(5000));
}

void TstGenericThread::tickPausedWhileJobRuns()
{
    TGenericThread th;
    std::atomic<int> ticks{0};
    th.After1 = [&](TGenericThread&) { ++ticks; };
    th.start();
    th.SetEnabled1(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.load() >= 2, scaled(5000));
    std::atomic<int> during{-1};
    bool done = false;
    th.StartWork2(QStringLiteral("long"), [&](TGenericThread&) -> std::function<void()> {
        const int before = ticks.load();
        QThread::msleep(150);
        during = ticks.load() - before;
        return [&]() { done = true; };
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, scaled(5000));
    QCOMPARE(during.load(), 0);
    const int now = ticks.load();
    QTRY_VERIFY_WITH_TIMEOUT(ticks.load() > now, scaled(5000)); // and the tick goes on afterwards
}

void TstGenericThread::logLinesArriveBeforeTheCompletion()
{
    TGenericThread th;
    th.start();
    QStringList lines;
    th.StartWork2(QStringLiteral("update"), [&](TGenericThread& t) -> std::function<void()> {
        for (int i = 0; i < 20; ++i) {
            const QString line = QStringLiteral("line %1").arg(i);
            t.PostToMain([&lines, line]() { lines << line; });
        }
        return [&]() { lines << QStringLiteral("done"); };
    });
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 21, scaled(5000));
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(lines.at(i), QStringLiteral("line %1").arg(i));
    }
    QCOMPARE(lines.last(), QStringLiteral("done"));
}

void TstGenericThread::failingJobReportsAndNextJobRuns()
{
    TGenericThread th;
    th.start();
    QString failedJob, failedWhat;
    bool firstCompletion = false, secondCompletion = false;
    th.OnJobFailed = [&](const QString& job, const QString& what) {
        failedJob = job;
        failedWhat = what;
    };
    th.StartWork2(QStringLiteral("update"), [&](TGenericThread&) -> std::function<void()> {
        throw std::runtime_error("connection refused");
        return [&]() { firstCompletion = true; };
    });
    th.StartWork2(QStringLiteral("template"),
                  [&](TGenericThread&) -> std::function<void()> { return [&]() { secondCompletion = true; }; });
    QTRY_VERIFY_WITH_TIMEOUT(secondCompletion, scaled(5000));
    QVERIFY(!firstCompletion);
    QCOMPARE(failedJob, QStringLiteral("update"));
    QCOMPARE(failedWhat, QStringLiteral("connection refused"));
}

void TstGenericThread::destructionWaitsForRunningJobAndDropsCompletion()
{
    // The frame is closed while its database job runs: the job must finish before the thread is
    // gone, and its completion (which would touch the frame) must not run afterwards.
    std::atomic<bool> started{false}, finished{false};
    int completions = 0;
    {
        TGenericThread th;
        th.start();
        th.StartWork2(QStringLiteral("update"), [&](TGenericThread&) -> std::function<void()> {
            started = true;
            QThread::msleep(200);
            finished = true;
            return [&]() { ++completions; };
        });
        QTRY_VERIFY_WITH_TIMEOUT(started.load(), scaled(5000));
    } // destroyed here, on the main thread, while the job runs
    QVERIFY(finished.load());
    QTest::qWait(50);
    QCOMPARE(completions, 0);
}

void TstGenericThread::destructionFromInsideTheTick()
{
    auto* th = new TGenericThread;
    QPointer<TGenericThread> guard(th);
    th->After1 = [](TGenericThread& t) { delete &t; };
    th->start();
    th->SetEnabled1(true);
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), scaled(5000));
}

QTEST_GUILESS_MAIN(TstGenericThread)
#include "tst_genericthread.moc"
