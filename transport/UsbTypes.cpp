#include "UsbTypes.h"

#include "common/Registry.h"

#include <libusb.h>

namespace vx8 {

QString InterfaceClassOf(TDeviceType type)
{
    switch (type) {
    case TDeviceType::tpVexaExpress:
        return QStringLiteral("{5B3C1E52-7A0D-4C1B-9E3F-2A61D0C4B701}");
    case TDeviceType::tpQUVexaExpress:
        return QStringLiteral("{5B3C1E52-7A0D-4C1B-9E3F-2A61D0C4B702}");
    case TDeviceType::tpDravel:
        return QStringLiteral("{5B3C1E52-7A0D-4C1B-9E3F-2A61D0C4B703}");
    case TDeviceType::tpCalderwickVX8:
        return QStringLiteral("{D9A037FA-4214-4A73-8055-CD99EDDED50D}");
    case TDeviceType::tpORX:
        break;
    }
    return QStringLiteral("{5B3C1E52-7A0D-4C1B-9E3F-2A61D0C4B705}");
}

namespace {
quint16 readId(const QString& name, quint16 fallback)
{
    QString text = ReadRegistryString(RegKey::Program, name).trimmed();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        text = text.mid(2);
    }
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    return ok && value <= 0xFFFF ? quint16(value) : fallback;
}
} // namespace

UsbDeviceIds UsbDeviceIds::fromSettings()
{
    UsbDeviceIds ids;
    ids.vendorId = readId(QStringLiteral("USBVendorID"), DefaultVendorId);
    ids.productId = readId(QStringLiteral("USBProductID"), DefaultProductId);
    return ids;
}

QString UsbErrorText(int code)
{
    return QStringLiteral("Error(%1) - %2").arg(code).arg(QString::fromUtf8(libusb_strerror(code)));
}

} // namespace vx8
