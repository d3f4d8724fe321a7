#include "LibusbBackend.h"

#include "common/Trace.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <poll.h>

namespace vx8 {

namespace {
void trace(const QString& text)
{
    LocalDebugString(text, lcUsb());
}

QString pathOf(libusb_device* device)
{
    uint8_t ports[8];
    const int n = libusb_get_port_numbers(device, ports, int(sizeof ports));
    QString path = QStringLiteral("usb:%1-").arg(libusb_get_bus_number(device));
    if (n <= 0) {
        return path + QStringLiteral("a%1").arg(libusb_get_device_address(device));
    }
    for (int i = 0; i < n; ++i) {
        if (i > 0) {
            path += QLatin1Char('.');
        }
        path += QString::number(ports[i]);
    }
    return path;
}

// Sort key: bus, then the port chain numerically.
QList<int> sortKey(libusb_device* device)
{
    QList<int> key{libusb_get_bus_number(device)};
    uint8_t ports[8];
    const int n = libusb_get_port_numbers(device, ports, int(sizeof ports));
    for (int i = 0; i < n; ++i) {
        key.append(ports[i]);
    }
    key.append(1000 + libusb_get_device_address(device));
    return key;
}

int statusToError(int status)
{
    switch (status) {
    case LIBUSB_TRANSFER_STALL:
        return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_OVERFLOW:
        return LIBUSB_ERROR_OVERFLOW;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_CANCELLED:
        return LIBUSB_ERROR_INTERRUPTED;
    default:
        return LIBUSB_ERROR_IO;
    }
}
} // namespace

// One libusb context per process, its events handled from the Qt event loop of the thread that
// created it.
class LibusbContext : public QObject
{
public:
    static std::shared_ptr<LibusbContext> shared()
    {
        static std::weak_ptr<LibusbContext> cached;
        std::shared_ptr<LibusbContext> context = cached.lock();
        if (!context) {
            context = std::shared_ptr<LibusbContext>(new LibusbContext);
            cached = context;
        }
        return context;
    }

    ~LibusbContext() override
    {
        if (m_ctx) {
            libusb_set_pollfd_notifiers(m_ctx, nullptr, nullptr, nullptr);
            m_notifiers.clear();
            libusb_exit(m_ctx);
        }
    }

    libusb_context* ctx() const { return m_ctx; }
    bool hasHotplug() const { return m_ctx && libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG); }

    void handleEvents()
    {
        if (!m_ctx) {
            return;
        }
        timeval zero{0, 0};
        libusb_handle_events_timeout_completed(m_ctx, &zero, nullptr);
        armTimeout();
    }

