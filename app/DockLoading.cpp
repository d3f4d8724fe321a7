// The dock loading at start-up: dock definitions, one frame per live dock (USB docks first, then
// the LIVE network docks) and one for the listening docks, then each live dock started in turn.
#include "app/GlobalVars.h"
#include "app/dockdefs/DockDefDatabase.h"
#include "app/dockdefs/DockEnumerator.h"
#include "app/dockdefs/DockSetupDialog.h"
#include "app/MainWindow.h"
#include "app/StartUpForm.h"
#include "common/LedIndicator.h"
#include "common/ProgramFolder.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"
#include "dockframe/Pinger.h"
#include "docklink/CalderwickVX8Dock.h"
#include "transport/USBDevice.h"

#include <QApplication>
#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QPushButton>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <chrono>

using namespace std::chrono_literals;

namespace vx8 {

namespace {

// Catches Escape anywhere in the application while the docks load.
class EscapeWatch : public QObject
{
public:
    explicit EscapeWatch(bool* flag) : m_flag(flag) { qApp->installEventFilter(this); }
    ~EscapeWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
            *m_flag = true;
        }
        return false;
    }

private:
    bool* m_flag;
};

QString nowText()
{
    const TGlobalVars* vars = GlobalVars();
    const QLocale loc = vars ? vars->FormatSettings : QLocale();
    return loc.toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
}

DockFrameSettings frameSettings()
{
    DockFrameSettings s;
    if (const TGlobalVars* v = GlobalVars()) {
        s.SoftwareType = v->SoftwareType;
        s.DockTimeout = v->DockTimeout;
        s.InstrCommandTimeout = v->InstrCommandTimeout;
        s.NetworkVerificationInMinutes = v->NetworkVerificationInMinutes;
        s.CalNow = v->CalNow;
        s.SkipCal = v->SkipCal;
        s.SetO2GasCalFlag = v->SetO2GasCalFlag;
        s.EmailEnabled = v->EmailEnabled;
        s.SmtpAddress = v->SmtpAddress;
        s.EmailRecipient = v->EmailRecipient;
        s.EmailMessageText = v->EmailMessageText;
        s.FormatSettings = v->FormatSettings;
    }
    return s;
}

} // namespace

QString TfrmMain::PartialFailureText(int failed)
{
    const QString lfcr = QStringLiteral("\n\r");
    return QString::number(failed) + QStringLiteral(" Dock(s) Failed to Initialize!") + lfcr + lfcr +
           QStringLiteral("Possible Solutions for USB Connected Docks:") + lfcr +
           QStringLiteral("1) Dock is currently testing an Instrument.  Wait until completed and restart ") +
           QStringLiteral("software.") + lfcr + QStringLiteral("2) Verify power to Dock(s).  Restart software.") + lfcr +
           QStringLiteral("3) Check all USB cables are securely connected to the Dock(s) with ") +
           QStringLiteral("serial numbers that do not appear in the list.  Restart software.") + lfcr +
           QStringLiteral("4) A Dock should NOT have both the Ethernet and USB cables connected at the same ") +
           QStringLiteral("time.  Remove one and restart software.") + lfcr + lfcr +
           QStringLiteral("Possible Solutions for Network Connected Docks:") + lfcr +
           QStringLiteral("1) Verify power to Dock(s).  Restart software.") + lfcr +
           QStringLiteral("2) A Dock should NOT have both the Ethernet and USB cable connected at the ") +
           QStringLiteral("same time.  Remove one and restart software.") + lfcr +
           QStringLiteral("3) Check the Ethernet dock connections on the dock with a RED connection ") +
           QStringLiteral("led!  Restart software.") + lfcr + QStringLiteral("4) Verify another ") +
           QStringLiteral("VX8") + QStringLiteral(" program does not already have ") +
           QStringLiteral("control of the Dock(s)!");
}

