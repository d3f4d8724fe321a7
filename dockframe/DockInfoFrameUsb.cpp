// The frame's USB device: made with the frame and handed to its dock link, its events routed to
// the frame's logic after the link's own handling, freed for a network dock.
#include "dockframe/DockInfoFrame.h"

#include "common/Trace.h"
#include "dockframe/DockLinkAdapter.h"
#include "dockframe/DockStatusFrame.h"
#include "docklink/CalderwickVX8Dock.h"
#include "transport/USBDevice.h"

#include <QTabWidget>

namespace vx8 {

void TfraDockInfo::createUsbDevice()
{
    USBDevice1 = new TUSBDevice(FCore->Prompt(), this);
    USBDevice1->setObjectName(QStringLiteral("USBDevice1"));
    USBDevice1->SetUseWindowsMsgs(true);
    // The link takes the device's data notifications (and sets the dock's device type).
    VexaExpressDock1->SetUSBDevice(USBDevice1);

    // The frame's handlers come after whatever the link installed, which keeps running first.
    auto* core = FCore.get();
    TNotifyEvent removed = USBDevice1->OnDeviceRemoved;
    USBDevice1->OnDeviceRemoved = [removed, core](QObject* sender) {
        if (removed) {
            removed(sender);
        }
        core->USBDevice1DeviceRemoved();
    };
    TOnPipeError pipeError = USBDevice1->OnPipeError;
    USBDevice1->OnPipeError = [pipeError, core](QObject* sender, int pipe, int error) {
        if (pipeError) {
            pipeError(sender, pipe, error);
        }
        core->USBDevice1PipeError(pipe, error);
    };
    TOnOpenPipeError openError = USBDevice1->OnOpenPipeError;
    USBDevice1->OnOpenPipeError = [openError, core](QObject* sender, int pipe, int error, const QString& path) {
        if (openError) {
            openError(sender, pipe, error, path);
        }
        core->USBDevice1OpenPipeError(pipe, error, path);
    };
    TOnPipeData debugData = USBDevice1->DebugOnPipeData;
    USBDevice1->DebugOnPipeData = [debugData, core](QObject* sender, int pipe, int count) {
        if (debugData) {
            debugData(sender, pipe, count);
        }
        core->USBDevice1DebugOnPipeData(pipe, count);
    };

    // DockEnable clears the halt of whatever device the link uses.
    FPort->ClearHalted = [this] {
        if (TUSBDevice* device = VexaExpressDock1 ? VexaExpressDock1->USBDevice() : nullptr) {
            device->SetHalted(false);
        }
    };
}

void TfraDockInfo::clearUsbHandlers()
{
    if (!USBDevice1) {
        return;
    }
    USBDevice1->OnDeviceRemoved = nullptr;
    USBDevice1->OnPipeError = nullptr;
    USBDevice1->OnOpenPipeError = nullptr;
    USBDevice1->DebugOnPipeData = nullptr;
}

void TfraDockInfo::ReleaseUSBDevice()
{
    LocalDebugString(QStringLiteral("ReleaseUSBDevice"), lcFrame());
    if (VexaExpressDock1 && VexaExpressDock1->USBDevice() == USBDevice1) {
        VexaExpressDock1->SetUSBDevice(nullptr);
    }
    clearUsbHandlers();
    delete USBDevice1;
    USBDevice1 = nullptr;
}

void TfraDockInfo::HideDockTabAndStatusFrame()
{
    if (FDockPages && FDockTab) {
        const int index = FDockPages->indexOf(FDockTab);
        if (index >= 0) {
            FDockPages->setTabVisible(index, false);
        }
    }
    if (FStatusFrame) {
        FStatusFrame->hide();
    }
}

} // namespace vx8
