#pragma once

#include "UsbBackend.h"

#include <memory>

namespace vx8 {

class LibusbContext;

// Docks on real USB through libusb-1.0. Devices are matched by vendor and product id; their path is
// "usb:" + bus + "-" + port chain ("usb:1-4.2"), listed sorted by bus and port so that the order is
// stable. Pipe n is endpoint n of interface 0 (alternate setting 0).
//
// Transfers are asynchronous and run on the thread that created the backend: libusb's file
// descriptors are watched with QSocketNotifier and libusb's events handled from the Qt event loop,
// so no thread polls. Removal is seen by libusb's hot-plug callback where the platform has it, and
// otherwise by a transfer failing with "no device".
class LibusbBackend : public UsbBackend
{
public:
    explicit LibusbBackend(const UsbDeviceIds& ids);
    ~LibusbBackend() override;

    Kind kind() const override { return Kind::LibUsb; }
    QStringList enumerate(TDeviceType type) override;
    std::optional<QList<UsbEndpoint>> readEndpoints(const QString& path, QString* why) override;
    std::unique_ptr<UsbConnection> open(const QString& path, int* error) override;

    const UsbDeviceIds& ids() const { return m_ids; }
    // False when libusb could not start here (no USB on this machine); nothing is found then.
    bool available() const;

private:
    UsbDeviceIds m_ids;
    std::shared_ptr<LibusbContext> m_context;
};

} // namespace vx8