QString TfrmMain::TotalFailureText(int failed)
{
    const QString lfcr = QStringLiteral("\n\r");
    return QStringLiteral("All ") + QString::number(failed) + QStringLiteral(" Dock(s) Failed to Initialize!") + lfcr +
           lfcr + QStringLiteral("Possible Solutions:") + lfcr + lfcr +
           QStringLiteral("1) Dock is currently testing an Instrument.  Wait until ") +
           QStringLiteral("completed and restart software.") + lfcr +
           QStringLiteral("2) Check all USB/Ethernet cables are securely connected to ") +
           QStringLiteral("Dock.  Restart Software.") + lfcr + QStringLiteral("3) Verify another ") +
           QStringLiteral("VX8") + QStringLiteral(" program does not ") +
           QStringLiteral("already have control of the Dock(s)!");
}

void TfrmMain::ShowMainStatusMessage(QObject*)
{
    ShowStatus(1, QStringLiteral("Dock Detection Failed, Check Network Cable..."));
}

bool TfrmMain::CheckCancelState(quint8 cancel)
{
    if (cancel != 1 && !FEscapePressed) {
        return false;
    }
    ShowStatus(1, QStringLiteral(" User Pressed ESC, Terminating..."));
    Terminate(0);
    return true;
}

bool TfrmMain::InitializeDocks(int count)
{
    LocalDebugString(QStringLiteral("InitializeDocks"));
    ShowStatus(0, QString::number(count) + QStringLiteral(" VX8 Docks Found, Initializing..."));
    const QStringList remote = RemoteList->toPlainText().split(u'\n', Qt::SkipEmptyParts);
    const QStringList usbDocks = USBDevice1->DeviceList();
    const int usbCount = int(usbDocks.size());
    for (int i = 0; i < count && i < DockFrames.size(); ++i) {
        TfraDockInfo* frame = DockFrames[i];
        if (!frame || frame->DockLinkEnabled()) {
            continue;
        }
        if (i < usbCount) {
            if (frame->USBDevice1) {
                frame->USBDevice1->SetDeviceName(usbDocks[i]);
            }
        } else {
            frame->VexaExpressDock1->SetUSBDevice(nullptr);
            frame->VexaExpressDock1->SetEthernetAddress(remote.value(i - usbCount).trimmed());
        }
    }
    return true;
}

QCoro::Task<quint8> TfrmMain::PingDock(int index)
{
    QPointer<TfrmMain> self(this);
    TfraDockInfo* frame = DockFrames.value(index);
    if (!frame || frame->VexaExpressDock1->USBDevice()) {
        co_return quint8(3);
    }
    const QString address = frame->VexaExpressDock1->EthernetAddress();
    PingReply = 0;
    ShowStatus(0, QStringLiteral("Waiting for Ping Return from IP Address:  ") + address);
    const int dockTimeout = GlobalVars() ? GlobalVars()->DockTimeout : 10;
    // The echo's own time-out is 2000 ms; the wait ends at DockTimeout + 1 s at the latest.
    const int timeoutMs = qMin(2000, (dockTimeout + 1) * 1000);
    quint8 reply = 1;
    if (FOptions.ping) {
        reply = co_await FOptions.ping(address, timeoutMs);
    } else {
        Pinger pinger;
        const Pinger::Status status = co_await pinger.Ping(address, 64, timeoutMs);
        reply = status == Pinger::Status::Success ? 2 : 1;
    }
    if (!self) {
        co_return quint8(1);
    }
    PingReply = reply;
    co_return PingReply;
}

void TfrmMain::LoadAllDocks()
{
    // Runs on by itself; the window is disabled until it ends.
    LoadAllDocksTask();
}

