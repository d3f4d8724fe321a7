#include "VirtualUsbDevice.h"

namespace vx8 {

VirtualUsbBus& VirtualUsbBus::instance()
{
    static VirtualUsbBus bus;
    return bus;
}

void VirtualUsbBus::attach(VirtualUsbDevice* device)
{
    if (device && !m_devices.contains(device)) {
        m_devices.append(device);
    }
}

void VirtualUsbBus::detach(VirtualUsbDevice* device)
{
    if (m_devices.removeAll(device) > 0 && device->removed) {
        device->removed();
    }
}

} // namespace vx8
