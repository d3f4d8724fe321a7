// The frame's handlers of its dock's USB device: removal, pipe errors and data notifications.
#include "DockController.h"

#include "common/Formatting.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "transport/UsbTypes.h"

namespace vx8 {

QString TDockController::UsbDeviceErrorLine(int error)
{
    return QStringLiteral("USB Device Error:") + UsbErrorText(error);
}

QString TDockController::UsbRemovedText(const QString& dockSerialText)
{
    return QStringLiteral("USB Cable has been disconnected from Dock ") + dockSerialText +
           QStringLiteral(". This Dock will be removed.");
}

void TDockController::USBDevice1DeviceRemoved()
{
    LocalDebugString(QStringLiteral("USBDevice1DeviceRemoved"), lcFrame());
    FDataSeen = false;
    FIdle = true;
    // A dock that takes new firmware restarts and leaves the bus on its own: no warning then.
    if (!FFlashUploading && !FFirmwareUploaded && m_prompter) {
        const QString serial =
            !FDockSerialText.isEmpty() ? FDockSerialText : (FDockSerial != 0 ? FormatDockSerial(FDockSerial) : QString());
        m_prompter->warn(UsbRemovedText(serial));
    }
    if (m_view) {
        m_view->HideDockTabAndStatusFrame();
    }
}

void TDockController::USBDevice1PipeError(int pipe, int error)
{
    const QString line = UsbDeviceErrorLine(error);
    LocalDebugString(QStringLiteral("USBDevice1PipeError - Pipe=%1 ").arg(pipe) + line, lcFrame());
    WriteDebugLine(line);
}

void TDockController::USBDevice1OpenPipeError(int pipe, int error, const QString& pipePath)
{
    LocalDebugString(QStringLiteral("USBDevice1OpenPipeError - Pipe=%1 %2 ").arg(pipe).arg(pipePath) +
                         UsbErrorText(error),
                     lcFrame());
}

} // namespace vx8
