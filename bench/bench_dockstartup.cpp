// Start-up time of the dock loading: the main window loads 1, 4 and 16 simulated network docks
// listed in a dock definition file, each through ping, enable and its start-up dialogue.
//
//   unshare -n sh -c 'ip link set lo up && build/bench/bench_dockstartup [--docks N] [--screenshot FILE]'
//
// The docks use their real ports 5004/5005 on 127.0.0.2 ...: run it in a network namespace of its
// own as above. With --screenshot it loads N docks (default 4), leaves the window on screen for a
// moment and saves a picture of it.
#include "app/MainWindow.h"
#include "app/dockdefs/DockDefDatabase.h"
#include "common/Prompter.h"
#include "common/Registry.h"
#include "sim/SimServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace vx8;

namespace {

bool writeDefinitions(const QString& path, int docks)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    if (!DockDefDatabase::create(path)) {
        return false;
    }
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(path);
        ok = db.open();
        for (int i = 0; i < docks; ++i) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("INSERT INTO DockDef (DockSerialNum, DockType, \"IP Address\", "
                                     "\"Network Connection\", Alias, UpdateDockName) VALUES (?, 15, ?, 'LIVE', ?, 0)"));
            q.addBindValue(QString::number(10001 + i));
            q.addBindValue(QStringLiteral("127.0.0.%1").arg(2 + i));
            q.addBindValue(QStringLiteral("Bay %1").arg(i + 1));
            ok = ok && q.exec();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return ok;
}

// Loads n docks; returns the milliseconds LoadAllDocks took, or -1.
qint64 loadDocks(int n, const QString& screenshot)
{
    QTemporaryDir home;
    qputenv("VX8_HOME", home.path().toLocal8Bit());
    qputenv("VX8_REGISTRY", (home.path() + QStringLiteral("/registry.reg")).toLocal8Bit());
    // The loading's discovery round goes to loopback, never to a broadcast address.
    WriteRegistryString(RegKey::Program, QStringLiteral("DiscoveryBroadcastAddress"), QStringLiteral("127.0.0.1"));
    if (!writeDefinitions(home.path() + QStringLiteral("/DockSetup/DockSetup.db"), n)) {
        std::fprintf(stderr, "cannot write the dock definitions\n");
        return -1;
    }
    sim::SimServer sim;
    QString error;
    QJsonArray docks;
    for (int i = 0; i < n; ++i) {
        docks.append(QJsonObject{{QStringLiteral("serial"), 10001 + i},
                                 {QStringLiteral("configuration"),
                                  QJsonObject{{QStringLiteral("DockDescription"), QStringLiteral("Bay %1").arg(i + 1)}}}});
    }
    if (!sim.loadScenario(QJsonObject{{"docks", docks}, {"discovery", QJsonObject{{"enabled", false}}}}, &error) ||
        !sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return -1;
    }
    TfrmMain::Options options;
    options.runFormCreate = false;
    options.terminate = [](int) {};
    TfrmMain main(options);
    main.setEnabled(false);
    if (!screenshot.isEmpty()) {
        main.show();
    }
    QElapsedTimer t;
    t.start();
    main.LoadAllDocks();
    while (!main.DocksLoaded && t.elapsed() < 600000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const qint64 ms = t.elapsed();
    if (main.DocksReady != n) {
        std::fprintf(stderr, "only %d of %d docks ready\n", main.DocksReady, n);
    }
    if (!screenshot.isEmpty()) {
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 1500) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        if (!main.grab().save(screenshot)) {
            std::fprintf(stderr, "cannot save %s\n", qPrintable(screenshot));
        }
    }
    return main.DocksReady == n ? ms : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    Prompter::setInstance(&prompter);
    const QStringList args = app.arguments();
    QString screenshot;
    int docksWanted = 0;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size()) {
            screenshot = args[++i];
        } else if (args[i] == QLatin1String("--docks") && i + 1 < args.size()) {
            docksWanted = args[++i].toInt();
        }
    }
    if (!screenshot.isEmpty()) {
        const qint64 ms = loadDocks(docksWanted > 0 ? docksWanted : 4, screenshot);
        std::printf("screenshot %s after %lld ms\n", qPrintable(screenshot), static_cast<long long>(ms));
        return ms < 0 ? 1 : 0;
    }
    const QList<int> counts = docksWanted > 0 ? QList<int>{docksWanted} : QList<int>{1, 4, 16};
    std::printf("dock loading (fixed waits included: 2.1 s for discovery answers)\n");
    for (int n : counts) {
        const qint64 ms = loadDocks(n, QString());
        if (ms < 0) {
            std::printf("%2d docks: FAILED\n", n);
            continue;
        }
        std::printf("%2d docks: %6lld ms total, %6.1f ms per dock after the discovery wait\n", n,
                    static_cast<long long>(ms), double(ms - 2100) / n);
    }
    return 0;
}
