// Takes pictures of the instrument pages showing a simulated instrument: the simulator serves a
// dock with a Kor7 on loopback, the dock link and TKor7 read its memory as the test cycle does,
// and the Instrument page and one sensor page are grabbed to PNG files.
//
//   vx8-instrument-screenshot OUTPUT_FOLDER      (run under xvfb-run: scripts/instrument-screenshot)

#include "instrument/InstrumentView.h"
#include "instrument/Kor7.h"
#include "instrument/KorLink.h"
#include "instrument/VocList.h"

#include "SimServer.h"
#include "common/Prompter.h"
#include "docklink/CalderwickVX8Dock.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

#include <qcoro/qcorotask.h>
#include <qcoro/qcorotimer.h>

#include <cstdio>

using namespace vx8;

namespace {

QJsonObject instrument()
{
    return QJsonObject{
        {"serial", 230415007},
        {"firmwareVersion", 212},
        {"runTime", 1234567},
        {"sampleInterval", 75},
        {"securityBeep", 30},
        {"sensors",
         QJsonArray{
             QJsonObject{{"slot", 0}, {"type", 11}, {"serial", 41001}, {"lowAlarm", 195}, {"highAlarm", 235}},
             QJsonObject{{"slot", 1},
                         {"type", 21},
                         {"serial", 41002},
                         {"warningAlarm", 100},
                         {"highAlarm", 200},
                         {"calGas", 50}},
             QJsonObject{{"slot", 2},
                         {"type", 31},
                         {"serial", 41003},
                         {"vocCode", 2},
                         {"vocFactor", 53},
                         {"warningAlarm", 50},
                         {"highAlarm", 100}},
             QJsonObject{{"slot", 3},
                         {"type", 101},
                         {"serial", 41004},
                         {"warningAlarm", 100},
                         {"highAlarm", 200},
                         {"stelAlarm", 150},
                         {"twaAlarm", 50},
                         {"calGas", 250},
                         {"flags", 0x22},
                         {"t63", 17},
                         {"calFrom", 10},
                         {"calTo", 500}},
         }},
        {"screens", QJsonArray{"CALDERWICK", "KOR7 DEMO", "", "", "", "", "SERVICE", "CALL 555 0100"}},
    };
}

bool waitUntil(const std::function<bool()>& cond, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return cond();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    UnattendedPrompter prompter;
    sim::SimServer simServer;
    QString error;
    const QJsonObject scenario{
        {"controlPort", 0},
        {"dataPort", 0},
        {"timeFactor", 0.01},
        {"discovery", QJsonObject{{"enabled", false}}},
        {"docks", QJsonArray{QJsonObject{{"serial", 10001}, {"instrument", instrument()}}}}};
    if (!simServer.loadScenario(scenario, &error) || !simServer.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    sim::SimDock* simDock = simServer.dock(0);

    TCalderwickVX8Dock dock(nullptr, &prompter);
    dock.SetEthernetAddress(simDock->address().toString());
    dock.SetPorts(simDock->controlPort(), simDock->dataPort());
    TKorLink link(nullptr, &prompter);
    link.SetCalderwickVX8Dock(&dock);
    TKor7 kor7(nullptr, &prompter);
    kor7.SetKorLink(&link);
    kor7.SetCmdTimeOut(5);

    QCoro::waitFor(kor7.GoOnLine(true));
    if (!waitUntil([&] { return kor7.OnLine(); }, 20000)) {
        std::fprintf(stderr, "the instrument did not come on line\n");
        return 1;
    }
    bool ok = QCoro::waitFor(kor7.ReadUnitEE()) && QCoro::waitFor(kor7.ReadSensorTable());
    for (quint8 s = 0; ok && s < kor7::SensorSlotCount; ++s)
        ok = QCoro::waitFor(kor7.ReadSensorEE(s));
    ok = ok && QCoro::waitFor(kor7.ReadCustServScrs());
    if (!ok) {
        std::fprintf(stderr, "reading the instrument failed\n");
        return 1;
    }

    TVocList vocs; // the names the results database holds (voc_info of the demo schema)
    QList<TVoc> names;
    for (const char* name : {"Isobutylene", "Acetone", "Benzene", "Toluene"}) {
        TVoc v;
        v.voccode = int(names.size());
        v.longname = QString::fromLatin1(name);
        names.append(v);
    }
    vocs.setEntries(names);
    TInstrumentView view(nullptr, &prompter);
    view.setKor7(&kor7);
    view.setVocList(&vocs);
    view.resize(900, 620);
    view.setWindowTitle(QStringLiteral("Instrument"));
    view.show();
    QCoro::waitFor(view.ShowInstrConfig());
    for (int s = 0; s < kor7::SensorSlotCount; ++s)
        view.ShowSensorConfig(s);
    TGasReading reading{0, 0, 0, 350, 12, 55, 209};
    view.VexaExpressDock1xGotGasReading(TDockState::Cmd_WaitForGas, reading);
    waitUntil([] { return false; }, 200); // the sensor frames load 50 ms after being shown

    view.pgSensorData->setCurrentIndex(0);
    QCoreApplication::processEvents();
    const bool a = view.grab().save(out + QStringLiteral("/instrument-page.png"));
    view.pgSensorData->setCurrentIndex(4); // slot 3, H2S
    QCoreApplication::processEvents();
    const bool b = view.grab().save(out + QStringLiteral("/sensor-page.png"));
    std::printf("%s/instrument-page.png\n%s/sensor-page.png\n", qPrintable(out), qPrintable(out));
    return a && b ? 0 : 1;
}
