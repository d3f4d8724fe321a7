// Interim: the dock link's USB half for a tree whose transport/ has no TUSBDevice yet. A link
// given a device (which such a tree cannot create) finds none. Replaced by
// CalderwickVX8DockUsb.cpp as soon as the USB layer is there.

#include "CalderwickVX8Dock.h"

namespace vx8 {

void TCalderwickVX8Dock::bindUsbDevice() {}
bool TCalderwickVX8Dock::usbConnected() const
{
    return false;
}
bool TCalderwickVX8Dock::usbHalted() const
{
    return false;
}
int TCalderwickVX8Dock::usbSend(int, const QByteArray&)
{
    return -1;
}
int TCalderwickVX8Dock::usbOutputCount(int) const
{
    return 0;
}
void TCalderwickVX8Dock::onUsbPipeData(int) {}
void TCalderwickVX8Dock::watchUsbPipes() {}
void TCalderwickVX8Dock::usbPipeSettled() {}

QCoro::Task<bool> TCalderwickVX8Dock::enableUsb()
{
    showMessage(QStringLiteral("No devices found!"));
    co_return false;
}

void TCalderwickVX8Dock::disableUsb() {}

} // namespace vx8
