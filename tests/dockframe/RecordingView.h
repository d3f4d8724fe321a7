#pragma once

#include "dockframe/DockFrameView.h"

#include <QStringList>

// A frame view that records what the frame's logic shows, for the tests.
class RecordingView : public vx8::DockFrameView
{
public:
    QStringList mainStatus[2];
    QStringList frameStatus[3];
    QStringList log;
    QStringList ledOps;
    QString tabCaption, tabHint, statusCaption, statusHint, dockPageCaption, info, frameHint;
    int shownPage = -1;
    int busyCursor = 0;

    void ShowMainStatus(int panel, const QString& text) override { mainStatus[panel & 1] << text; }
    void SetMainStatusBusyLook(bool, bool) override {}
    void SetBusyCursor(bool busy) override { busyCursor += busy ? 1 : -1; }
    void ShowFrameStatus(int panel, const QString& text) override { frameStatus[qBound(0, panel, 2)] << text; }
    void SetFrameStatusHint(const QString& hint) override { frameHint = hint; }
    void AddLogLine(const QString& line) override { log << line; }
    QString LastLogLine() const override { return log.isEmpty() ? QString() : log.last(); }
    void SetLedOn(vx8::FrameLed led, bool on) override { ledOps << QStringLiteral("%1 on %2").arg(int(led)).arg(on); }
    void SetLedColor(vx8::FrameLed led, const QColor& c) override
    {
        ledOps << QStringLiteral("%1 colour %2").arg(int(led)).arg(c.name());
    }
    void SetLedBlinking(vx8::FrameLed led, bool b) override { ledOps << QStringLiteral("%1 blink %2").arg(int(led)).arg(b); }
    void SetLedHint(vx8::FrameLed led, const QString& h) override { ledOps << QStringLiteral("%1 hint %2").arg(int(led)).arg(h); }
    void PrepareForStartUp() override {}
    void PrepareConfigurationRead(bool) override {}
    void SetInfoText(const QString& text) override { info = text; }
    void SetDockPageCaption(const QString& c) override { dockPageCaption = c; }
    void SetDockPageHint(const QString&) override {}
    void SetDockTab(const QString& caption, const QString& hint) override
    {
        tabCaption = caption;
        tabHint = hint;
    }
    void SetStatusFrameCaption(const QString& c) override { statusCaption = c; }
    void SetStatusFrameHint(const QString& h) override { statusHint = h; }
    void ShowFrameAndSelectTab(int pageIndex) override { shownPage = pageIndex; }
    void SetGasReadingStatus(const QString&, const QColor&, const QString&) override {}
};
