#pragma once

#include "DockFrameTypes.h"

#include <QColor>
#include <QString>

namespace vx8 {

// Everything visible that the frame's logic changes. TfraDockInfo implements it with its widgets
// (and mirrors each LED change onto the summary frame); the logic never touches a widget.
class DockFrameView
{
public:
    virtual ~DockFrameView() = default;

    // The main window's status bar (panels 0 and 1) and its "busy" look while the start-up waits.
    virtual void ShowMainStatus(int panel, const QString& text) = 0;
    virtual void SetMainStatusBusyLook(bool busy, bool bold) = 0;
    virtual void SetBusyCursor(bool busy) = 0;

    // The frame's own status bar stbAction.
    virtual void ShowFrameStatus(int panel, const QString& text) = 0;
    virtual void SetFrameStatusHint(const QString& hint) = 0;

    // The process log memInProcess.
    virtual void AddLogLine(const QString& line) = 0;
    virtual QString LastLogLine() const = 0; // empty when the log is empty

    // LEDs (and the summary frame's of the same name).
    virtual void SetLedOn(FrameLed led, bool on) = 0;
    virtual void SetLedColor(FrameLed led, const QColor& color) = 0;
    virtual void SetLedBlinking(FrameLed led, bool blinking) = 0;
    virtual void SetLedHint(FrameLed led, const QString& hint) = 0;

    // Start-up steps 1 to 4: instrument page caption "KOR7", page 0, download box placed, LCD line
    // cleared, calibration interval list 1..180.
    virtual void PrepareForStartUp() = 0;
    // Step 10: the controls shown for a configuration read (SHOP and QC show the advanced ones).
    virtual void PrepareConfigurationRead(bool shopOrQc) = 0;
    virtual void SetInfoText(const QString& text) = 0; // lbl_Info

    virtual void SetDockPageCaption(const QString& caption) = 0;  // tsExpressDock
    virtual void SetDockPageHint(const QString& hint) = 0;
    virtual void SetDockTab(const QString& caption, const QString& hint) = 0; // the frame's tab sheet
    virtual void SetStatusFrameCaption(const QString& caption) = 0;           // gbDockStatus
    virtual void SetStatusFrameHint(const QString& hint) = 0;
    // Step 20: frame, tab (tab visible) and page control visible, the tab selected.
    virtual void ShowFrameAndSelectTab(int pageIndex) = 0;
    // The status of the live gas readings (lblGasReadingStatus).
    virtual void SetGasReadingStatus(const QString& text, const QColor& color, const QString& hint) = 0;
    // The controls the operating mode fixes (SHOP and QC disable the "Advanced" button). The
    // settings reach the frame after its construction, so the start-up applies them.
    virtual void ApplySoftwareType(int softwareType) { Q_UNUSED(softwareType); }
    // The dock has gone for good (its USB cable was pulled): its tab on the main page control and
    // its summary frame are hidden; the frame stays.
    virtual void HideDockTabAndStatusFrame() {}
};

} // namespace vx8
