#include "dockframe/DockInfoFrame.h"

#include "common/LedIndicator.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "dockframe/DockLinkAdapter.h"
#include "dockframe/DockStatusFrame.h"
#include "dockframe/Pinger.h"
#include "docklink/CalderwickVX8Dock.h"
#include "instrument/InstrumentView.h"
#include "instrument/Kor7.h"
#include "instrument/KorLink.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace vx8 {

namespace {
const QColor kLime(0x00, 0xFF, 0x00);
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);

LedIndicator* makeLed(QWidget* parent, const QColor& on, const QString& name, const QString& caption,
                      QHBoxLayout* row)
{
    auto* box = new QVBoxLayout;
    auto* label = new QLabel(caption, parent);
    label->setAlignment(Qt::AlignHCenter);
    auto* led = new LedIndicator(on, parent);
    led->setObjectName(name);
    led->setOffColor(Qt::gray);
    led->setBlinkInterval(200);
    led->setFixedSize(15, 15);
    box->addWidget(label);
    box->addWidget(led, 0, Qt::AlignHCenter);
    row->addLayout(box);
    return led;
}

QGroupBox* group(const QString& name, const QString& caption, QWidget* parent)
{
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    return g;
}
} // namespace

TfraDockInfo::TfraDockInfo(QWidget* parent, Prompter* prompter)
    : QWidget(parent), FrameCoreHolder(prompter ? prompter : &Prompter::instance()),
      FFrameActive(FCore->FFrameActive), FIdle(FCore->FIdle), FShutDownDone(FCore->FShutDownDone),
      FShuttingDown(FCore->FShuttingDown), FStartUpCancel(FCore->FStartUpCancel),
      FFirmwareUploaded(FCore->FFirmwareUploaded), FDockDescription(FCore->FDockDescription),
      FFlashUploading(FCore->FFlashUploading)
{
    LocalDebugString(QStringLiteral("Create"), lcFrame());
    FCore->SetView(this);
    FCore->FIdle = true;
    FCore->FShutDownDone = true;
    tmr_NetworkActivity = &FCore->tmr_NetworkActivity;
    tmr_NetworkActivity->setObjectName(QStringLiteral("tmr_NetworkActivity"));
    tmr_ListeningMode = new QTimer(this);
    tmr_ListeningMode->setObjectName(QStringLiteral("tmr_ListeningMode"));
    tmr_ListeningMode->setInterval(1000);

    VexaExpressDock1 = new TCalderwickVX8Dock(this, FCore->Prompt());
    VexaExpressDock1->setObjectName(QStringLiteral("VexaExpressDock1"));
    VexaExpressDock1->SetCommandTimeOut(10000);
    FPort = std::make_unique<DockLinkAdapter>(VexaExpressDock1);
    FCore->SetLink(FPort.get());
    createUsbDevice();
    bindLinkEvents();
    buildLayout();
    createInstrumentComponents();
}

TfraDockInfo::~TfraDockInfo()
{
    // The worker is stopped and waited for before any widget or the link goes.
    FCore->Worker().StopAndWait(-1);
    FCore->SetLink(nullptr);
    clearUsbHandlers();
    // The links go with the widget after the logic: nothing of theirs may reach it any more.
    VexaExpressDock1->OnDebugRcvControlData = nullptr;
    VexaExpressDock1->OnDebugSndControlData = nullptr;
    KorLink1->OnDebugReceive = nullptr;
    KorLink1->OnDebugSend = nullptr;
}

void TfraDockInfo::bindLinkEvents()
{
    QPointer<TfraDockInfo> self(this);
    auto* core = FCore.get();
    VexaExpressDock1->OnStateChange = [core](QObject*, TDockState s) { core->VexaExpressDock1xStateChange(int(s)); };
    VexaExpressDock1->OnInstrumentConnected = [core](QObject*) { core->VexaExpressDock1xInstrumentConnected(); };
    VexaExpressDock1->OnDeviceInRange = [core](QObject*) { core->VexaExpressDock1xDeviceInRange(); };
    VexaExpressDock1->OnDeviceRemoved = [core](QObject*) { core->VexaExpressDock1xDeviceRemoved(); };
    VexaExpressDock1->OnDeviceInserted = [core](QObject*, TInstState s) { core->VexaExpressDock1DeviceInserted(int(s)); };
    VexaExpressDock1->OnFailedToConnect = [core](QObject*) { core->VexaExpressDock1xFailedToConnect(); };
    VexaExpressDock1->OnCmdTimeOut = [core](QObject*) { core->VexaExpressDock1xCmdTimeOut(); };
}

