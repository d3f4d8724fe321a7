#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <QCoro/QCoroTask>

#include <array>

namespace vx8 {

// What the dock frame's start-up and shutdown need of its dock link (TCalderwickVX8Dock). The
// frame talks to the link only through this, so that its logic does not depend on the link's
// transport; DockLinkAdapter implements it over the real link.
class DockLinkPort
{
public:
    virtual ~DockLinkPort() = default;

    struct BusyReply
    {
        bool acknowledged = false; // the dock answered
        bool busy = true;          // a failed command counts as busy
    };

    // The link's Enabled property.
    virtual bool IsEnabled() const = 0;
    virtual QCoro::Task<bool> EnableDock(bool on) = 0;
    // The dock is reached through a USB device (else over TCP).
    virtual bool IsUsb() const = 0;
    // For a USB dock: clears the device's halted flag.
    virtual void ClearUsbHalted() = 0;
    virtual QString EthernetAddress() const = 0;
    virtual void SetEthernetAddress(const QString& address) = 0;
    virtual void SetCommandTimeOut(int ms) = 0;

    virtual QCoro::Task<BusyReply> GetIsDockBusy() = 0;           // GST
    virtual QCoro::Task<BusyReply> SetDockMode(bool slave) = 0;   // SLV / MST
    virtual QCoro::Task<bool> GetConfiguration() = 0;             // REE
    virtual QCoro::Task<bool> WriteConfiguration() = 0;           // WEE
    virtual QCoro::Task<bool> SetDateTime(const QDateTime& value) = 0; // STC
    virtual QCoro::Task<bool> SetPumpStatus(int speed, int channel) = 0; // PSS

    // Fields of the configuration record read last (DockConfigRecord).
    virtual quint32 ConfigSerialNumber() const = 0;
    virtual void SetConfigSerialNumber(quint32 serial) = 0;
    virtual quint16 ConfigFirmwareVersion() const = 0;
    virtual quint8 ConfigProtocolVersion() const = 0;
    virtual bool GetDockSetting(int bit) const = 0;
    virtual void SetDockSetting(int bit, bool on) = 0;
    virtual QByteArray ConfigDockDescription() const = 0; // 24 bytes
    virtual void SetConfigDockDescription(const QByteArray& bytes24) = 0;
    virtual std::array<quint8, 4> ConfigIPAddress() const = 0;
    virtual void SetConfigEmail(const std::array<quint8, 4>& smtp, const QByteArray& recipient50,
                                const QByteArray& text50) = 0;
};

// Dock setting bits used by the frame.
namespace DockSetting {
inline constexpr int EthernetInstalled = 5;
inline constexpr int Enable_Emailing = 12;
} // namespace DockSetting

} // namespace vx8
