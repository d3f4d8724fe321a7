#pragma once

#include "UsbTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace vx8 {

// An opened USB device: moves bytes on the endpoints of its first interface, addressed by pipe
// number (the endpoint's index in descriptor order). Everything is asynchronous and every callback
// runs on the thread that owns the connection (the main thread), from the event loop, never from
// inside a call into the connection.
class UsbConnection
{
public:
    virtual ~UsbConnection() = default;

    // Bytes read from an input pipe, in arrival order.
    std::function<void(int pipe, const QByteArray& bytes)> onData;
    // A write handed over by write() has been taken by the device completely.
    std::function<void(int pipe, int written)> onWritten;
    // A transfer on the pipe failed (libusb error code). Reads on that pipe stop, and a failed
    // write is not retried, until restart(pipe).
    std::function<void(int pipe, int error)> onError;
    // The device has gone (raised at most once).
    std::function<void()> onRemoved;

    // Reads run only while receiving (false while the device is halted). Bytes the device offers
    // meanwhile stay with the device.
    virtual void setReceiving(bool on) = 0;
    // Starts writing bytes to an output pipe; one write per pipe at a time. False when it could not
    // be started (onError is raised as well).
    virtual bool write(int pipe, const QByteArray& bytes) = 0;
    // After an error: clears a stalled endpoint and lets reads run again on an input pipe.
    virtual void restart(int pipe) = 0;
    // Stops every transfer, releases the device and frees the connection (possibly later, once the
    // transfers in flight have come back). No callback runs after this call.
    virtual void closeAndDelete() = 0;
};

// Where TUSBDevice finds and opens devices.
class UsbBackend
{
public:
    enum class Kind { LibUsb, InProcess };

    virtual ~UsbBackend() = default;
    virtual Kind kind() const = 0;

    // Paths of the present devices of the given class, in a stable order.
    virtual QStringList enumerate(TDeviceType type) = 0;
    // Endpoints of the first interface of the device at path, in descriptor order. Empty optional
    // when the device cannot be found or its descriptors cannot be read (diagnostic in *why).
    virtual std::optional<QList<UsbEndpoint>> readEndpoints(const QString& path, QString* why) = 0;
    // Opens the device; nullptr with *error (libusb code) on failure.
    virtual std::unique_ptr<UsbConnection> open(const QString& path, int* error) = 0;

    // The backend chosen by VX8_USB_BACKEND ("inprocess" or "libusb", default libusb), unless
    // setDefaultKind() chose one.
    static Kind defaultKind();
    static void setDefaultKind(std::optional<Kind> kind);
    static std::shared_ptr<UsbBackend> create(Kind kind, const UsbDeviceIds& ids);
    static std::shared_ptr<UsbBackend> create(Kind kind) { return create(kind, UsbDeviceIds::fromSettings()); }
    static std::shared_ptr<UsbBackend> createDefault() { return create(defaultKind()); }
};

} // namespace vx8