    // When the platform cannot fold libusb's time-outs into its descriptors, a timer does.
    void armTimeout()
    {
        if (!m_ctx || m_fdTimeouts) {
            return;
        }
        timeval next{};
        if (libusb_get_next_timeout(m_ctx, &next) == 1) {
            const qint64 ms = qint64(next.tv_sec) * 1000 + next.tv_usec / 1000;
            m_timer.start(int(qBound(qint64(0), ms, qint64(60000))));
        }
    }

private:
    LibusbContext()
    {
        const int rc = libusb_init(&m_ctx);
        if (rc != 0) {
            trace(QStringLiteral("LibusbContext - libusb could not start: ") + QString::fromUtf8(libusb_strerror(rc)));
            m_ctx = nullptr;
            return;
        }
        m_fdTimeouts = libusb_pollfds_handle_timeouts(m_ctx) != 0;
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { handleEvents(); });
        libusb_set_pollfd_notifiers(m_ctx, &LibusbContext::added, &LibusbContext::removed, this);
        if (const libusb_pollfd** fds = libusb_get_pollfds(m_ctx)) {
            for (const libusb_pollfd** p = fds; *p; ++p) {
                watch((*p)->fd, (*p)->events);
            }
            libusb_free_pollfds(fds);
        }
    }

    static void added(int fd, short events, void* self)
    {
        auto* context = static_cast<LibusbContext*>(self);
        if (QThread::currentThread() == context->thread()) {
            context->watch(fd, events);
        } else {
            QMetaObject::invokeMethod(context, [context, fd, events] { context->watch(fd, events); }, Qt::QueuedConnection);
        }
    }

    static void removed(int fd, void* self)
    {
        auto* context = static_cast<LibusbContext*>(self);
        if (QThread::currentThread() == context->thread()) {
            context->unwatch(fd);
        } else {
            QMetaObject::invokeMethod(context, [context, fd] { context->unwatch(fd); }, Qt::QueuedConnection);
        }
    }

    struct Watch
    {
        std::unique_ptr<QSocketNotifier, void (*)(QSocketNotifier*)> read{nullptr, &dispose};
        std::unique_ptr<QSocketNotifier, void (*)(QSocketNotifier*)> write{nullptr, &dispose};
    };

    // A notifier may be removed while it is being served: disable it now, free it later.
    static void dispose(QSocketNotifier* notifier)
    {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }

    void watch(int fd, short events)
    {
        Watch& w = m_notifiers[fd];
        if ((events & POLLIN) && !w.read) {
            w.read.reset(new QSocketNotifier(fd, QSocketNotifier::Read));
            QObject::connect(w.read.get(), &QSocketNotifier::activated, this, [this] { handleEvents(); });
        }
        if ((events & POLLOUT) && !w.write) {
            w.write.reset(new QSocketNotifier(fd, QSocketNotifier::Write));
            QObject::connect(w.write.get(), &QSocketNotifier::activated, this, [this] { handleEvents(); });
        }
    }

    void unwatch(int fd) { m_notifiers.erase(fd); }

    libusb_context* m_ctx = nullptr;
    bool m_fdTimeouts = true;
    QTimer m_timer;
    std::map<int, Watch> m_notifiers;
};

namespace {

// Reads kept in flight per input pipe, each one packet long, so that every packet completes a
// transfer (a reply that is an exact multiple of the packet size needs no terminating packet).
constexpr int ReadsInFlight = 4;

class LibusbConnection : public QObject, public UsbConnection
{
public:
    LibusbConnection(std::shared_ptr<LibusbContext> context, libusb_device* device,
                     libusb_device_handle* handle, int interfaceNumber, QList<UsbEndpoint> endpoints,
                     const UsbDeviceIds& ids)
        : m_context(std::move(context)), m_device(libusb_ref_device(device)), m_handle(handle),
          m_interface(interfaceNumber)
    {
        for (const UsbEndpoint& ep : endpoints) {
            Pipe pipe;
            pipe.endpoint = ep;
            m_pipes.append(pipe);
        }
        if (m_context->hasHotplug()) {
            const int rc = libusb_hotplug_register_callback(
                m_context->ctx(), LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, LIBUSB_HOTPLUG_NO_FLAGS,
                ids.vendorId, ids.productId, LIBUSB_HOTPLUG_MATCH_ANY, &LibusbConnection::hotplug, this,
                &m_hotplugHandle);
            m_hotplugRegistered = rc == LIBUSB_SUCCESS;
            if (!m_hotplugRegistered) {
                trace(QStringLiteral("LibusbConnection - no hot-plug callback, removal seen by transfer errors"));
            }
        }
    }

    void setReceiving(bool on) override
    {
        m_receiving = on;
        if (on) {
            for (int i = 0; i < m_pipes.size(); ++i) {
                submitReads(i);
            }
        }
    }

    bool write(int pipe, const QByteArray& bytes) override
    {
        if (m_closing || pipe < 0 || pipe >= m_pipes.size() || m_pipes[pipe].endpoint.isInput()
            || m_pipes[pipe].writing) {
            return false;
        }
        Pipe& p = m_pipes[pipe];
        p.writeData = bytes;
        p.writeOffset = 0;
        return submitWrite(pipe);
    }

    void restart(int pipe) override
    {
        if (m_closing || pipe < 0 || pipe >= m_pipes.size()) {
            return;
        }
        Pipe& p = m_pipes[pipe];
        if (p.lastError == LIBUSB_ERROR_PIPE) {
            libusb_clear_halt(m_handle, p.endpoint.address);
        }
        p.failed = false;
        p.lastError = 0;
        submitReads(pipe);
    }

