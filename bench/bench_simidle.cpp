// Figures for the dock simulator: CPU used by many idle docks, and the time for one
// configuration read from every dock at once. Prints; asserts nothing.
#include "SimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

static double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

static void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int docks = argc > 1 ? atoi(argv[1]) : 64;
    quint16 ports[2] = {0, 0};
    for (auto& p : ports) {
        QTcpServer probe;
        probe.listen(QHostAddress("127.0.0.2"), 0);
        p = probe.serverPort();
    }
    vx8::sim::SimServer sim;
    QString err;
    if (!sim.loadScenario(QJsonObject{{"controlPort", ports[0]},
                                      {"dataPort", ports[1]},
                                      {"dockCount", docks},
                                      {"discovery", QJsonObject{{"enabled", false}}}},
                          &err) ||
        !sim.start(&err)) {
        std::fprintf(stderr, "bench_simidle: %s\n", qPrintable(err));
        return 1;
    }
    std::vector<std::unique_ptr<QTcpSocket>> ctl, data;
    for (int i = 0; i < docks; ++i) {
        ctl.push_back(std::make_unique<QTcpSocket>());
        data.push_back(std::make_unique<QTcpSocket>());
        ctl.back()->connectToHost(sim.dock(i)->address(), ports[0]);
        data.back()->connectToHost(sim.dock(i)->address(), ports[1]);
    }
    spin(300);
    const double c0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spin(2000);
    const double idle = cpuSeconds() - c0;
    std::printf("%d idle docks, both sessions open: %.1f ms CPU in %.1f s\n", docks, idle * 1000,
                wall.elapsed() / 1000.0);

    QElapsedTimer t;
    t.start();
    int done = 0;
    for (auto& s : ctl) {
        QObject::connect(s.get(), &QTcpSocket::readyRead, s.get(), [&, sock = s.get()] {
            if (sock->bytesAvailable() >= 507) {
                sock->readAll();
                ++done;
            }
        });
        s->write("REE");
    }
    while (done < docks && t.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    std::printf("REE answered by %d of %d docks in %.1f ms\n", done, docks, t.nsecsElapsed() / 1e6);
    return 0;
}
