#include "common/Prompter.h"
#include "common/Registry.h"
#include "transport/LibusbBackend.h"
#include "transport/USBDevice.h"
#include "transport/VirtualUsbDevice.h"
#include "TestSupport.h"

#include <QCoro/QCoroTask>
#include <QtTest>

using namespace vx8;

namespace {

// A small dock stand-in on the in-process bus: records what the host writes, and sends bytes to the
// host on demand.
class TestUsbDock : public VirtualUsbDevice
{
public:
    explicit TestUsbDock(QString path) : m_path(std::move(path)) {}
    ~TestUsbDock() override { VirtualUsbBus::instance().detach(this); }

    quint16 vendorId() const override { return 0x1209; }
    quint16 productId() const override { return 0x7D80; }
    QString devicePath() const override { return m_path; }

    bool hostWrite(int pipe, const QByteArray& bytes) override
    {
        writes.append({pipe, bytes});
        return true;
    }
    void send(int pipe, const QByteArray& bytes)
    {
        if (deviceToHost) {
            deviceToHost(pipe, bytes);
        }
    }
    QByteArray written(int pipe) const
    {
        QByteArray all;
        for (const auto& w : writes) {
            if (w.first == pipe) {
                all += w.second;
            }
        }
        return all;
    }

    QList<QPair<int, QByteArray>> writes;

private:
    QString m_path;
};

struct Notification
{
    int pipe;
    QByteArray bytes;
};

} // namespace

class TestUsbDevice : public QObject
{
    Q_OBJECT

private:
    UnattendedPrompter prompter;
    std::unique_ptr<TestUsbDock> dock;
    std::shared_ptr<UsbBackend> inprocess = UsbBackend::create(UsbBackend::Kind::InProcess);

    // An opened device on the test dock, its notifications recorded (input taken on each).
    std::unique_ptr<TUSBDevice> openDevice(QList<Notification>* seen, bool unhalt = true)
    {
        auto device = std::make_unique<TUSBDevice>(&prompter, nullptr, inprocess);
        device->SetDeviceType(TDeviceType::tpCalderwickVX8);
        if (!device->SelectFirstDevice() || !device->Open()) {
            return nullptr;
        }
        TUSBDevice* d = device.get();
        if (seen) {
            device->OnPipeData = [d, seen](QObject* sender, int pipe, int count) {
                QCOMPARE(sender, d);
                const QByteArray bytes = d->Pipe(pipe)->TakeInput();
                QCOMPARE(bytes.size(), count);
                seen->append({pipe, bytes});
            };
        }
        if (unhalt) {
            device->SetHalted(false);
        }
        return device;
    }

private Q_SLOTS:
    void init()
    {
        prompter.setEcho(false);
        prompter.clear();
        dock = std::make_unique<TestUsbDock>(QStringLiteral("sim-usb:0"));
        VirtualUsbBus::instance().attach(dock.get());
    }
    void cleanup() { dock.reset(); }

    void enumeratesAndBuildsFourPipes()
    {
        TUSBDevice device(&prompter, nullptr, inprocess);
        device.SetDeviceType(TDeviceType::tpCalderwickVX8);
        QCOMPARE(device.DeviceList(), QStringList{QStringLiteral("sim-usb:0")});
        QCOMPARE(device.InterfaceClass(), QStringLiteral("{D9A037FA-4214-4A73-8055-CD99EDDED50D}"));
        QVERIFY(device.SetDeviceName(QStringLiteral("sim-usb:0")));
        QCOMPARE(device.PipeCount(), 4);
        const bool inputs[4] = {false, true, true, false};
        for (int n = 0; n < 4; ++n) {
            QCOMPARE(device.Pipe(n)->PipeNumber(), n);
            QCOMPARE(device.Pipe(n)->IsInput(), inputs[n]);
            QVERIFY(device.Pipe(n)->PipePath().endsWith(QStringLiteral("/PIPE0%1").arg(n)));
        }
        // Other classes find nothing here.
        device.SetDeviceType(TDeviceType::tpORX);
        QVERIFY(device.DeviceList().isEmpty());
    }

    void openTwiceAndNoPipes()
    {
        auto device = openDevice(nullptr);
        QVERIFY(device);
        QVERIFY(device->IsConnected());
        QVERIFY(device->Open());
        QCOMPARE(prompter.texts().last(), QStringLiteral("USBDevice already Connected!"));

        TUSBDevice empty(&prompter, nullptr, inprocess);
        QVERIFY(!empty.Open());
        QCOMPARE(prompter.texts().last(), QStringLiteral("Device has no pipes!"));

        prompter.clear();
        QVERIFY(!empty.SetDeviceName(QStringLiteral("sim-usb:gone")));
        QCOMPARE(prompter.texts(), (QStringList{QStringLiteral("Failed to open device"),
                                                QStringLiteral("Device Info not found!")}));
        QCOMPARE(empty.PipeCount(), 0);
        // The name cannot change under an open device.
        QVERIFY(!device->SetDeviceName(QStringLiteral("sim-usb:gone")));
        QCOMPARE(device->PipeCount(), 4);
    }

