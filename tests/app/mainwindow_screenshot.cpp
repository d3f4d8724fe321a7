// Draws the main window as the start-up leaves it with two docks in the summary column and
// writes it to a PNG file: vx8-mainwindow-screenshot OUTPUT.png
#include "app/AppException.h"
#include "app/GlobalVars.h"
#include "app/MainWindow.h"
#include "common/LedIndicator.h"
#include "common/Prompter.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"

#include <QGroupBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace vx8;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QTemporaryDir home;
    qputenv("VX8_HOME", home.path().toLocal8Bit());
    qputenv("VX8_REGISTRY", (home.path() + QStringLiteral("/registry.reg")).toLocal8Bit());
    TApplication app(argc, argv);
    UnattendedPrompter prompter;
    prompter.setEcho(false);
    Prompter::setInstance(&prompter);

    TfrmMain::Options o;
    o.terminate = [](int) {};
    o.printerInstalled = [] { return false; };
    TfrmMain window(o);
    window.LoadRegistryDefaults();
    // As the dock loading leaves it (the loading itself would look for real docks).
    window.setWindowTitle(window.windowTitle() + QStringLiteral(" 2.30"));
    window.setEnabled(true);
    for (int i = 0; i < 2; ++i) {
        window.CreateOneDockFrame(QStringLiteral("LIVE"));
        TfraDockStatus* s = window.DockStatusFrames[i];
        s->gbDockStatus->setTitle(QStringLiteral("Dock %1 (Serial #: %2)").arg(i + 1).arg(10231 + i, 5, 10, QChar(u'0')));
        s->show();
        window.DockTabs[i]->setEnabled(true);
        window.pgVexaExpressDocks->setTabVisible(i, true);
        window.pgVexaExpressDocks->setTabText(i, QStringLiteral("Dock %1").arg(i + 1));
        window.DockFrames[i]->show();
    }
    window.DockStatusFrames[0]->ledMLDetected->setOn(true);
    window.DockStatusFrames[0]->ledMLConnected->setOn(true);
    window.DockStatusFrames[0]->ledMLProcessing->setOn(true);
    window.DockStatusFrames[1]->ledMLCalComplete->setOn(true);
    window.ShowStatus(0, QStringLiteral("2 of 2 Docks Ready"));
    window.ShowStatus(1, QStringLiteral("Database: not connected"));
    window.show();
    QTimer::singleShot(500, [&] {
        const bool ok = window.grab().save(QString::fromLocal8Bit(argv[1]));
        Prompter::setInstance(nullptr);
        QCoreApplication::exit(ok ? 0 : 1);
    });
    return app.exec();
}
