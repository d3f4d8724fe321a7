#pragma once

#include "transport/VirtualUsbDevice.h"

namespace vx8::sim {

class SimDock;

// The in-process USB face of a simulated USB dock: pipe 3 carries commands to the dock, pipe 2
// its replies and events, pipe 0 user data to the dock, pipe 1 user data from it. Both directions
// are queued through the event loop, so neither side runs inside the other's call.
class SimUsbDevice : public VirtualUsbDevice
{
public:
    SimUsbDevice(SimDock* dock, quint16 vendor, quint16 product);
    quint16 vendorId() const override { return m_vendor; }
    quint16 productId() const override { return m_product; }
    QString devicePath() const override;
    bool hostWrite(int pipe, const QByteArray& bytes) override;
    bool attached() const;
    void toHost(int pipe, const QByteArray& bytes);

private:
    SimDock* m_dock;
    quint16 m_vendor, m_product;
};

} // namespace vx8::sim