    void closeAndDelete() override
    {
        m_closing = true;
        onData = nullptr;
        onWritten = nullptr;
        onError = nullptr;
        onRemoved = nullptr;
        if (m_hotplugRegistered) {
            libusb_hotplug_deregister_callback(m_context->ctx(), m_hotplugHandle);
            m_hotplugRegistered = false;
        }
        for (libusb_transfer* t : std::as_const(m_inFlight)) {
            libusb_cancel_transfer(t);
        }
        finishIfIdle();
    }

private:
    struct Pipe
    {
        UsbEndpoint endpoint;
        int reads = 0;
        bool failed = false;
        int lastError = 0;
        bool writing = false;
        QByteArray writeData;
        int writeOffset = 0;
    };
    struct Tag
    {
        LibusbConnection* connection;
        int pipe;
    };

    ~LibusbConnection() override
    {
        if (m_handle) {
            libusb_release_interface(m_handle, m_interface);
            libusb_close(m_handle);
        }
        libusb_unref_device(m_device);
    }

    void finishIfIdle()
    {
        if (m_closing && m_inFlight.isEmpty() && !m_finished) {
            m_finished = true;
            // Released from the event loop, outside any libusb callback.
            QMetaObject::invokeMethod(m_context.get(), [self = this] { delete self; }, Qt::QueuedConnection);
        }
    }

    libusb_transfer* newTransfer(int pipe, int length)
    {
        libusb_transfer* t = libusb_alloc_transfer(0);
        if (!t) {
            return nullptr;
        }
        auto* buffer = new unsigned char[size_t(qMax(1, length))];
        libusb_fill_bulk_transfer(t, m_handle, m_pipes[pipe].endpoint.address, buffer, length,
                                  &LibusbConnection::completed, new Tag{this, pipe}, 0);
        return t;
    }

    static void freeTransfer(libusb_transfer* t)
    {
        delete static_cast<Tag*>(t->user_data);
        delete[] t->buffer;
        libusb_free_transfer(t);
    }

    void submitReads(int pipe)
    {
        Pipe& p = m_pipes[pipe];
        if (!p.endpoint.isInput()) {
            return;
        }
        while (m_receiving && !m_closing && !p.failed && p.reads < ReadsInFlight) {
            libusb_transfer* t = newTransfer(pipe, p.endpoint.maxPacketSize);
            if (!t) {
                return;
            }
            const int rc = libusb_submit_transfer(t);
            if (rc != 0) {
                freeTransfer(t);
                failPipe(pipe, rc);
                return;
            }
            ++p.reads;
            m_inFlight.append(t);
        }
        m_context->armTimeout();
    }

    bool submitWrite(int pipe)
    {
        Pipe& p = m_pipes[pipe];
        const int length = qMin<int>(p.writeData.size() - p.writeOffset, qMax<int>(1, p.endpoint.maxPacketSize));
        libusb_transfer* t = newTransfer(pipe, length);
        if (!t) {
            post(pipe, LIBUSB_ERROR_NO_MEM);
            return false;
        }
        memcpy(t->buffer, p.writeData.constData() + p.writeOffset, size_t(length));
        const int rc = libusb_submit_transfer(t);
        if (rc != 0) {
            freeTransfer(t);
            if (rc == LIBUSB_ERROR_NO_DEVICE) {
                postRemoved();
            } else {
                post(pipe, rc);
            }
            return false;
        }
        p.writing = true;
        m_inFlight.append(t);
        m_context->armTimeout();
        return true;
    }

    void failPipe(int pipe, int error)
    {
        Pipe& p = m_pipes[pipe];
        if (error == LIBUSB_ERROR_NO_DEVICE) {
            postRemoved();
            return;
        }
        if (!p.failed) {
            p.failed = true;
            p.lastError = error;
            // Stop the other reads of this pipe; report once they are all back.
            for (libusb_transfer* t : std::as_const(m_inFlight)) {
                if (static_cast<Tag*>(t->user_data)->pipe == pipe) {
                    libusb_cancel_transfer(t);
                }
            }
        }
        if (p.reads == 0) {
            post(pipe, p.lastError);
        }
    }

    void post(int pipe, int error)
    {
        QMetaObject::invokeMethod(
            this,
            [this, pipe, error] {
                if (!m_closing && onError) {
                    onError(pipe, error);
                }
            },
            Qt::QueuedConnection);
    }

