#include "SimUsbDevice.h"

#include "SimDock.h"

#include <QMetaObject>
#include <QPointer>

namespace vx8::sim {

SimUsbDevice::SimUsbDevice(SimDock* dock, quint16 vendor, quint16 product)
    : m_dock(dock), m_vendor(vendor), m_product(product)
{}

QString SimUsbDevice::devicePath() const
{
    return QStringLiteral("sim-usb:%1").arg(m_dock->serial());
}

bool SimUsbDevice::attached() const
{
    return VirtualUsbBus::instance().devices().contains(const_cast<SimUsbDevice*>(this));
}

bool SimUsbDevice::hostWrite(int pipe, const QByteArray& bytes)
{
    if (!attached() || (pipe != 0 && pipe != 3)) {
        return false;
    }
    QPointer<SimDock> dock(m_dock);
    QMetaObject::invokeMethod(
        m_dock,
        [dock, pipe, bytes] {
            if (dock) {
                dock->receive(pipe == 3 ? SimChannel::Control : SimChannel::Data, bytes);
            }
        },
        Qt::QueuedConnection);
    return true;
}

void SimUsbDevice::toHost(int pipe, const QByteArray& bytes)
{
    QPointer<SimDock> dock(m_dock);
    QMetaObject::invokeMethod(
        m_dock,
        [this, dock, pipe, bytes] {
            if (dock && attached() && deviceToHost) {
                deviceToHost(pipe, bytes);
            }
        },
        Qt::QueuedConnection);
}

} // namespace vx8::sim