void TfraDockInfo::createInstrumentComponents()
{
    auto* core = FCore.get();
    // The dock link's control traffic goes to the debug window.
    VexaExpressDock1->OnDebugRcvControlData = [core](QObject*, const QByteArray& data) {
        core->VexaExpressDock1xDebugRcvControlData(data);
    };
    VexaExpressDock1->OnDebugSndControlData = [core](QObject*, const QByteArray& data) {
        core->VexaExpressDock1xDebugSndControlData(data);
    };

    // The instrument link passes through the dock link; the instrument protocol runs on it.
    KorLink1 = new TKorLink(this, FCore->Prompt());
    KorLink1->setObjectName(QStringLiteral("KorLink1"));
    KorLink1->SetInstrumentType(TKorType::tpKor7);
    KorLink1->SetCalderwickVX8Dock(VexaExpressDock1);
    KorLink1->OnDebugReceive = [core](QObject*, const QByteArray& data) { core->KorLink1DebugReceive(data); };
    KorLink1->OnDebugSend = [core](QObject*, const QByteArray& data) { core->KorLink1DebugSend(data); };
    Mellic1 = new TKor7(this, FCore->Prompt());
    Mellic1->setObjectName(QStringLiteral("Mellic1"));
    Mellic1->SetKorLink(KorLink1);
    Mellic1->SetRecordsPerPacket(20);
    Mellic1->SetEventsPerPacket(20);

    // The instrument configuration pages, hidden until an instrument has been read.
    pgSensorData = new TInstrumentView(tsInstrument, FCore->Prompt());
    pgSensorData->setObjectName(QStringLiteral("pgSensorDataView"));
    pgSensorData->setKor7(Mellic1);
    pgSensorData->setVocList(&FCore->FVocList);
    if (auto* page = qobject_cast<QVBoxLayout*>(tsInstrument->layout())) {
        page->insertWidget(page->indexOf(memInProcess), pgSensorData);
    }
    pgSensorData->hide();

    FPing = FCore->FPing;

    // Placeholder of the hidden certificate frame: the certificate frame itself (printing the
    // calibration and bump certificates) takes its place when it is built.
    FCertificate = new QWidget(this);
    FCertificate->setObjectName(QStringLiteral("FCertificate"));
    FCertificate->hide();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    DebugWindow1 = PopupMenu1->addAction(QStringLiteral("Debug Window"));
    DebugWindow1->setObjectName(QStringLiteral("DebugWindow1"));
    DebugWindow1->setEnabled(FCore->DebugWindow() != nullptr);
    connect(DebugWindow1, &QAction::triggered, this, &TfraDockInfo::DebugWindow1Click);
    // "Exit" only closes the menu.
    Exit1 = PopupMenu1->addAction(QStringLiteral("Exit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    // The debug window may come or go after the frame: its item follows at every showing.
    connect(PopupMenu1, &QMenu::aboutToShow, this,
            [this]() { DebugWindow1->setEnabled(FCore->DebugWindow() != nullptr); });

    pgeDockInfo->installEventFilter(this);
    tsInstrument->installEventFilter(this);
    if (parentWidget()) {
        parentWidget()->installEventFilter(this);
    }
}

void TfraDockInfo::DebugWindow1Click()
{
    LocalDebugString(QStringLiteral("DebugWindow1Click"), lcFrame());
    if (DebugSink* window = FCore->DebugWindow()) {
        window->ShowWindow();
    }
}

void TfraDockInfo::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu1->popup(event->globalPos());
    event->accept();
}

bool TfraDockInfo::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == tsInstrument && event->type() == QEvent::Show) ||
        (watched == pgeDockInfo && event->type() == QEvent::FocusIn)) {
        tsInstrumentShow();
    } else if (watched == parentWidget() && event->type() == QEvent::Resize) {
        FrameResize();
    }
    return QWidget::eventFilter(watched, event);
}

void TfraDockInfo::tsInstrumentShow()
{
    LocalDebugString(QStringLiteral("tsInstrumentShow"), lcFrame());
    UpdateMemoLocation();
}

void TfraDockInfo::FrameResize()
{
    // In a layout the layout keeps the width; placed freely, the frame follows its parent.
    QWidget* parent = parentWidget();
    if (!parent || (parent->layout() && parent->layout()->indexOf(this) >= 0)) {
        return;
    }
    if (width() != parent->width()) {
        resize(parent->width(), height());
    }
}