    void postRemoved()
    {
        if (m_removedPosted) {
            return;
        }
        m_removedPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_closing && onRemoved) {
                    onRemoved();
                }
            },
            Qt::QueuedConnection);
    }

    static void LIBUSB_CALL completed(libusb_transfer* t)
    {
        auto* tag = static_cast<Tag*>(t->user_data);
        tag->connection->transferDone(t, tag->pipe);
    }

    void transferDone(libusb_transfer* t, int pipe)
    {
        m_inFlight.removeOne(t);
        Pipe& p = m_pipes[pipe];
        const int status = t->status;
        if (p.endpoint.isInput()) {
            --p.reads;
            if (t->actual_length > 0 && !m_closing) {
                const QByteArray bytes(reinterpret_cast<const char*>(t->buffer), t->actual_length);
                QMetaObject::invokeMethod(
                    this,
                    [this, pipe, bytes] {
                        if (!m_closing && onData) {
                            onData(pipe, bytes);
                        }
                    },
                    Qt::QueuedConnection);
            }
            freeTransfer(t);
            if (m_closing) {
                finishIfIdle();
                return;
            }
            if (status == LIBUSB_TRANSFER_COMPLETED) {
                submitReads(pipe);
            } else if (status == LIBUSB_TRANSFER_NO_DEVICE) {
                postRemoved();
            } else if (status == LIBUSB_TRANSFER_CANCELLED && p.failed) {
                failPipe(pipe, p.lastError);
            } else if (status != LIBUSB_TRANSFER_CANCELLED) {
                failPipe(pipe, statusToError(status));
            }
            return;
        }

        // Output.
        const int actual = t->actual_length;
        freeTransfer(t);
        p.writing = false;
        if (m_closing) {
            finishIfIdle();
            return;
        }
        if (status == LIBUSB_TRANSFER_COMPLETED || (actual > 0 && status != LIBUSB_TRANSFER_NO_DEVICE)) {
            p.writeOffset += actual;
        }
        if (status == LIBUSB_TRANSFER_NO_DEVICE) {
            postRemoved();
            return;
        }
        if (status != LIBUSB_TRANSFER_COMPLETED) {
            // The unwritten rest is written again when the device asks for a retry.
            p.lastError = statusToError(status);
            p.writeData.remove(0, p.writeOffset);
            p.writeOffset = 0;
            post(pipe, p.lastError);
            return;
        }
        if (p.writeOffset < p.writeData.size()) {
            submitWrite(pipe);
            return;
        }
        const int written = int(p.writeData.size());
        p.writeData.clear();
        p.writeOffset = 0;
        QMetaObject::invokeMethod(
            this,
            [this, pipe, written] {
                if (!m_closing && onWritten) {
                    onWritten(pipe, written);
                }
            },
            Qt::QueuedConnection);
    }

    static int LIBUSB_CALL hotplug(libusb_context*, libusb_device* device, libusb_hotplug_event, void* self)
    {
        auto* connection = static_cast<LibusbConnection*>(self);
        if (device == connection->m_device) {
            connection->postRemoved();
        }
        return 0;
    }

    std::shared_ptr<LibusbContext> m_context;
    libusb_device* m_device;
    libusb_device_handle* m_handle;
    int m_interface;
    QList<Pipe> m_pipes;
    QList<libusb_transfer*> m_inFlight;
    libusb_hotplug_callback_handle m_hotplugHandle = 0;
    bool m_hotplugRegistered = false;
    bool m_receiving = false;
    bool m_closing = false;
    bool m_finished = false;
    bool m_removedPosted = false;
};

// The present devices with the dock's ids, sorted; each one referenced (unref with the list).
struct DeviceList
{
    explicit DeviceList(libusb_context* ctx, const UsbDeviceIds& ids)
    {
        if (!ctx) {
            return;
        }
        const ssize_t n = libusb_get_device_list(ctx, &m_all);
        for (ssize_t i = 0; i < n; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(m_all[i], &d) == 0 && d.idVendor == ids.vendorId
                && d.idProduct == ids.productId) {
                devices.append(m_all[i]);
            }
        }
        std::sort(devices.begin(), devices.end(),
                  [](libusb_device* a, libusb_device* b) { return sortKey(a) < sortKey(b); });
    }
    ~DeviceList()
    {
        if (m_all) {
            libusb_free_device_list(m_all, 1);
        }
    }
    libusb_device* find(const QString& path) const
    {
        for (libusb_device* d : devices) {
            if (pathOf(d) == path) {
                return d;
            }
        }
        return nullptr;
    }
    QList<libusb_device*> devices;

