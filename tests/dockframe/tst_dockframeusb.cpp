// The dock frame's USB device against a simulated USB dock on the in-process bus: the frame's
// handlers of the device's events (removal, pipe errors, open errors, data notifications), run
// after the dock link's own handling.
#include "TestSupport.h"
#include "common/DebugSink.h"
#include "common/Prompter.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"
#include "docklink/CalderwickVX8Dock.h"
#include "sim/SimServer.h"
#include "sim/SimUsbDevice.h"
#include "transport/USBDevice.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QTabWidget>
#include <QTest>

#include <QCoro/QCoroTask>

#include <libusb.h>

#include <chrono>

using namespace vx8;
using vx8::test::scaled;

namespace {

class RecordingSink : public DebugSink
{
public:
    QStringList lines;
    int LineCount() const override { return int(lines.size()); }
    void Clear() override { lines.clear(); }
    void AppendLine(const QString& line) override { lines << line; }
    void ShowWindow() override {}
};

// One frame started on one simulated USB dock, its tab on a page control and its summary frame.
struct UsbRig
{
    sim::SimServer sim;
    UnattendedPrompter prompter;
    RecordingSink sink;
    QTabWidget pages;
    QWidget* tab = nullptr;
    TfraDockStatus status;
    std::unique_ptr<TfraDockInfo> frame;
    DockFrameSettings settings;

    bool start(QString* error)
    {
        prompter.setEcho(false);
        const QJsonObject scenario{{"timeFactor", 0.01},
                                   {"discovery", QJsonObject{{"enabled", false}}},
                                   {"docks", QJsonArray{QJsonObject{{"serial", 20001}, {"transport", "usb"}}}}};
        if (!sim.loadScenario(scenario, error) || !sim.start(error)) {
            return false;
        }
        tab = new QWidget;
        pages.addTab(tab, QStringLiteral("Dock"));
        frame = std::make_unique<TfraDockInfo>(tab, &prompter);
        settings.DockTimeout = 2;
        settings.FormatSettings = QLocale::c();
        frame->Core().Settings = [this]() { return settings; };
        frame->Core().FreeDockWindow = std::chrono::milliseconds(1500);
        frame->Core().SetDebugSink(&sink);
        frame->USBDevice1->SetDeviceName(sim.dock(0)->usbDevice()->devicePath());
        status.show();
        bool done = false, result = false;
        auto runner = [](UsbRig* r, bool* done, bool* result) -> QCoro::Task<void> {
            const bool enabled = co_await r->frame->DockEnable();
            if (enabled) {
                *result = co_await r->frame->DockStartUp(&r->pages, r->tab, true, QString(), &r->status, 0);
            }
            *done = true;
        };
        auto t = runner(this, &done, &result);
        if (!QTest::qWaitFor([&]() { return done; }, scaled(30000)) || !result) {
            *error = QStringLiteral("the start-up failed");
            return false;
        }
        return true;
    }

    bool tabVisible() const { return pages.isTabVisible(pages.indexOf(tab)); }
};

} // namespace

class TstDockFrameUsb : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void removal_data();
    void removal();
    void pipeErrorsAndData();
};

void TstDockFrameUsb::initTestCase()
{
    qputenv("VX8_USB_BACKEND", "inprocess");
}

void TstDockFrameUsb::removal_data()
{
    QTest::addColumn<bool>("flashUploading");
    QTest::addColumn<bool>("firmwareUploaded");
    QTest::addColumn<bool>("warned");
    QTest::newRow("running") << false << false << true;
    QTest::newRow("firmware upload") << true << false << false;
    QTest::newRow("new firmware, restarting") << false << true << false;
}

// Pulling the cable: the warning unless the dock takes new firmware; tab and summary frame
// hidden either way, the frame idle with no data seen, the link down.
void TstDockFrameUsb::removal()
{
    QFETCH(bool, flashUploading);
    QFETCH(bool, firmwareUploaded);
    QFETCH(bool, warned);
    UsbRig rig;
    QString error;
    QVERIFY2(rig.start(&error), qPrintable(error));
    TfraDockInfo& frame = *rig.frame;
    QVERIFY(frame.DockLinkEnabled());
    QVERIFY(rig.tabVisible());
    QVERIFY(!rig.status.isHidden());
    rig.prompter.clear();
    frame.FIdle = false;
    frame.Core().FDataSeen = true;
    frame.FFlashUploading = flashUploading;
    frame.FFirmwareUploaded = firmwareUploaded;

    rig.sim.dock(0)->vanish();
    QVERIFY(QTest::qWaitFor([&]() { return !rig.tabVisible(); }, scaled(10000)));
    QTest::qWait(50);
    QCOMPARE(rig.prompter.texts(),
             warned ? QStringList{QStringLiteral("USB Cable has been disconnected from Dock 20001. This Dock will be removed.")}
                    : QStringList());
    QVERIFY(rig.status.isHidden());
    QVERIFY(frame.FIdle);
    QVERIFY(!frame.Core().FDataSeen);
    QVERIFY(!frame.DockLinkEnabled());
}

// A pipe that keeps failing is named in the debug window; an open error only traced; the
// data notifications show in panel 2 (named after the transport) and count as data seen.
void TstDockFrameUsb::pipeErrorsAndData()
{
    UsbRig rig;
    QString error;
    QVERIFY2(rig.start(&error), qPrintable(error));
    TfraDockInfo& frame = *rig.frame;
    TUSBDevice* device = frame.USBDevice1;
    rig.sink.lines.clear();
    rig.prompter.clear();

    device->OnPipeError(device, 1, LIBUSB_ERROR_IO);
    QCOMPARE(rig.sink.lines, QStringList{QStringLiteral("USB Device Error:Error(-1) - Input/Output Error")});
    device->OnOpenPipeError(device, 2, LIBUSB_ERROR_ACCESS, QStringLiteral("sim-usb:20001/PIPE02"));
    QCOMPARE(rig.sink.lines.size(), 1);
    QCOMPARE(rig.prompter.texts(), QStringList());

    frame.Core().FDataSeen = false;
    device->DebugOnPipeData(device, 2, 12);
    QCOMPARE(frame.stbPanel[2]->text(), QStringLiteral("Data on USB CH 2 Bytes=12"));
    QVERIFY(frame.Core().FDataSeen);
    frame.Core().FViaEthernet = true;
    device->DebugOnPipeData(device, 1, 7);
    QCOMPARE(frame.stbPanel[2]->text(), QStringLiteral("Data on Ethernet CH 1 Bytes=7"));
    // The link still takes the dock's data after the frame's handlers were added.
    QVERIFY(frame.DockLinkEnabled());
}

QTEST_MAIN(TstDockFrameUsb)
#include "tst_dockframeusb.moc"