void TfraDockInfo::ApplySoftwareType(int softwareType)
{
    // SHOP and QC show the advanced dock controls all the time: their button has nothing to do.
    if (softwareType == SoftwareType::Shop || softwareType == SoftwareType::QC) {
        cmd_Advanced->setEnabled(false);
    }
}

void TfraDockInfo::buildLayout()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    pgeDockInfo = new QTabWidget(this);
    pgeDockInfo->setObjectName(QStringLiteral("pgeDockInfo"));
    tsExpressDock = new QWidget;
    tsExpressDock->setObjectName(QStringLiteral("tsExpressDock"));
    tsInstrument = new QWidget;
    tsInstrument->setObjectName(QStringLiteral("tsInstrument"));
    pgeDockInfo->addTab(tsExpressDock, QStringLiteral("Dock"));
    pgeDockInfo->addTab(tsInstrument, QStringLiteral("KOR7"));
    outer->addWidget(pgeDockInfo, 1);

    // The "Dock" page: the dock configuration view fills gbDockData.
    auto* dockPage = new QVBoxLayout(tsExpressDock);
    gbDockData = group(QStringLiteral("gbDockData"), QStringLiteral("Dock Configuration"), tsExpressDock);
    auto* dataLayout = new QVBoxLayout(gbDockData);
    gbLCDDisplay = group(QStringLiteral("gbLCDDisplay"), QStringLiteral("LCD Display"), gbDockData);
    lblLCDDisplay = new QLabel(gbLCDDisplay);
    lblLCDDisplay->setObjectName(QStringLiteral("lblLCDDisplay"));
    (new QVBoxLayout(gbLCDDisplay))->addWidget(lblLCDDisplay);
    gbDockCalInterval = group(QStringLiteral("gbDockCalInterval"), QStringLiteral("Calibration Interval"), gbDockData);
    cboDockCalInterval = new QComboBox(gbDockCalInterval);
    cboDockCalInterval->setObjectName(QStringLiteral("cboDockCalInterval"));
    (new QVBoxLayout(gbDockCalInterval))->addWidget(cboDockCalInterval);
    gbAccessPin = group(QStringLiteral("gbAccessPin"), QStringLiteral("Access PIN"), gbDockData);
    gbDockAdvanced = group(QStringLiteral("gbDockAdvanced"), QStringLiteral("Advanced"), gbDockData);
    gbDockAdvanced->hide();
    gbDockActions = group(QStringLiteral("gbDockActions"), QStringLiteral("Dock Actions"), gbDockData);
    auto* actions = new QHBoxLayout(gbDockActions);
    cmd_Advanced = new QPushButton(QStringLiteral("Advanced >>"), gbDockActions);
    cmd_Advanced->setObjectName(QStringLiteral("cmd_Advanced"));
    cmd_TestIPAddress = new QPushButton(QStringLiteral("Test IP Address"), gbDockActions);
    cmd_TestIPAddress->setObjectName(QStringLiteral("cmd_TestIPAddress"));
    cmd_Ethernet = new QPushButton(QStringLiteral("Ethernet..."), gbDockActions);
    cmd_Ethernet->setObjectName(QStringLiteral("cmd_Ethernet"));
    cbGetConfig = new QPushButton(QStringLiteral("Get Config"), gbDockActions);
    cbGetConfig->setObjectName(QStringLiteral("cbGetConfig"));
    actions->addWidget(cmd_Advanced);
    actions->addWidget(cmd_TestIPAddress);
    actions->addWidget(cmd_Ethernet);
    actions->addWidget(cbGetConfig);
    dataLayout->addWidget(gbLCDDisplay);
    dataLayout->addWidget(gbDockCalInterval);
    dataLayout->addWidget(gbAccessPin);
    gbAccessPin->hide();
    dataLayout->addWidget(gbDockAdvanced);
    dataLayout->addWidget(gbDockActions);
    dataLayout->addStretch(1);
    dockPage->addWidget(gbDockData);

    // The "KOR7" page: status LEDs, policy text, gas readings, the process log.
    auto* instrPage = new QVBoxLayout(tsInstrument);
    gbMLStatus = group(QStringLiteral("gbMLStatus"), QStringLiteral("Calibration Status"), tsInstrument);
    auto* leds = new QHBoxLayout(gbMLStatus);
    ledMLDetected = makeLed(gbMLStatus, kLime, QStringLiteral("ledMLDetected"), QStringLiteral("Detect"), leds);
    ledMLConnected = makeLed(gbMLStatus, kLime, QStringLiteral("ledMLConnected"), QStringLiteral("Connect"), leds);
    ledMLProcessing =
        makeLed(gbMLStatus, kYellow, QStringLiteral("ledMLProcessing"), QStringLiteral("Processing"), leds);
    ledMLCalComplete = makeLed(gbMLStatus, kLime, QStringLiteral("ledMLCalComplete"), QStringLiteral("OK"), leds);
    ledMLFaulted = makeLed(gbMLStatus, kRed, QStringLiteral("ledMLFaulted"), QStringLiteral("Fault"), leds);
    ledBattStatus = makeLed(gbMLStatus, kLime, QStringLiteral("ledBattStatus"), QStringLiteral("Battery"), leds);
    lblBatteryStatus = gbMLStatus->findChildren<QLabel*>().value(5);
    if (lblBatteryStatus) {
        lblBatteryStatus->setObjectName(QStringLiteral("lblBatteryStatus"));
    }
    ledACPower = makeLed(gbMLStatus, kLime, QStringLiteral("ledACPower"), QStringLiteral("AC"), leds);
    lbl_Info = new QLabel(gbMLStatus);
    lbl_Info->setObjectName(QStringLiteral("lbl_Info"));
    leds->addStretch(1);
    leds->addWidget(lbl_Info);
    instrPage->addWidget(gbMLStatus);

    gbTestDetails = group(QStringLiteral("gbTestDetails"), QStringLiteral("Testing Details"), tsInstrument);
    auto* details = new QHBoxLayout(gbTestDetails);
    const char* detailNames[][2] = {{"ledMLAudioTest", "Audio"},     {"ledMLVibratorTest", "Vibrator"},
                                    {"ledMLVisualTest", "Visual"},   {"ledMLBumpTest", "Bump"},
                                    {"ledMLZeroCalTest", "Fresh Air"}, {"ledMLSpanCalTest", "Gas Cal"}};
    for (const auto& d : detailNames) {
        makeLed(gbTestDetails, kLime, QString::fromLatin1(d[0]), QString::fromLatin1(d[1]), details);
    }
    gbTestDetails->hide();
    instrPage->addWidget(gbTestDetails);

    gbGasReadings = group(QStringLiteral("gbGasReadings"), QString(), tsInstrument);
    auto* gas = new QHBoxLayout(gbGasReadings);
    lblGasReadings = new QLabel(QStringLiteral("O2:"), gbGasReadings);
    lblGasReadings->setObjectName(QStringLiteral("lblGasReadings"));
    lblGasReadingStatus = new QLabel(QStringLiteral("Testing"), gbGasReadings);
    lblGasReadingStatus->setObjectName(QStringLiteral("lblGasReadingStatus"));
    gas->addWidget(lblGasReadings, 1);
    gas->addWidget(lblGasReadingStatus);
    gbGasReadings->hide();
    instrPage->addWidget(gbGasReadings);

    gbDockEepromDownload =
        group(QStringLiteral("gbDockEepromDownload"), QStringLiteral("Test Record Download...."), tsInstrument);
    gbDockEepromDownload->hide();

    memInProcess = new QPlainTextEdit(tsInstrument);
    memInProcess->setObjectName(QStringLiteral("memInProcess"));
    memInProcess->setReadOnly(true);
    memInProcess->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    instrPage->addWidget(memInProcess, 1);

    stbAction = new QStatusBar(this);
    stbAction->setObjectName(QStringLiteral("stbAction"));
    stbAction->setSizeGripEnabled(false);
    stbAction->setToolTip(QStringLiteral("Current Dock Status"));
    const int widths[3] = {300, 62, 50};
    for (int i = 0; i < 3; ++i) {
        stbPanel[i] = new QLabel(stbAction);
        stbPanel[i]->setObjectName(QStringLiteral("stbActionPanel%1").arg(i));
        stbPanel[i]->setMinimumWidth(widths[i]);
        if (i == 1) {
            stbPanel[i]->setAlignment(Qt::AlignCenter);
        }
        stbAction->addWidget(stbPanel[i], i == 2 ? 1 : 0);
    }
    outer->addWidget(stbAction);

    connect(pgeDockInfo, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1) {
            tsInstrumentShow();
        }
    });
}

