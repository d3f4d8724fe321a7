#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace vx8 {

// A USB device that lives in this process: the in-process USB backend lists and opens these in
// place of real hardware, and the dock simulator implements one per simulated USB dock.
//
// The device offers four bulk endpoints, numbered as the dock's pipes:
//   pipe 0  user data out (host → dock)     pipe 1  user data in (dock → host)
//   pipe 2  control in (dock → host)        pipe 3  control out (host → dock)
// All calls happen on the thread that owns the device (the main thread).
class VirtualUsbDevice
{
public:
    virtual ~VirtualUsbDevice() = default;

    virtual quint16 vendorId() const = 0;
    virtual quint16 productId() const = 0;
    // A stable path that names the device while it is attached ("sim-usb:0", ...).
    virtual QString devicePath() const = 0;
    // Maximum packet size of every endpoint (64 for the dock).
    virtual int maxPacketSize() const { return 64; }

    // The host wrote bytes to an OUT pipe (0 or 3). False when the device is gone.
    virtual bool hostWrite(int pipe, const QByteArray& bytes) = 0;

    // Set by the backend: the device has bytes for the host on an IN pipe (1 or 2).
    std::function<void(int pipe, const QByteArray& bytes)> deviceToHost;
    // Set by the backend: the device was unplugged (raised once).
    std::function<void()> removed;
};

// The registry of in-process devices the in-process backend enumerates.
class VirtualUsbBus
{
public:
    static VirtualUsbBus& instance();
    void attach(VirtualUsbDevice* device);
    // Detaching raises the device's removed() hook when set.
    void detach(VirtualUsbDevice* device);
    QList<VirtualUsbDevice*> devices() const { return m_devices; }

private:
    QList<VirtualUsbDevice*> m_devices;
};

} // namespace vx8
