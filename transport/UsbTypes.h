#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class QObject;

namespace vx8 {

// The device-interface classes a TUSBDevice can search for. Each type has its own class GUID;
// any value outside the table uses the tpORX class.
enum class TDeviceType { tpVexaExpress, tpQUVexaExpress, tpDravel, tpCalderwickVX8, tpORX };

// Stored and handed to the pipes; reads always use the endpoint's maximum packet size.
enum class TPacketSize { szAuto, sz64, sz128, sz256, sz512, sz1024 };

// The interface class GUID of a device type ("{D9A037FA-...}" for tpCalderwickVX8).
QString InterfaceClassOf(TDeviceType type);

// One endpoint of the device's first interface, in descriptor order.
struct UsbEndpoint
{
    quint8 address = 0;       // bit 7 set: input (device to host)
    quint8 attributes = 0x02; // transfer type in bits 0-1 (2 = bulk)
    quint16 maxPacketSize = 64;
    bool isInput() const { return (address & 0x80) != 0; }
    bool isBulk() const { return (attributes & 0x03) == 0x02; }
};

// Which USB devices are docks: vendor and product id. Read from the registry (key
// "Software\Calderwick\VX8", values "USBVendorID" and "USBProductID", hexadecimal with or without
// "0x"); a missing or malformed value keeps the default.
struct UsbDeviceIds
{
    static constexpr quint16 DefaultVendorId = 0x1209;
    static constexpr quint16 DefaultProductId = 0x7D80;
    quint16 vendorId = DefaultVendorId;
    quint16 productId = DefaultProductId;
    static UsbDeviceIds fromSettings();
};

// Error codes passed with OnPipeError / OnError / OnOpenPipeError are libusb error codes
// (LIBUSB_ERROR_IO = -1, LIBUSB_ERROR_NO_DEVICE = -4, LIBUSB_ERROR_PIPE = -9, ...), from either backend.
// "Error(" + code + ") - " + the library's text for the code.
QString UsbErrorText(int code);

// Event types (single assignee; raised only when assigned).
using TOnPipeData = std::function<void(QObject* sender, int pipe, int count)>;
using TOnPipeError = std::function<void(QObject* sender, int pipe, int error)>;
using TOnOpenPipeError =
    std::function<void(QObject* sender, int pipe, int error, const QString& pipePath)>;
using TNotifyEvent = std::function<void(QObject* sender)>;

} // namespace vx8