    void writesReachTheDeviceInRoundsOf64()
    {
        auto device = openDevice(nullptr);
        QVERIFY(device);
        QByteArray message(200, '\0');
        for (int i = 0; i < message.size(); ++i) {
            message[i] = char(i);
        }
        const auto drained = [&](int pipe) {
            return QCoro::waitFor(device->Pipe(pipe)->WaitOutputDrained(std::chrono::milliseconds(test::scaled(5000))));
        };
        const auto sizes = [&] {
            QList<int> list;
            for (const auto& w : dock->writes) {
                if (w.first == 0) {
                    list.append(int(w.second.size()));
                }
            }
            return list;
        };
        QCOMPARE(device->Pipe(0)->SendData(message), 200);
        QCOMPARE(device->Pipe(0)->OutputBufferCount(), 200 - 64); // the first round is on its way
        QCOMPARE(device->SendData(3, QByteArrayLiteral("GTR")), 3);
        QVERIFY(drained(0));
        QVERIFY(drained(3));
        QCOMPARE(device->Pipe(0)->OutputBufferCount(), 0);
        QCOMPARE(dock->written(0), message);
        QCOMPARE(sizes(), (QList<int>{64, 64, 64, 8}));
        QCOMPARE(dock->written(3), QByteArrayLiteral("GTR"));

        // A second message sent while the first is still queued goes after it, nothing lost.
        dock->writes.clear();
        QCOMPARE(device->Pipe(0)->SendData(message), 200);
        QCOMPARE(device->Pipe(0)->SendData("tail", 4), 4);
        QVERIFY(drained(0));
        QCOMPARE(dock->written(0), message + "tail");
        QCOMPARE(sizes(), (QList<int>{64, 64, 64, 12}));
        // Writing to an input pipe goes nowhere near the device.
        QCOMPARE(device->SendData(7, QByteArrayLiteral("x")), -1);
    }

