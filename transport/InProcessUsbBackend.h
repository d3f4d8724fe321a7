#pragma once

#include "UsbBackend.h"

namespace vx8 {

class VirtualUsbDevice;

// Finds the devices attached to VirtualUsbBus::instance() (every one is a dock, whatever its ids)
// and opens them in place of hardware: device-to-host bytes arrive as pipe data, host writes go to
// VirtualUsbDevice::hostWrite one round at a time, and the device's removal ends the connection.
class InProcessUsbBackend : public UsbBackend
{
public:
    Kind kind() const override { return Kind::InProcess; }
    QStringList enumerate(TDeviceType type) override;
    std::optional<QList<UsbEndpoint>> readEndpoints(const QString& path, QString* why) override;
    std::unique_ptr<UsbConnection> open(const QString& path, int* error) override;

    static VirtualUsbDevice* find(const QString& path);
};

} // namespace vx8