private:
    libusb_device** m_all = nullptr;
};

std::optional<QList<UsbEndpoint>> endpointsOf(libusb_device* device, int* interfaceNumber, QString* why)
{
    libusb_config_descriptor* config = nullptr;
    int rc = libusb_get_active_config_descriptor(device, &config);
    if (rc != 0) {
        rc = libusb_get_config_descriptor(device, 0, &config);
    }
    if (rc != 0 || !config) {
        if (why) {
            *why = QStringLiteral("configuration descriptor not readable: ") + UsbErrorText(rc);
        }
        return std::nullopt;
    }
    if (config->bNumInterfaces < 1 || config->interface[0].num_altsetting < 1) {
        libusb_free_config_descriptor(config);
        if (why) {
            *why = QStringLiteral("device has no interface");
        }
        return std::nullopt;
    }
    const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
    QList<UsbEndpoint> endpoints;
    for (int i = 0; i < alt.bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& e = alt.endpoint[i];
        endpoints.append({e.bEndpointAddress, e.bmAttributes, e.wMaxPacketSize});
    }
    if (interfaceNumber) {
        *interfaceNumber = alt.bInterfaceNumber;
    }
    libusb_free_config_descriptor(config);
    return endpoints;
}

} // namespace

LibusbBackend::LibusbBackend(const UsbDeviceIds& ids) : m_ids(ids), m_context(LibusbContext::shared()) {}

LibusbBackend::~LibusbBackend() = default;

bool LibusbBackend::available() const
{
    return m_context->ctx() != nullptr;
}

QStringList LibusbBackend::enumerate(TDeviceType type)
{
    QStringList paths;
    if (type != TDeviceType::tpCalderwickVX8) {
        return paths; // only the dock's ids are known
    }
    DeviceList list(m_context->ctx(), m_ids);
    for (libusb_device* d : list.devices) {
        paths.append(pathOf(d));
    }
    return paths;
}

std::optional<QList<UsbEndpoint>> LibusbBackend::readEndpoints(const QString& path, QString* why)
{
    DeviceList list(m_context->ctx(), m_ids);
    libusb_device* device = list.find(path);
    if (!device) {
        if (why) {
            *why = QStringLiteral("no USB device ") + path;
        }
        return std::nullopt;
    }
    return endpointsOf(device, nullptr, why);
}

std::unique_ptr<UsbConnection> LibusbBackend::open(const QString& path, int* error)
{
    auto fail = [error](int code) -> std::unique_ptr<UsbConnection> {
        if (error) {
            *error = code;
        }
        return nullptr;
    };
    DeviceList list(m_context->ctx(), m_ids);
    libusb_device* device = list.find(path);
    if (!device) {
        return fail(LIBUSB_ERROR_NO_DEVICE);
    }
    int interfaceNumber = 0;
    QString why;
    const auto endpoints = endpointsOf(device, &interfaceNumber, &why);
    if (!endpoints) {
        trace(QStringLiteral("LibusbBackend.open - ") + why);
        return fail(LIBUSB_ERROR_IO);
    }
    libusb_device_handle* handle = nullptr;
    int rc = libusb_open(device, &handle);
    if (rc != 0) {
        trace(QStringLiteral("LibusbBackend.open - ") + UsbErrorText(rc));
        return fail(rc);
    }
    libusb_set_auto_detach_kernel_driver(handle, 1);
    rc = libusb_claim_interface(handle, interfaceNumber);
    if (rc != 0) {
        trace(QStringLiteral("LibusbBackend.open - claim interface: ") + UsbErrorText(rc));
        libusb_close(handle);
        return fail(rc);
    }
    return std::unique_ptr<UsbConnection>(
        new LibusbConnection(m_context, device, handle, interfaceNumber, *endpoints, m_ids));
}

} // namespace vx8