QCoro::Task<> TfrmMain::LoadAllDocksTask()
{
    LocalDebugString(QStringLiteral("LoadAllDocks"));
    QPointer<TfrmMain> self(this);
    Prompter& prompter = Prompter::instance();

    // 1-4
    SetHourglass(true);
    setWindowTitle(windowTitle() + u' ' + ProgramVersion);
    if (TDockEnumerator* enumerator = DockEnumerator1()) {
        enumerator->OnEnumerationStartFailed = [this](QObject* sender) { ShowMainStatusMessage(sender); };
    }
    FEscapePressed = false;
    auto escape = std::make_unique<EscapeWatch>(&FEscapePressed);
    DocksLoading = true;
    NewNetworkDocks = false;
    constexpr int enableAttempts = 2;
    if (frmStartUp1) {
        frmStartUp1->show();
    }
    LoadINIDefaults();

    // Leaves the loading early: the window stays usable for the close that follows.
    auto finish = [this]() {
        DocksLoading = false;
        DocksLoaded = true;
        SetHourglass(false);
    };

    // 5
    const QString setupFolder = programPath(QStringLiteral("DockSetup"));
    const QString setupPath = setupFolder + QStringLiteral("/DockSetup.db");
    if (!QFileInfo(setupFolder).isDir()) {
        prompter.error(QStringLiteral("Missing Dock Database Directory Structure") + QStringLiteral("\r\n") +
                       QStringLiteral("Program Exiting"));
        finish();
        Terminate(0);
        co_return;
    }
    if (TGlobalVars* vars = GlobalVars()) {
        vars->DockSetupConnection = setupPath;
    }

    // 6-7
    ShowStatus(0, QStringLiteral("Scanning for Network VX8 Docks Definitions..."));
    RemoteList->clear();
    NetworkDocksEnabled = true;
    QStringList live, listening;
    DockDefDatabase definitions(setupPath);
    QString defsStatus;
    if (!definitions.UpdateDockDatabase(NetworkDocksEnabled, &defsStatus)) {
        ShowStatus(1, defsStatus);
    }
    if (QFileInfo::exists(setupPath)) {
        // A discovery round: docks that answer are registered while the loading waits (an unknown
        // one as DISABLED, announced at the end); answers have about 2.1 s to arrive.
        if (TfrmDockSetup* setup = DockSetupWindow()) {
            setup->setNetworkDocksEnabled(NetworkDocksEnabled);
            setup->StartAutoDetect();
        }
        for (int wait = 0; wait < 21; ++wait) {
            co_await QCoro::sleepFor(100ms);
            if (!self) {
                co_return;
            }
        }
        if (!definitions.LoadNetworkDockDef(NetworkDocksEnabled, live, &defsStatus) ||
            !definitions.GetListeningDockList(NetworkDocksEnabled, listening, &defsStatus)) {
            ShowStatus(1, defsStatus);
        }
        RemoteList->setPlainText(live.join(u'\n'));
        if (TGlobalVars* vars = GlobalVars()) {
            vars->ListeningDocks = listening;
        }
    } else {
        prompter.error(QStringLiteral("The Dock Setup Database is missing!") + QStringLiteral("\r\n\r\n") +
                       QStringLiteral("This database must be restored for support for network connection of docks. "
                                      "Only USB connections will be supported.") +
                       QStringLiteral("\r\n") +
                       QStringLiteral("Note: This database can be restore re-installing the VX8 software.") +
                       QStringLiteral("\r\n\r\n") + QStringLiteral("Database Location: ") + setupPath);
        if (!self) {
            co_return;
        }
        NetworkDocksEnabled = false;
        mnuNetworkDockSetup1->setEnabled(false);
    }

    // 8-9
    ShowStatus(0, QStringLiteral("Updating Docks List..."));
    // USB docks plugged in since the program started count as well.
    USBDevice1->UpdateDeviceList();
    const int usbCount = int(USBDevice1->DeviceList().size());
    LiveDockCount = usbCount + int(live.size());
    ListeningDockCount = int(listening.size());
    ShowStatus(0, QStringLiteral("Initializing for ") + QString::number(LiveDockCount) +
                      QStringLiteral(" Defined VX8 Docks..."));

    // 10-11
    for (int i = 0; i < LiveDockCount; ++i) {
        CreateOneDockFrame(QStringLiteral("LIVE"));
        if (i >= usbCount && DockFrames.value(i)) {
            // A network dock: no USB device on its link, and the frame's own one freed.
            DockFrames[i]->ReleaseUSBDevice();
        }
        ShowStatus(0, QStringLiteral("Creating Dock Frame ") + QString::number(i + 1) + u'/' +
                          QString::number(LiveDockCount) + QStringLiteral("..."));
        if (CheckCancelState(0)) {
            finish();
            co_return;
        }
    }
    if (ListeningDockCount > 0) {
        CreateOneDockFrame(QStringLiteral("LISTENING"));
    }
    for (int i = 0; i < DockFrames.size(); ++i) {
        if (TfraDockInfo* frame = DockFrames[i]) {
            frame->Core().Settings = frameSettings;
            frame->Core().ResultsDatabase = [this]() { return DBSettings; };
            frame->MainStatus = [this](int panel, const QString& text) { ShowStatus(panel, text); };
            frame->MainStatusBusyLook = [this](bool busy, bool) { SetStatusColour(busy); };
            // The dock's name from its definition, and its registration after the start-up.
            auto lookup = [setupPath](bool bySerial, const QString& key) {
                DockDescriptionInfo info;
                DockDefDatabase db(setupPath);
                if (const auto rows = db.Rows()) {
                    for (const auto& row : *rows) {
                        const QString value = bySerial ? row.serial : row.address;
                        if (value.trimmed().compare(key.trimmed(), Qt::CaseInsensitive) == 0) {
                            info = DockDescriptionInfo{true, row.alias.trimmed(), row.address, row.updateDockName != 0};
                            break;
                        }
                    }
                }
                return info;
            };
            frame->Core().GetDockDescriptionBySerial = [lookup](const QString& s) { return lookup(true, s); };
            frame->Core().GetDockDescriptionByAddress = [lookup](const QString& a) { return lookup(false, a); };
            const bool networkDocks = NetworkDocksEnabled;
            frame->Core().UpdateDockInfo = [setupPath, networkDocks](const QString& serial, const QString& address,
                                                                     bool, bool, const QString&) {
                DockDefDatabase(setupPath).UpdateDockInfo(networkDocks, serial, address, &Prompter::instance());
            };
        }
    }

    // 12
    FormResize();

    // 13: the no-dock ending.
    if (LiveDockCount + ListeningDockCount == 0) {
        if (NewNetworkDocks) {
            ShowStatus(0, QStringLiteral("New VX8 Docks Available!"));
            const bool view = prompter.ask(Prompter::Kind::Information,
                                           QStringLiteral("New Network Docks have been detected.") +
                                               QStringLiteral("\r\n\r\n") +
                                               QStringLiteral("The new docks need their network connection set to be "
                                                              "used.  Do you want to view the dock list?"),
                                           Prompter::Yes | Prompter::No, Prompter::No) == Prompter::Yes;
            if (!self) {
                co_return;
            }
            if (view) {
                mnuNetworkDockSetup1Click();
            }
        } else {
            prompter.inform(QStringLiteral("No VX8 Docks Connected!  Please check cable connections and/or ") +
                            mnuNetworkDockSetup1->text().remove(u'&') + QStringLiteral(" and try again."));
            if (!self) {
                co_return;
            }
            ShowStatus(0, QStringLiteral("No VX8 Docks Connected!"));
        }
        if (frmStartUp1) {
            frmStartUp1->close();
        }
        setEnabled(true);
        finish();
        co_return;
    }

    // 14
    InitializeDocks(LiveDockCount);
    DocksReady = 0;
    DocksFailed = 0;

    // 15: the live docks, strictly one after the other.
    for (int i = 0; i < LiveDockCount; ++i) {
        QPointer<TfraDockInfo> frame = DockFrames.value(i);
        QPointer<TfraDockStatus> status = DockStatusFrames.value(i);
        QPointer<QWidget> tab = DockTabs.value(i);
        if (!frame || !status || !tab) {
            continue;
        }
        const bool usb = frame->VexaExpressDock1->USBDevice() != nullptr;
        bool started = false;
        int attempt = 1;
        if (DocksReady > 0) {
            pgVexaExpressDocks->setCurrentIndex(i);
        }
        const quint8 r = co_await PingDock(i);
        if (!self || !frame) {
            co_return;
        }
        if (r == 2 || r == 3) {
            if (!usb) {
                frame->ShowFrameStatus(2, QStringLiteral("Network Verification at ") + nowText());
                frame->ShowFrameStatus(1, QStringLiteral("Dock Responded to Ping ") + nowText());
            }
            while (!frame->DockLinkEnabled() && attempt <= enableAttempts && !frame->FFirmwareUploaded) {
                const QString n = QString::number(i + 1) + u'/' + QString::number(LiveDockCount);
                if (attempt == 1) {
                    ShowStatus(0, QStringLiteral("Enabling Dock ") + n + QStringLiteral(" ..."));
                } else {
                    ShowStatus(0, QStringLiteral("Enabling Dock ") + n + QStringLiteral(" (Attempt ") +
                                      QString::number(attempt) + u'/' + QString::number(enableAttempts) +
                                      QStringLiteral(") ..."));
                    co_await QCoro::sleepFor(1000ms);
                    if (!self || !frame) {
                        co_return;
                    }
                }
                const bool enabled = co_await frame->DockEnable();
                if (!self || !frame) {
                    co_return;
                }
                if (enabled) {
                    if (TUSBDevice* device = usb ? frame->VexaExpressDock1->USBDevice() : nullptr) {
                        device->SetHalted(false);
                    }
                    const bool ok = co_await frame->DockStartUp(pgVexaExpressDocks, tab, true, LatestDockFlashFile,
                                                                status, i);
                    if (!self || !frame) {
                        co_return;
                    }
                    if (ok) {
                        ++DocksReady;
                        started = true;
                    }
                    // Wait for the frame's start-up download and firmware check.
                    while (frame->StartUpDownloading()) {
                        if (frame->FStartUpCancel) {
                            finish();
                            co_return;
                        }
                        co_await qCoro(&frame->Core(), &TDockController::StartUpDownloadingChanged,
                                       std::chrono::milliseconds(200));
                        if (!self || !frame) {
                            co_return;
                        }
                        if (CheckCancelState(frame->FStartUpCancel ? 1 : 0)) {
                            // Closing: no frame is touched any more.
                            finish();
                            co_return;
                        }
                    }
                } else if (CheckCancelState(frame->FStartUpCancel ? 1 : 0)) {
                    finish();
                    co_return;
                }
                ++attempt;
            }
        } else {
            if (!usb) {
                frame->ShowFrameStatus(2, QStringLiteral("Initial Network Verification FAILED at ") + nowText());
            }
            status->ledDockConnectiontStatus->setOnColor(QColor(0xFF, 0x00, 0x00));
            status->ledDockConnectiontStatus->setBlinking(true);
            started = false;
        }
        status->ledDockConnectiontStatus->setShowHint(true);
        status->ledDockConnectiontStatus->setHint(
            usb ? QStringLiteral("Connection: Local USB")
                : QStringLiteral("Connection: IP Address: ") + frame->VexaExpressDock1->EthernetAddress());

        if (!started) {
            ++DocksFailed;
            const int index = pgVexaExpressDocks->indexOf(tab);
            tab->setEnabled(false);
            pgVexaExpressDocks->setTabVisible(index, false);
            pgVexaExpressDocks->setTabToolTip(index, frame->FDockDescription);
            status->gbDockStatus->setToolTip(frame->FDockDescription);
            if (!usb) {
                co_await frame->DockStartUp(pgVexaExpressDocks, tab, false, LatestDockFlashFile, status, i);
                if (!self || !frame) {
                    co_return;
                }
                frame->pgeDockInfo->setTabText(0, QStringLiteral("Dock(OffLine)"));
                frame->pgeDockInfo->setTabToolTip(0, frame->FDockDescription);
                frame->cmd_TestIPAddress->setEnabled(true);
                frame->gbDockActions->setEnabled(true);
                frame->cmd_Ethernet->setEnabled(false);
                frame->cbGetConfig->setEnabled(false);
                pgVexaExpressDocks->setTabText(index, QStringLiteral("Dock(OffLine)"));
                status->gbDockStatus->setTitle(QStringLiteral("Dock(OffLine)"));
                status->ledDockConnectiontStatus->setOnColor(QColor(0xFF, 0x00, 0x00));
                status->ledDockConnectiontStatus->setBlinking(true);
                status->ledDockConnectiontStatus->setHint(status->ledDockConnectiontStatus->hint() +
                                                          QStringLiteral(" (OffLine)"));
                frame->show();
                frame->setEnabled(true);
                tab->setEnabled(true);
                pgVexaExpressDocks->setTabVisible(index, true);
                pgVexaExpressDocks->setTabEnabled(index, true);
            }
            frame->FIdle = true;
            frame->FShutDownDone = true;
        }
    }

    // 17: the summary column, dock 0 at the top.
    for (int i = int(DockStatusFrames.size()) - 1; i >= 0; --i) {
        TfraDockStatus* status = DockStatusFrames[i];
        TfraDockInfo* frame = DockFrames.value(i);
        if (status && frame && frame->isVisibleTo(frame->parentWidget())) {
            status->show();
        }
    }

    // 18
    ShowStatus(0, QString::number(DocksReady) + QStringLiteral(" VX8 Dock(s) Ready on StartUp..."));
    if (DocksReady == 0 && ListeningDockCount > 0) {
        ShowStatus(0, QString::number(ListeningDockCount) +
                          QStringLiteral(" Dock(s) set for \"Listening\" Mode on StartUp..."));
    } else if (ListeningDockCount > 0) {
        ShowStatus(0, QString::number(DocksReady) + QStringLiteral(" \"Live\"/") + QString::number(ListeningDockCount) +
                          QStringLiteral(" \"Listening\" ") + QStringLiteral("VX8") +
                          QStringLiteral(" Dock(s) Ready on StartUp..."));
    }

    // 19
    for (int i = 0; i < LiveDockCount; ++i) {
        if (DockFrames.value(i) && DockFrames[i]->FFirmwareUploaded) {
            prompter.inform(QStringLiteral("Some of the Dock(s) were Flash Uploaded!  The software must be restarted "
                                           "to complete the Flash upload!"));
            finish();
            Terminate(0);
            co_return;
        }
    }

    // 20
    if (DocksFailed > 0 && DocksFailed < LiveDockCount) {
        prompter.error(PartialFailureText(DocksFailed));
    } else if (DocksFailed > 0 && DocksFailed == LiveDockCount) {
        prompter.error(TotalFailureText(DocksFailed));
    }
    if (!self) {
        co_return;
    }

    // 21
    if (DBConnected) {
        const QString name = QStringLiteral("Database Name: ") + FDatabaseName;
        ShowStatus(1, name);
        stbAction->setToolTip(name + QStringLiteral(" @ Server: ") + DBSettings.ServerName + QStringLiteral(" Port: ") +
                              DBSettings.ServerPort + QStringLiteral("\r\n") + QStringLiteral("Server Version: ") +
                              DBSettings.ServerVersion);
    } else {
        prompter.warn(QStringLiteral("WARNING: The selected database ") + FDatabaseName +
                      QStringLiteral(" CANNOT be accessed.") + QStringLiteral("\r\n") +
                      QStringLiteral(" Test data will not be stored until access is restored!  Use ") +
                      QStringLiteral("Administrator") + QStringLiteral(" to verify the database."));
        if (!self) {
            co_return;
        }
        ShowStatus(1, QStringLiteral("Database Name: NOT FOUND"));
    }

    // 22
    if (DocksReady > 0) {
        pgVexaExpressDocks->setCurrentIndex(0);
    }
    if (frmStartUp1) {
        frmStartUp1->close();
    }

    // 23: docks that answered the discovery for the first time.
    if (NewNetworkDocks) {
        prompter.inform(QStringLiteral("New Network Dock(s) have been detected.  The \"") +
                        mnuNetworkDockSetup1->text().remove(u'&') +
                        QStringLiteral("\" form will now be loaded to set the Network Connection"));
        if (!self) {
            co_return;
        }
        ShowStatus(0, QStringLiteral("New VX8 Dock(s) Available!"));
        mnuNetworkDockSetup1Click();
    }

    // 24-25
    setEnabled(true);
    finish();
    if (ListeningDockCount > 0 && DockFrames.value(LiveDockCount)) {
        DockFrames[LiveDockCount]->tmr_ListeningMode->start();
    }
    if (FCloseWhileLoading) {
        // A close asked for while the docks were loading runs now that no frame is in use.
        FCloseWhileLoading = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

} // namespace vx8
