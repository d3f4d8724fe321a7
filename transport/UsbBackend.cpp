#include "UsbBackend.h"

#include "InProcessUsbBackend.h"
#include "LibusbBackend.h"

#include <QtGlobal>

namespace vx8 {

namespace {
std::optional<UsbBackend::Kind>& chosenKind()
{
    static std::optional<UsbBackend::Kind> kind;
    return kind;
}
} // namespace

UsbBackend::Kind UsbBackend::defaultKind()
{
    if (chosenKind()) {
        return *chosenKind();
    }
    const QByteArray env = qgetenv("VX8_USB_BACKEND").trimmed().toLower();
    if (env == "inprocess" || env == "in-process") {
        return Kind::InProcess;
    }
    return Kind::LibUsb;
}

void UsbBackend::setDefaultKind(std::optional<Kind> kind)
{
    chosenKind() = kind;
}

std::shared_ptr<UsbBackend> UsbBackend::create(Kind kind, const UsbDeviceIds& ids)
{
    if (kind == Kind::InProcess) {
        return std::make_shared<InProcessUsbBackend>();
    }
    return std::make_shared<LibusbBackend>(ids);
}

} // namespace vx8
