#pragma once

#include "DockLinkPort.h"

#include <QPointer>

#include <functional>

namespace vx8 {

class TCalderwickVX8Dock;

// The frame's DockLinkPort over its dock link TCalderwickVX8Dock (not owned).
class DockLinkAdapter : public DockLinkPort
{
public:
    explicit DockLinkAdapter(TCalderwickVX8Dock* link);

    TCalderwickVX8Dock* Link() const { return m_link; }
    // Clears the USB device's halted flag (set by the frame when the dock has a USB device).
    std::function<void()> ClearHalted;

    bool IsEnabled() const override;
    QCoro::Task<bool> EnableDock(bool on) override;
    bool IsUsb() const override;
    void ClearUsbHalted() override;
    QString EthernetAddress() const override;
    void SetEthernetAddress(const QString& address) override;
    void SetCommandTimeOut(int ms) override;
    QCoro::Task<BusyReply> GetIsDockBusy() override;
    QCoro::Task<BusyReply> SetDockMode(bool slave) override;
    QCoro::Task<bool> GetConfiguration() override;
    QCoro::Task<bool> WriteConfiguration() override;
    QCoro::Task<bool> SetDateTime(const QDateTime& value) override;
    QCoro::Task<bool> SetPumpStatus(int speed, int channel) override;
    quint32 ConfigSerialNumber() const override;
    void SetConfigSerialNumber(quint32 serial) override;
    quint16 ConfigFirmwareVersion() const override;
    quint8 ConfigProtocolVersion() const override;
    bool GetDockSetting(int bit) const override;
    void SetDockSetting(int bit, bool on) override;
    QByteArray ConfigDockDescription() const override;
    void SetConfigDockDescription(const QByteArray& bytes24) override;
    std::array<quint8, 4> ConfigIPAddress() const override;
    void SetConfigEmail(const std::array<quint8, 4>& smtp, const QByteArray& recipient50,
                        const QByteArray& text50) override;

private:
    QPointer<TCalderwickVX8Dock> m_link;
};

} // namespace vx8