    void deviceBytesArriveInOrder()
    {
        QList<Notification> seen;
        auto device = openDevice(&seen);
        QVERIFY(device);
        int debugCount = 0;
        device->DebugOnPipeData = [&](QObject*, int, int) { ++debugCount; };
        dock->send(2, QByteArrayLiteral("EVT1"));
        dock->send(1, QByteArrayLiteral("user-a"));
        dock->send(2, QByteArrayLiteral("ACK"));
        dock->send(1, QByteArrayLiteral("user-b"));
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty() && device->Pipe(1)->InputBufferCount() == 0
                                     && device->Pipe(2)->InputBufferCount() == 0,
                                 test::scaled(5000));
        QByteArray control, user;
        for (const Notification& n : seen) {
            (n.pipe == 2 ? control : user) += n.bytes;
        }
        QCOMPARE(control, QByteArrayLiteral("EVT1ACK"));
        QCOMPARE(user, QByteArrayLiteral("user-auser-b"));
        QCOMPARE(seen.first().pipe, 2); // the first data to arrive is announced first
        QCOMPARE(debugCount, seen.size());
    }

    void haltedHoldsTrafficUntilCleared()
    {
        QList<Notification> seen;
        auto device = openDevice(&seen, false);
        QVERIFY(device);
        QVERIFY(device->Halted());
        QCOMPARE(device->Pipe(3)->SendData(QByteArrayLiteral("ENQ")), 3);
        dock->send(2, QByteArrayLiteral("EVT9"));
        QTest::qWait(test::scaled(50));
        QVERIFY(dock->writes.isEmpty());
        QVERIFY(seen.isEmpty());
        device->SetHalted(false);
        QTRY_COMPARE_WITH_TIMEOUT(dock->written(3), QByteArrayLiteral("ENQ"), test::scaled(5000));
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 1, test::scaled(5000));
        QCOMPARE(seen.first().bytes, QByteArrayLiteral("EVT9"));
    }

    void untakenInputIsAnnouncedAgainWithNewData()
    {
        auto device = openDevice(nullptr);
        QVERIFY(device);
        QList<int> counts;
        device->OnPipeData = [&](QObject*, int pipe, int count) { counts.append(count); };
        dock->send(1, QByteArrayLiteral("abc"));
        QTRY_COMPARE_WITH_TIMEOUT(counts.size(), 1, test::scaled(5000));
        dock->send(1, QByteArrayLiteral("de"));
        QTRY_COMPARE_WITH_TIMEOUT(counts.size(), 2, test::scaled(5000));
        QCOMPARE(counts, (QList<int>{3, 5}));
        QCOMPARE(device->Pipe(1)->TakeInput(), QByteArrayLiteral("abcde"));
    }

    void closeLeavesItHaltedAndClosed()
    {
        auto device = openDevice(nullptr);
        QVERIFY(device);
        QVERIFY(!device->Close());
        QVERIFY(!device->IsConnected());
        QVERIFY(device->Halted());
        int errors = 0;
        device->Pipe(3)->OnError = [&](QObject*, int pipe, int) {
            QCOMPARE(pipe, 3);
            ++errors;
        };
        QCOMPARE(device->Pipe(3)->SendData(QByteArrayLiteral("ENQ")), -1);
        QCOMPARE(errors, 1);
        // The device no longer hears from the closed device.
        QVERIFY(!dock->deviceToHost);
        // And it can be opened again.
        QVERIFY(device->Open());
        QVERIFY(device->IsConnected());
    }

    void unplugRaisesRemovedOnce()
    {
        QList<Notification> seen;
        auto device = openDevice(&seen);
        QVERIFY(device);
        int removed = 0;
        int dataBeforeRemoval = -1;
        device->OnDeviceRemoved = [&](QObject* sender) {
            QCOMPARE(sender, device.get());
            ++removed;
            dataBeforeRemoval = int(seen.size());
        };
        dock->send(2, QByteArrayLiteral("EVT0"));
        VirtualUsbBus::instance().detach(dock.get());
        QTRY_COMPARE_WITH_TIMEOUT(removed, 1, test::scaled(5000));
        // Writes the gone device refuses do not raise it again.
        QCOMPARE(device->Pipe(3)->SendData(QByteArrayLiteral("ENQ")), -1);
        QTest::qWait(test::scaled(50));
        QCOMPARE(removed, 1);
        QCOMPARE(dataBeforeRemoval, 1); // what arrived before the unplug is delivered first
        QVERIFY(!device->IsConnected());
        QVERIFY(device->Halted());
        device->UpdateDeviceList();
        QVERIFY(device->DeviceList().isEmpty());
    }

    void refusedWriteMeansRemoval()
    {
        auto device = openDevice(nullptr);
        QVERIFY(device);
        int removed = 0;
        device->OnDeviceRemoved = [&](QObject*) { ++removed; };
        // Gone from the bus without the removal hook reaching us (the device was taken away).
        dock->removed = nullptr;
        dock->deviceToHost = nullptr;
        VirtualUsbBus::instance().detach(dock.get());
        QCOMPARE(device->Pipe(0)->SendData(QByteArray(130, 'u')), 130);
        QTRY_COMPARE_WITH_TIMEOUT(removed, 1, test::scaled(5000));
        QTest::qWait(test::scaled(50));
        QCOMPARE(removed, 1);
        QVERIFY(!device->IsConnected());
        QCOMPARE(device->Pipe(0)->SendData(QByteArrayLiteral("x")), -1);
    }

    void libusbWithoutDocksFindsNothing()
    {
        auto backend = UsbBackend::create(UsbBackend::Kind::LibUsb, UsbDeviceIds{});
        TUSBDevice device(&prompter, nullptr, backend);
        device.SetDeviceType(TDeviceType::tpCalderwickVX8);
        if (!device.DeviceList().isEmpty()) {
            QSKIP("a device with the dock's ids is attached to this machine");
        }
        QVERIFY(!device.SelectFirstDevice());
        QCOMPARE(prompter.texts().last(), QStringLiteral("No devices found!"));
        QVERIFY(!device.Open());
        QCOMPARE(prompter.texts().last(), QStringLiteral("Device has no pipes!"));
        QVERIFY(!device.SetDeviceName(QStringLiteral("usb:250-9")));
        QCOMPARE(device.PipeCount(), 0);
        QVERIFY(!device.IsConnected());
    }

    void backendChosenBySetting()
    {
        qputenv("VX8_USB_BACKEND", "inprocess");
        QCOMPARE(UsbBackend::defaultKind(), UsbBackend::Kind::InProcess);
        qputenv("VX8_USB_BACKEND", "libusb");
        QCOMPARE(UsbBackend::defaultKind(), UsbBackend::Kind::LibUsb);
        UsbBackend::setDefaultKind(UsbBackend::Kind::InProcess);
        QCOMPARE(UsbBackend::defaultKind(), UsbBackend::Kind::InProcess);
        UsbBackend::setDefaultKind(std::nullopt);
        qunsetenv("VX8_USB_BACKEND");
        QCOMPARE(UsbBackend::defaultKind(), UsbBackend::Kind::LibUsb);
    }

    void idsFromRegistry()
    {
        test::TempHome home;
        QCOMPARE(UsbDeviceIds::fromSettings().vendorId, UsbDeviceIds::DefaultVendorId);
        WriteRegistryString(RegKey::Program, QStringLiteral("USBVendorID"), QStringLiteral("0x04D8"));
        WriteRegistryString(RegKey::Program, QStringLiteral("USBProductID"), QStringLiteral("zz"));
        const UsbDeviceIds ids = UsbDeviceIds::fromSettings();
        QCOMPARE(ids.vendorId, quint16(0x04D8));
        QCOMPARE(ids.productId, UsbDeviceIds::DefaultProductId);
    }
};

QTEST_GUILESS_MAIN(TestUsbDevice)
#include "tst_usbdevice.moc"