void TfraDockInfo::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
}

bool TfraDockInfo::DockLinkEnabled() const
{
    return VexaExpressDock1 && VexaExpressDock1->IsEnabled();
}

QCoro::Task<> TfraDockInfo::ShutDownDock()
{
    LocalDebugString(QStringLiteral("ShutDownDock"), lcFrame());
    QPointer<TfraDockInfo> self(this);
    QPointer<TCalderwickVX8Dock> link = VexaExpressDock1;
    if (!link || !link->IsEnabled()) {
        co_return;
    }
    co_await link->SetPumpStatus(0, 0);
    if (!link) {
        co_return;
    }
    bool busy = false;
    co_await link->SetDockMode(false, busy);
    if (!link) {
        co_return;
    }
    co_await link->EnableDock(false);
}

QCoro::Task<bool> TfraDockInfo::DockEnable()
{
    co_return co_await FCore->DockEnable();
}

QCoro::Task<bool> TfraDockInfo::DockStartUp(QTabWidget* pageControl, QWidget* dockTab, bool enable,
                                            const QString& flashFileName, TfraDockStatus* statusFrame,
                                            int pageIndex)
{
    FDockPages = pageControl;
    FDockTab = dockTab;
    SetStatusFrame(statusFrame);
    QPointer<TfraDockInfo> self(this);
    const bool result = co_await FCore->DockStartUp(enable, flashFileName, pageIndex);
    co_return self ? result : false;
}

