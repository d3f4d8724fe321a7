#include "InProcessUsbBackend.h"

#include "common/Trace.h"
#include "VirtualUsbDevice.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <libusb.h>

namespace vx8 {

namespace {

bool onBus(VirtualUsbDevice* device)
{
    return device && VirtualUsbBus::instance().devices().contains(device);
}

// A connection to one VirtualUsbDevice. Every callback is posted, so that nothing runs inside the
// device's own call into the host.
class InProcessConnection : public QObject, public UsbConnection
{
public:
    explicit InProcessConnection(VirtualUsbDevice* device)
        : m_device(device), m_link(std::make_shared<Link>(Link{this}))
    {
        // The hooks may outlive the connection (a device detached and kept); they reach it only
        // through the link, which the connection clears when it goes.
        std::shared_ptr<Link> link = m_link;
        m_device->deviceToHost = [link](int pipe, const QByteArray& bytes) {
            if (InProcessConnection* self = link->connection) {
                QMetaObject::invokeMethod(
                    self, [self, pipe, bytes] { self->arrived(pipe, bytes); }, Qt::QueuedConnection);
            }
        };
        m_device->removed = [link] {
            if (InProcessConnection* self = link->connection) {
                // The device may be freed right after it detaches: forget it now.
                self->m_device = nullptr;
                QMetaObject::invokeMethod(self, [self] { self->reportRemoved(); }, Qt::QueuedConnection);
            }
        };
    }

    ~InProcessConnection() override
    {
        m_link->connection = nullptr;
        releaseDevice();
    }

    void setReceiving(bool on) override
    {
        m_receiving = on;
        if (on && !m_held.isEmpty()) {
            QMetaObject::invokeMethod(this, [this] { flushHeld(); }, Qt::QueuedConnection);
        }
    }

    bool write(int pipe, const QByteArray& bytes) override
    {
        // One round per event-loop pass, as the device takes them.
        QMetaObject::invokeMethod(
            this,
            [this, pipe, bytes] {
                if (m_closed) {
                    return;
                }
                if (!onBus(m_device) || !m_device->hostWrite(pipe, bytes)) {
                    if (onError) {
                        onError(pipe, LIBUSB_ERROR_NO_DEVICE);
                    }
                    return;
                }
                if (onWritten) {
                    onWritten(pipe, int(bytes.size()));
                }
            },
            Qt::QueuedConnection);
        return true;
    }

    void restart(int pipe) override { Q_UNUSED(pipe); }

    void closeAndDelete() override
    {
        m_closed = true;
        onData = nullptr;
        onWritten = nullptr;
        onError = nullptr;
        onRemoved = nullptr;
        releaseDevice();
        deleteLater();
    }

private:
    struct Link
    {
        InProcessConnection* connection;
    };

    void releaseDevice()
    {
        m_link->connection = nullptr;
        if (m_device && onBus(m_device)) {
            m_device->deviceToHost = nullptr;
            m_device->removed = nullptr;
        }
        m_device = nullptr;
    }

    void arrived(int pipe, const QByteArray& bytes)
    {
        if (m_closed) {
            return;
        }
        if (!m_receiving || !m_held.isEmpty()) {
            m_held.append({pipe, bytes});
            if (m_receiving) {
                flushHeld();
            }
            return;
        }
        if (onData) {
            onData(pipe, bytes);
        }
    }

    void flushHeld()
    {
        while (!m_closed && m_receiving && !m_held.isEmpty()) {
            const auto [pipe, bytes] = m_held.takeFirst();
            if (onData) {
                onData(pipe, bytes);
            }
        }
    }

    void reportRemoved()
    {
        if (m_closed || m_removedReported) {
            return;
        }
        m_removedReported = true;
        if (onRemoved) {
            onRemoved();
        }
    }

    VirtualUsbDevice* m_device;
    std::shared_ptr<Link> m_link;
    QList<QPair<int, QByteArray>> m_held;
    bool m_receiving = false;
    bool m_closed = false;
    bool m_removedReported = false;
};

} // namespace

VirtualUsbDevice* InProcessUsbBackend::find(const QString& path)
{
    for (VirtualUsbDevice* device : VirtualUsbBus::instance().devices()) {
        if (device->devicePath() == path) {
            return device;
        }
    }
    return nullptr;
}

QStringList InProcessUsbBackend::enumerate(TDeviceType type)
{
    QStringList paths;
    if (type != TDeviceType::tpCalderwickVX8) {
        return paths;
    }
    for (VirtualUsbDevice* device : VirtualUsbBus::instance().devices()) {
        paths.append(device->devicePath());
    }
    return paths;
}

std::optional<QList<UsbEndpoint>> InProcessUsbBackend::readEndpoints(const QString& path, QString* why)
{
    VirtualUsbDevice* device = find(path);
    if (!device) {
        if (why) {
            *why = QStringLiteral("no in-process device ") + path;
        }
        return std::nullopt;
    }
    const quint16 size = quint16(qBound(1, device->maxPacketSize(), 1024));
    // Pipe 0 user data out, 1 user data in, 2 control in, 3 control out.
    return QList<UsbEndpoint>{{0x01, 0x02, size}, {0x81, 0x02, size}, {0x82, 0x02, size}, {0x02, 0x02, size}};
}

std::unique_ptr<UsbConnection> InProcessUsbBackend::open(const QString& path, int* error)
{
    VirtualUsbDevice* device = find(path);
    if (!device) {
        LocalDebugString(QStringLiteral("InProcessUsbBackend.open - no device ") + path, lcUsb());
        if (error) {
            *error = LIBUSB_ERROR_NO_DEVICE;
        }
        return nullptr;
    }
    return std::make_unique<InProcessConnection>(device);
}

} // namespace vx8
