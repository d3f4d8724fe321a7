#pragma once

#include <QCoroTask>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QTimer;

namespace vx8 {

class LedIndicator;

// The controller frame of one dock: one per live dock, and one that serves every listening dock.
// The main window creates it hidden on a hidden tab, starts it, shuts its dock down when it is
// idle and frees it at the end of the close sequence.
class TfraDockInfo : public QWidget
{
    Q_OBJECT
public:
    explicit TfraDockInfo(QWidget* parent = nullptr);
    ~TfraDockInfo() override;

    // Frame state the main window reads and sets.
    bool FFrameActive = false;       // the frame drives a dock
    bool FIdle = true;               // no instrument in progress
    bool FShutDownDone = true;       // the dock was released by the close sequence
    bool FShuttingDown = false;      // the close sequence is releasing the dock
    bool FStartUpDownloading = false; // the start-up download of stored test records runs
    bool FStartUpCancel = false;     // the start-up was cancelled
    bool FFirmwareUploaded = false;  // new dock firmware was uploaded during the start-up
    bool FConfigChanged = false;     // the dock configuration was edited and not yet sent
    QString FDockDescription;

    // Raised when the frame wants the main window to show its page for a bad serial number.
    std::function<void(TfraDockInfo* sender)> OnBadInstrSerial;

    QTimer* tmr_NetworkActivity = nullptr; // network supervision of an idle network dock
    QTimer* tmr_ListeningMode = nullptr;   // query rounds of the listening docks

    QLabel* lblBatteryStatus = nullptr;
    LedIndicator* ledBattStatus = nullptr;

    // The instrument firmware file handed to the frame's instrument component.
    void SetInstrFlashFileName(const QString& file) { FInstrFlashFileName = file; }
    const QString& InstrFlashFileName() const { return FInstrFlashFileName; }

    // The dock's serial number from its configuration (0 before the configuration was read).
    virtual quint32 DockSerialNumber() const { return FDockSerial; }
    // True while the frame's dock link is enabled.
    virtual bool DockLinkEnabled() const { return FDockLinkEnabled; }
    // Releases the dock: pump off ("PSS" 0 0), back to master mode ("MST"), link disabled.
    virtual QCoro::Task<> ShutDownDock();

protected:
    quint32 FDockSerial = 0;
    bool FDockLinkEnabled = false;

private:
    QString FInstrFlashFileName;
};

} // namespace vx8
