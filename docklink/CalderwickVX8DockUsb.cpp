// The USB half of the dock link: pipe 3 carries commands to the dock, pipe 2 its replies and
// events, pipe 0 user data to the dock and pipe 1 user data from it.

#include "CalderwickVX8Dock.h"

#include "common/Trace.h"
#include "transport/USBDevice.h"

#include <qcoro/qcorotimer.h>

#include <chrono>

namespace vx8 {

namespace {
constexpr int PipeUserIn = 1;
constexpr int PipeControlIn = 2;
} // namespace

void TCalderwickVX8Dock::bindUsbDevice()
{
    m_usbGuard = m_usb;
    // A device destroyed under the link ends the link (without touching the device).
    TUSBDevice* device = m_usb;
    connect(m_usb, &QObject::destroyed, this, [this, device] {
        if (m_usb == device && m_usbLinkUp) {
            m_usbLinkUp = false;
            linkLost();
        }
    });
    m_usb->SetDeviceType(TDeviceType::tpCalderwickVX8);
    m_usb->OnPipeData = [this](QObject*, int pipe, int) { onUsbPipeData(pipe); };
}

bool TCalderwickVX8Dock::usbConnected() const
{
    return m_usb && m_usbGuard && m_usb->IsConnected();
}

bool TCalderwickVX8Dock::usbHalted() const
{
    return m_usb && m_usbGuard && m_usb->Halted();
}

int TCalderwickVX8Dock::usbSend(int pipe, const QByteArray& bytes)
{
    if (!m_usb || !m_usbGuard)
        return -1;
    const int n = m_usb->SendData(pipe, bytes);
    if (n < 0)
        LocalDebugString(QStringLiteral("TCalderwickVX8Dock - USB send on pipe %1 failed").arg(pipe),
                         lcDock());
    return n;
}

int TCalderwickVX8Dock::usbOutputCount(int pipe) const
{
    if (!m_usb || !m_usbGuard)
        return 0;
    const TUSBPipe* p = m_usb->Pipe(pipe);
    return p ? p->OutputBufferCount() : 0;
}

void TCalderwickVX8Dock::onUsbPipeData(int pipe)
{
    if (!m_usb || !m_usbGuard)
        return;
    TUSBPipe* p = m_usb->Pipe(pipe);
    if (!p)
        return;
    if (pipe == PipeControlIn)
        queueChunk(Channel::Control, p->TakeInput(), false);
    else if (pipe == PipeUserIn)
        queueChunk(Channel::User, p->TakeInput(), false);
}

// The pipes report when their output settles, which includes their closing; a closed device
// (removal or Close) ends the link and fails a command still waiting.
void TCalderwickVX8Dock::watchUsbPipes()
{
    for (int n = 0; n < m_usb->PipeCount(); ++n) {
        TUSBPipe* p = m_usb->Pipe(n);
        connect(p, &TUSBPipe::outputSettled, this, &TCalderwickVX8Dock::usbPipeSettled, Qt::UniqueConnection);
    }
}

void TCalderwickVX8Dock::usbPipeSettled()
{
    if (m_usbLinkUp && !usbConnected()) {
        m_usbLinkUp = false;
        linkLost();
    }
    notifyState();
}

QCoro::Task<bool> TCalderwickVX8Dock::enableUsb()
{
    const auto alive = m_alive;
    if (!m_usbGuard)
        co_return false;
    m_usb->OnPipeData = [this](QObject*, int pipe, int) { onUsbPipeData(pipe); };
    m_heldControl.clear();
    if (m_usb->DeviceName().isEmpty()) {
        m_usb->UpdateDeviceList();
        if (m_usb->DeviceList().isEmpty()) {
            showMessage(QStringLiteral("No devices found!"));
            co_return false;
        }
        m_usb->SetDeviceName(m_usb->DeviceList().first());
    }
    m_usb->Open(); // leaves the device halted; its owner clears the halt
    m_usbLinkUp = m_usb->IsConnected();
    if (m_usbLinkUp)
        watchUsbPipes();
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (!*alive)
        co_return false;
    co_return IsEnabled();
}

void TCalderwickVX8Dock::disableUsb()
{
    m_usbLinkUp = false;
    if (m_usb && m_usbGuard)
        m_usb->Close();
    linkLost();
}

} // namespace vx8
