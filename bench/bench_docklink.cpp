// Dock-link figures against the in-process simulator over loopback TCP:
//   command round trips per second with 1, 16 and 64 docks at once (and 16 with one silent),
//   CPU time of 64 idle connected docks over a quiet period, resident memory per connected dock.
//
//   bench_docklink [seconds per load phase = 3] [idle seconds = 10]
//
// The simulator runs in the same process, so CPU figures include its (idle) share.

#include "SimServer.h"
#include "common/Prompter.h"
#include "docklink/CalderwickVX8Dock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <qcoro/qcorotimer.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace vx8;
using namespace std::chrono_literals;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

struct Load
{
    long done = 0;
    long failed = 0;
    qint64 endMs = 0;
};

// Commands back to back on one dock until the deadline.
QCoro::Task<void> hammer(TCalderwickVX8Dock* d, QElapsedTimer* clock, qint64 untilMs, Load* load,
                         bool* finished)
{
    while (clock->elapsed() < untilMs) {
        const bool ok = co_await d->SendENQ();
        if (ok)
            ++load->done;
        else
            ++load->failed;
    }
    load->endMs = clock->elapsed();
    *finished = true;
}

QCoro::Task<void> loadPhase(const char* name, std::vector<std::unique_ptr<TCalderwickVX8Dock>>& links,
                            int count, int seconds, int silent = -1)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<Load> loads(static_cast<std::size_t>(count));
    auto finished = std::make_unique<bool[]>(std::size_t(count));
    const double cpu0 = cpuSeconds();
    for (int i = 0; i < count; ++i)
        hammer(links[std::size_t(i)].get(), &clock, seconds * 1000, &loads[std::size_t(i)],
               &finished[std::size_t(i)]);
    for (;;) {
        bool all = true;
        for (int i = 0; i < count; ++i)
            all = all && finished[std::size_t(i)];
        if (all)
            break;
        co_await QCoro::sleepFor(20ms);
    }
    // The answering docks' figures, over the time they took (the silent one ends later).
    qint64 endMs = 1;
    for (int i = 0; i < count; ++i)
        if (i != silent)
            endMs = qMax(endMs, loads[std::size_t(i)].endMs);
    const double wall = double(endMs) / 1000.0;
    long total = 0, failed = 0;
    long minDock = -1;
    for (int i = 0; i < count; ++i) {
        if (i == silent)
            continue;
        total += loads[std::size_t(i)].done;
        failed += loads[std::size_t(i)].failed;
        if (minDock < 0 || loads[std::size_t(i)].done < minDock)
            minDock = loads[std::size_t(i)].done;
    }
    const int answering = silent >= 0 ? count - 1 : count;
    std::printf("%-34s %9.0f round trips/s  (%ld in %.1f s, %.0f per dock per s, slowest dock %.0f/s, %ld "
                "failed, CPU %.2f s)\n",
                name, double(total) / wall, total, wall, double(total) / wall / answering,
                double(minDock) / wall, failed, cpuSeconds() - cpu0);
    if (silent >= 0)
        std::printf("%-34s %9ld commands, %ld timed out\n", "  the silent dock: answered",
                    loads[std::size_t(silent)].done, loads[std::size_t(silent)].failed);
    std::fflush(stdout);
}

QCoro::Task<void> runAll(int phaseSeconds, int idleSeconds)
{
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    sim::SimServer sim;
    QJsonArray docks;
    for (int i = 0; i < 65; ++i)
        docks.append(QJsonObject{{"serial", 30001 + i}});
    QString error;
    if (!sim.loadScenario(QJsonObject{{"controlPort", 0},
                                      {"dataPort", 0},
                                      {"timeFactor", 0.01},
                                      {"discovery", QJsonObject{{"enabled", false}}},
                                      {"docks", docks}},
                          &error) ||
        !sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        QCoreApplication::exit(1);
        co_return;
    }
    co_await QCoro::sleepFor(200ms);
    const long rss0 = residentKiB();
    std::vector<std::unique_ptr<TCalderwickVX8Dock>> links;
    for (int i = 0; i < 64; ++i) {
        auto d = std::make_unique<TCalderwickVX8Dock>(nullptr, &prompter);
        d->SetEthernetAddress(sim.dock(i)->address().toString());
        d->SetPorts(sim.dock(i)->controlPort(), sim.dock(i)->dataPort());
        d->SetCommandTimeOut(1000);
        links.push_back(std::move(d));
    }
    int up = 0;
    for (auto& d : links) {
        const bool ok = co_await d->EnableDock(true);
        if (ok)
            ++up;
    }
    co_await QCoro::sleepFor(500ms);
    const long rss1 = residentKiB();
    std::printf("docks connected                    %9d of 64\n", up);
    std::printf("resident memory per connected dock %9.1f KiB  (%ld KiB for 64 links and their sessions)\n",
                double(rss1 - rss0) / 64.0, rss1 - rss0);
    std::fflush(stdout);

    const double cpu0 = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    co_await QCoro::sleepFor(std::chrono::seconds(idleSeconds));
    const double idleCpu = cpuSeconds() - cpu0;
    std::printf("CPU of 64 idle connected docks     %9.3f s over %.1f s (%.2f %% of one core)\n", idleCpu,
                double(idle.elapsed()) / 1000.0, 100.0 * idleCpu / (double(idle.elapsed()) / 1000.0));
    std::fflush(stdout);

    co_await loadPhase("1 dock", links, 1, phaseSeconds);
    co_await loadPhase("16 docks at once", links, 16, phaseSeconds);
    co_await loadPhase("64 docks at once", links, 64, phaseSeconds);
    sim.dock(3)->addFault(QJsonObject{{"command", "ENQ"}, {"kind", "noReply"}, {"occurrence", 0}});
    co_await loadPhase("16 docks, one silent (1 s time-out)", links, 16, phaseSeconds, 3);

    links.clear();
    QCoreApplication::exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int phaseSeconds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    const int idleSeconds = argc > 2 ? qMax(1, atoi(argv[2])) : 10;
    QTimer::singleShot(0, [=] { runAll(phaseSeconds, idleSeconds); });
    return app.exec();
}
