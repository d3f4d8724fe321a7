// vx8-docksim: serves the simulated docks of a scenario on loopback until stopped.
#include "SimServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalFd[2] = {-1, -1};
void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] auto n = ::write(g_signalFd[0], &c, 1);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vx8-docksim"));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Simulates VX8 docks with a Kor7 instrument for the VX8 application, on loopback only.\n"
        "Each dock listens on its own address (127.0.0.2, 127.0.0.3, ...) on the control and user-data\n"
        "ports (5004, 5005) and answers the discovery request \"ENQ\" on UDP. The scenario file (JSON)\n"
        "names the docks, the instruments docked and removed over time, test results and injected\n"
        "faults; the options below override it for the simple cases. Stop with Ctrl-C."));
    p.addHelpOption();
    const QCommandLineOption scenario(QStringLiteral("scenario"), QStringLiteral("Scenario file (JSON)."),
                                      QStringLiteral("file"));
    const QCommandLineOption docks(
        QStringLiteral("docks"), QStringLiteral("Number of docks (default: those of the scenario, else 1)."),
        QStringLiteral("n"));
    const QCommandLineOption first(
        QStringLiteral("first-address"),
        QStringLiteral("Address of the first dock, inside 127.0.0.0/8 (default 127.0.0.2)."),
        QStringLiteral("address"));
    const QCommandLineOption ctl(QStringLiteral("control-port"),
                                 QStringLiteral("Control port of every dock (default 5004)."),
                                 QStringLiteral("port"));
    const QCommandLineOption data(QStringLiteral("data-port"),
                                  QStringLiteral("User-data port of every dock (default 5005)."),
                                  QStringLiteral("port"));
    const QCommandLineOption serial(
        QStringLiteral("serial-base"),
        QStringLiteral("Serial number of the first dock without one (default 10001)."), QStringLiteral("n"));
    const QCommandLineOption factor(
        QStringLiteral("time-factor"),
        QStringLiteral("Multiplies every dock-side duration (default 1; 0.01 is 100 times faster)."),
        QStringLiteral("f"));
    const QCommandLineOption transcript(
        QStringLiteral("transcript"),
        QStringLiteral("Write every chunk in and out as JSON lines to this file."), QStringLiteral("file"));
    const QCommandLineOption discPort(
        QStringLiteral("discovery-port"),
        QStringLiteral("UDP port the discovery request arrives on (default 6462)."), QStringLiteral("port"));
    const QCommandLineOption discReply(QStringLiteral("discovery-reply-port"),
                                       QStringLiteral("UDP port discovery answers go to (default 6461)."),
                                       QStringLiteral("port"));
    const QCommandLineOption discAddr(
        QStringLiteral("discovery-address"),
        QStringLiteral("Loopback address the discovery responder listens on (default 127.0.0.1)."),
        QStringLiteral("address"));
    const QCommandLineOption noDisc(QStringLiteral("no-discovery"),
                                    QStringLiteral("Do not answer discovery requests."));
    const QCommandLineOption instrument(QStringLiteral("instrument"),
                                        QStringLiteral("Dock a default instrument in every dock at start."));
    const QCommandLineOption result(
        QStringLiteral("result"),
        QStringLiteral("Test result ordinal the docked instruments end with (default 0, NO_ERROR)."),
        QStringLiteral("n"));
    const QCommandLineOption duration(
        QStringLiteral("test-duration"),
        QStringLiteral("Duration of the dock's test in ms before the time factor (default 20000)."),
        QStringLiteral("ms"));
    p.addOptions({scenario, docks, first, ctl, data, serial, factor, transcript, discPort, discReply,
                  discAddr, noDisc, instrument, result, duration});
    p.process(app);

    QTextStream err(stderr);
    QJsonObject s;
    if (p.isSet(scenario)) {
        QFile f(p.value(scenario));
        if (!f.open(QIODevice::ReadOnly)) {
            err << "vx8-docksim: cannot read " << f.fileName() << ": " << f.errorString() << "\n";
            return 2;
        }
        QJsonParseError pe;
        const QJsonDocument d = QJsonDocument::fromJson(f.readAll(), &pe);
        if (!d.isObject()) {
            err << "vx8-docksim: " << f.fileName() << " is not a JSON object: " << pe.errorString() << "\n";
            return 2;
        }
        s = d.object();
    }
    auto intOpt = [&](const QCommandLineOption& o, const QString& key, QJsonObject& into) {
        if (p.isSet(o)) {
            bool ok = false;
            const int v = p.value(o).toInt(&ok);
            if (!ok) {
                err << "vx8-docksim: --" << o.names().first() << " needs a number\n";
                ::exit(2);
            }
            into[key] = v;
        }
    };
    intOpt(docks, QStringLiteral("dockCount"), s);
    intOpt(ctl, QStringLiteral("controlPort"), s);
    intOpt(data, QStringLiteral("dataPort"), s);
    intOpt(serial, QStringLiteral("serialBase"), s);
    if (p.isSet(first)) {
        s[QStringLiteral("firstAddress")] = p.value(first);
    }
    if (p.isSet(factor)) {
        s[QStringLiteral("timeFactor")] = p.value(factor).toDouble();
    }
    if (p.isSet(transcript)) {
        s[QStringLiteral("transcript")] = p.value(transcript);
    }
    QJsonObject disc = s.value(QStringLiteral("discovery")).toObject();
    intOpt(discPort, QStringLiteral("port"), disc);
    intOpt(discReply, QStringLiteral("replyPort"), disc);
    if (p.isSet(discAddr)) {
        disc[QStringLiteral("address")] = p.value(discAddr);
    }
    if (p.isSet(noDisc)) {
        disc[QStringLiteral("enabled")] = false;
    }
    s[QStringLiteral("discovery")] = disc;
    if (p.isSet(instrument) || p.isSet(result) || p.isSet(duration)) {
        QJsonArray list = s.value(QStringLiteral("docks")).toArray();
        const int n = s.contains(QStringLiteral("dockCount")) ? s.value(QStringLiteral("dockCount")).toInt()
                                                              : qMax(1, int(list.size()));
        while (list.size() < n) {
            list.append(QJsonObject{});
        }
        for (int i = 0; i < list.size(); ++i) {
            QJsonObject d = list.at(i).toObject();
            QJsonObject in = d.value(QStringLiteral("instrument")).toObject();
            in[QStringLiteral("serial")] = in.value(QStringLiteral("serial")).toInt(200001 + i);
            intOpt(result, QStringLiteral("result"), in);
            intOpt(duration, QStringLiteral("testDuration"), in);
            if (p.isSet(instrument) || d.contains(QStringLiteral("instrument"))) {
                d[QStringLiteral("instrument")] = in;
            }
            list[i] = d;
        }
        s[QStringLiteral("docks")] = list;
    }

    vx8::sim::SimServer sim;
    QString error;
    if (!sim.loadScenario(s, &error) || !sim.start(&error)) {
        err << "vx8-docksim: " << error << "\n";
        return 1;
    }
    QTextStream out(stdout);
    for (int i = 0; i < sim.dockCount(); ++i) {
        const auto* d = sim.dock(i);
        if (d->isUsb()) {
            out << "dock " << d->serial() << " on in-process USB\n";
        } else {
            out << "dock " << d->serial() << " on " << d->address().toString() << " ports "
                << d->controlPort() << "/" << d->dataPort() << "\n";
        }
    }
    out << "serving " << sim.dockCount() << " dock(s); Ctrl-C stops\n";
    out.flush();

    ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFd);
    QSocketNotifier sn(g_signalFd[1], QSocketNotifier::Read);
    QObject::connect(&sn, &QSocketNotifier::activated, &app, [&] { app.quit(); });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    return app.exec();
}
