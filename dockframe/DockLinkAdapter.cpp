#include "DockLinkAdapter.h"

#include "docklink/CalderwickVX8Dock.h"

namespace vx8 {

DockLinkAdapter::DockLinkAdapter(TCalderwickVX8Dock* link) : m_link(link) {}

bool DockLinkAdapter::IsEnabled() const
{
    return m_link && m_link->IsEnabled();
}

QCoro::Task<bool> DockLinkAdapter::EnableDock(bool on)
{
    if (!m_link) {
        co_return false;
    }
    QPointer<TCalderwickVX8Dock> link = m_link;
    const bool result = co_await link->EnableDock(on);
    co_return link ? result : false;
}

bool DockLinkAdapter::IsUsb() const
{
    return m_link && m_link->USBDevice() != nullptr;
}

void DockLinkAdapter::ClearUsbHalted()
{
    if (ClearHalted) {
        ClearHalted();
    }
}

QString DockLinkAdapter::EthernetAddress() const
{
    return m_link ? m_link->EthernetAddress() : QString();
}

void DockLinkAdapter::SetEthernetAddress(const QString& address)
{
    if (m_link) {
        m_link->SetEthernetAddress(address);
    }
}

void DockLinkAdapter::SetCommandTimeOut(int ms)
{
    if (m_link) {
        m_link->SetCommandTimeOut(ms);
    }
}

QCoro::Task<DockLinkPort::BusyReply> DockLinkAdapter::GetIsDockBusy()
{
    BusyReply reply;
    if (!m_link) {
        co_return reply;
    }
    // The out-parameter lives in this coroutine's frame for the whole wait.
    bool busy = true;
    reply.acknowledged = co_await m_link->GetIsDockBusy(busy);
    reply.busy = busy;
    co_return reply;
}

QCoro::Task<DockLinkPort::BusyReply> DockLinkAdapter::SetDockMode(bool slave)
{
    BusyReply reply;
    if (!m_link) {
        co_return reply;
    }
    bool busy = true;
    reply.acknowledged = co_await m_link->SetDockMode(slave, busy);
    reply.busy = busy;
    co_return reply;
}

QCoro::Task<bool> DockLinkAdapter::GetConfiguration()
{
    if (!m_link) {
        co_return false;
    }
    co_return co_await m_link->GetConfiguration();
}

QCoro::Task<bool> DockLinkAdapter::WriteConfiguration()
{
    if (!m_link) {
        co_return false;
    }
    co_return co_await m_link->WriteConfiguration();
}

QCoro::Task<bool> DockLinkAdapter::SetDateTime(const QDateTime& value)
{
    if (!m_link) {
        co_return false;
    }
    co_return co_await m_link->SetDateTime(value);
}

QCoro::Task<bool> DockLinkAdapter::SetPumpStatus(int speed, int channel)
{
    if (!m_link) {
        co_return false;
    }
    co_return co_await m_link->SetPumpStatus(speed, quint8(channel));
}

quint32 DockLinkAdapter::ConfigSerialNumber() const
{
    return m_link ? m_link->DockConfigRecord().SerialNumber : 0;
}

void DockLinkAdapter::SetConfigSerialNumber(quint32 serial)
{
    if (m_link) {
        m_link->DockConfigRecord().SerialNumber = serial;
    }
}

quint16 DockLinkAdapter::ConfigFirmwareVersion() const
{
    return m_link ? m_link->DockConfigRecord().FirmwareVersion : 0;
}

quint8 DockLinkAdapter::ConfigProtocolVersion() const
{
    return m_link ? m_link->DockConfigRecord().ProtocolVersion : 0;
}

bool DockLinkAdapter::GetDockSetting(int bit) const
{
    return m_link && m_link->GetDockSetting(bit);
}

void DockLinkAdapter::SetDockSetting(int bit, bool on)
{
    if (m_link) {
        m_link->SetDockSetting(bit, on);
    }
}

QByteArray DockLinkAdapter::ConfigDockDescription() const
{
    return m_link ? m_link->DockConfigRecord().DockDescription : QByteArray(24, '\0');
}

void DockLinkAdapter::SetConfigDockDescription(const QByteArray& bytes24)
{
    if (m_link) {
        QByteArray b = bytes24.left(24);
        b.append(QByteArray(24 - b.size(), '\0'));
        m_link->DockConfigRecord().DockDescription = b;
    }
}

std::array<quint8, 4> DockLinkAdapter::ConfigIPAddress() const
{
    return m_link ? m_link->DockConfigRecord().IPAddress : std::array<quint8, 4>{};
}

void DockLinkAdapter::SetConfigEmail(const std::array<quint8, 4>& smtp, const QByteArray& recipient50,
                                     const QByteArray& text50)
{
    if (!m_link) {
        return;
    }
    auto& c = m_link->DockConfigRecord();
    c.SMTPAddress = smtp;
    c.EmailRecipient = recipient50;
    c.EmailText = text50;
    // The link fills the e-mail fields before every later write as well.
    auto text = [](const QByteArray& b) {
        const int nul = b.indexOf('\0');
        return QString::fromLatin1(nul < 0 ? b : b.left(nul));
    };
    dock::DockEmailSettings email;
    email.Enabled = true;
    email.SMTPAddress = smtp;
    email.Recipient = text(recipient50);
    email.Text = text(text50);
    m_link->SetEmailSettings(email);
}

} // namespace vx8