void TfraDockInfo::SetStatusFrame(TfraDockStatus* statusFrame)
{
    FStatusFrame = statusFrame;
}

void TfraDockInfo::UpdateScreenInfo(const QString& calNow, const QString& skipCal)
{
    FCore->UpdateScreenInfo(calNow, skipCal);
}

void TfraDockInfo::UpdateMemoLocation()
{
    if (memInProcess) {
        memInProcess->ensureCursorVisible();
        memInProcess->verticalScrollBar()->setValue(memInProcess->verticalScrollBar()->maximum());
    }
}

// ---- DockFrameView ---------------------------------------------------------------------------

void TfraDockInfo::ShowMainStatus(int panel, const QString& text)
{
    if (MainStatus) {
        MainStatus(panel, text);
    }
}

void TfraDockInfo::SetMainStatusBusyLook(bool busy, bool bold)
{
    if (MainStatusBusyLook) {
        MainStatusBusyLook(busy, bold);
    }
}

void TfraDockInfo::SetBusyCursor(bool busy)
{
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++FCursorDepth;
    } else if (FCursorDepth > 0) {
        QApplication::restoreOverrideCursor();
        --FCursorDepth;
    }
}

void TfraDockInfo::ShowFrameStatus(int panel, const QString& text)
{
    if (panel >= 0 && panel < 3) {
        stbPanel[panel]->setText(text);
    }
}

void TfraDockInfo::SetFrameStatusHint(const QString& hint)
{
    stbAction->setToolTip(hint);
}

void TfraDockInfo::AddLogLine(const QString& line)
{
    memInProcess->appendPlainText(line);
}

QString TfraDockInfo::LastLogLine() const
{
    const int n = memInProcess->document()->blockCount();
    if (memInProcess->document()->isEmpty() || n == 0) {
        return {};
    }
    return memInProcess->document()->findBlockByNumber(n - 1).text();
}

LedIndicator* TfraDockInfo::OwnLed(FrameLed led) const
{
    switch (led) {
    case FrameLed::MLDetected: return ledMLDetected;
    case FrameLed::MLConnected: return ledMLConnected;
    case FrameLed::MLProcessing: return ledMLProcessing;
    case FrameLed::MLCalComplete: return ledMLCalComplete;
    case FrameLed::MLFaulted: return ledMLFaulted;
    case FrameLed::BattStatus: return ledBattStatus;
    case FrameLed::ACPower: return ledACPower;
    case FrameLed::DockConnectionStatus: return nullptr;
    }
    return nullptr;
}

LedIndicator* TfraDockInfo::SummaryLed(FrameLed led) const
{
    if (!FStatusFrame) {
        return nullptr;
    }
    switch (led) {
    case FrameLed::MLDetected: return FStatusFrame->ledMLDetected;
    case FrameLed::MLConnected: return FStatusFrame->ledMLConnected;
    case FrameLed::MLProcessing: return FStatusFrame->ledMLProcessing;
    case FrameLed::MLCalComplete: return FStatusFrame->ledMLCalComplete;
    case FrameLed::MLFaulted: return FStatusFrame->ledMLFaulted;
    case FrameLed::BattStatus: return FStatusFrame->ledBattStatus;
    case FrameLed::DockConnectionStatus: return FStatusFrame->ledDockConnectiontStatus;
    case FrameLed::ACPower: return nullptr;
    }
    return nullptr;
}

void TfraDockInfo::SetLedOn(FrameLed led, bool on)
{
    for (LedIndicator* l : {OwnLed(led), SummaryLed(led)}) {
        if (l) {
            l->setOn(on);
        }
    }
}

void TfraDockInfo::SetLedColor(FrameLed led, const QColor& color)
{
    // The LED colours are the platform's: lime is pure green.
    const QColor c = color == QColor(Qt::green) ? kLime : color;
    for (LedIndicator* l : {OwnLed(led), SummaryLed(led)}) {
        if (l) {
            l->setOnColor(c);
        }
    }
}

void TfraDockInfo::SetLedBlinking(FrameLed led, bool blinking)
{
    for (LedIndicator* l : {OwnLed(led), SummaryLed(led)}) {
        if (l) {
            l->setBlinking(blinking);
        }
    }
}

void TfraDockInfo::SetLedHint(FrameLed led, const QString& hint)
{
    for (LedIndicator* l : {OwnLed(led), SummaryLed(led)}) {
        if (l) {
            l->setHint(hint);
        }
    }
}

void TfraDockInfo::PrepareForStartUp()
{
    pgeDockInfo->setTabText(1, QStringLiteral("KOR7"));
    gbDockEepromDownload->setGeometry(8, 128, 633, 110);
    pgeDockInfo->setCurrentIndex(0);
    lblLCDDisplay->clear();
    // Filled afresh, so that a restart does not add the items again.
    cboDockCalInterval->clear();
    for (int i = 1; i <= 180; ++i) {
        cboDockCalInterval->addItem(QString::number(i));
    }
}

void TfraDockInfo::PrepareConfigurationRead(bool shopOrQc)
{
    gbLCDDisplay->show();
    gbDockCalInterval->show();
    gbAccessPin->hide();
    cmd_Advanced->setText(QStringLiteral("Advanced >>"));
    if (shopOrQc) {
        gbDockAdvanced->show();
        gbLCDDisplay->hide();
    }
}

void TfraDockInfo::SetInfoText(const QString& text)
{
    lbl_Info->setText(text);
}

void TfraDockInfo::SetDockPageCaption(const QString& caption)
{
    pgeDockInfo->setTabText(0, caption);
}

void TfraDockInfo::SetDockPageHint(const QString& hint)
{
    pgeDockInfo->setTabToolTip(0, hint);
}

void TfraDockInfo::SetDockTab(const QString& caption, const QString& hint)
{
    if (FDockPages && FDockTab) {
        const int index = FDockPages->indexOf(FDockTab);
        if (index >= 0) {
            FDockPages->setTabText(index, caption);
            FDockPages->setTabToolTip(index, hint);
        }
    }
}

void TfraDockInfo::SetStatusFrameCaption(const QString& caption)
{
    if (FStatusFrame && FStatusFrame->gbDockStatus) {
        FStatusFrame->gbDockStatus->setTitle(caption);
    }
}

void TfraDockInfo::SetStatusFrameHint(const QString& hint)
{
    if (FStatusFrame && FStatusFrame->gbDockStatus) {
        FStatusFrame->gbDockStatus->setToolTip(hint);
    }
}

void TfraDockInfo::ShowFrameAndSelectTab(int pageIndex)
{
    show();
    if (FDockPages && FDockTab) {
        const int index = FDockPages->indexOf(FDockTab);
        if (index >= 0) {
            FDockPages->setTabVisible(index, true);
            FDockPages->setTabEnabled(index, true);
        }
        FDockTab->setEnabled(true);
        FDockPages->show();
        if (pageIndex >= 0 && pageIndex < FDockPages->count()) {
            FDockPages->setCurrentIndex(pageIndex);
        }
    }
}

void TfraDockInfo::SetGasReadingStatus(const QString& text, const QColor& color, const QString& hint)
{
    lblGasReadingStatus->setText(text);
    QPalette pal = lblGasReadingStatus->palette();
    pal.setColor(QPalette::WindowText, color);
    lblGasReadingStatus->setPalette(pal);
    lblGasReadingStatus->setToolTip(hint);
}

} // namespace vx8
