#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/StartUpForm.h"
#include "common/LedIndicator.h"
#include "app/GlobalVars.h"
#include "common/ProgramFolder.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "dockframe/DockInfoFrame.h"
#include "dockframe/DockStatusFrame.h"
#include "transport/USBDevice.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace vx8 {

namespace {
TfrmMain* g_mainWindow = nullptr;

// The maker's download page that "Check for Update..." opens.
const QString UpdatePageAddress = QStringLiteral("https://downloads.calderwick.example/vx8/");

// A drawing of a dock with an instrument in it, for the picture under the summary column.
QPixmap dockPicture(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 258.0;
    p.scale(s, s);
    // base
    QLinearGradient body(0, 120, 0, 240);
    body.setColorAt(0, QColor(70, 74, 82));
    body.setColorAt(1, QColor(30, 32, 36));
    p.setBrush(body);
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.drawRoundedRect(QRectF(24, 130, 210, 100), 18, 18);
    // cradle
    p.setBrush(QColor(45, 48, 54));
    p.drawRoundedRect(QRectF(84, 110, 90, 40), 10, 10);
    // instrument
    QLinearGradient instr(0, 30, 0, 140);
    instr.setColorAt(0, QColor(255, 196, 0));
    instr.setColorAt(1, QColor(214, 140, 0));
    p.setBrush(instr);
    p.drawRoundedRect(QRectF(94, 28, 70, 112), 14, 14);
    p.setBrush(QColor(30, 60, 40));
    p.drawRoundedRect(QRectF(104, 44, 50, 34), 4, 4);
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QPointF(129, 104), 9, 9);
    // indicator lamps of the dock
    const QColor lamps[] = {QColor(0, 255, 0), QColor(0, 255, 0), QColor(255, 255, 0), QColor(255, 0, 0)};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(lamps[i]);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(60 + i * 46, 196), 7, 7);
    }
    p.setPen(QColor(200, 200, 200));
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(16);
    p.setFont(f);
    p.drawText(QRectF(24, 206, 210, 22), Qt::AlignCenter, QStringLiteral("VX8"));
    return pm;
}
} // namespace

TfrmMain* frmMain()
{
    return g_mainWindow;
}

bool PrinterInstalled()
{
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

TfrmMain::TfrmMain() : TfrmMain(Options{}) {}

TfrmMain::TfrmMain(Options options) : FOptions(std::move(options))
{
    g_mainWindow = this;
    setObjectName(QStringLiteral("frmMain"));
    if (!FOptions.dockFrameFactory) {
        FOptions.dockFrameFactory = [](QWidget* parent) { return new TfraDockInfo(parent); };
    }
    if (!FOptions.printerInstalled) {
        FOptions.printerInstalled = [] { return PrinterInstalled(); };
    }
    if (!FOptions.terminate) {
        FOptions.terminate = [](int code) { QCoreApplication::exit(code); };
    }
    buildMenus();
    buildLayout();
    // Lists the attached USB docks for the dock loading (it opens none, so it has no messages).
    USBDevice1 = new TUSBDevice(nullptr, this);
    USBDevice1->setObjectName(QStringLiteral("USBDevice1"));
    USBDevice1->SetDeviceType(TDeviceType::tpCalderwickVX8);

    tmrFormUpload = new QTimer(this);
    tmrFormUpload->setObjectName(QStringLiteral("tmrFormUpload"));
    tmrFormUpload->setInterval(500);
    tmrFormUpload->setSingleShot(true);
    connect(tmrFormUpload, &QTimer::timeout, this, &TfrmMain::tmrFormUploadTimer);
    tmrShutdown = new QTimer(this);
    tmrShutdown->setObjectName(QStringLiteral("tmrShutdown"));
    tmrShutdown->setInterval(2000);
    tmrShutdown->setSingleShot(true);
    connect(tmrShutdown, &QTimer::timeout, this, &TfrmMain::tmrShutdownTimer);

    // Client area 966 x 693; the smallest window keeps the summary column and the pages usable.
    resize(966, 693 + menuBar()->sizeHint().height());
    setMinimumSize(966, 651);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    if (FOptions.runFormCreate) {
        FormCreate();
    }
}

TfrmMain::~TfrmMain()
{
    SetHourglass(false);
    if (g_mainWindow == this) {
        g_mainWindow = nullptr;
    }
}

void TfrmMain::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    LedgraLaunch = file->addAction(QStringLiteral("Database Manager..."), this, &TfrmMain::LedgraLaunchClick);
    LedgraLaunch->setObjectName(QStringLiteral("LedgraLaunch"));
    LedgraLaunch->setEnabled(false);
    FennraLaunch = file->addAction(QStringLiteral("Fennra II..."), this, &TfrmMain::FennraLaunchClick);
    FennraLaunch->setObjectName(QStringLiteral("FennraLaunch"));
    FennraLaunch->setEnabled(false);
    file->addSeparator();
    PrintSetup1 = file->addAction(QStringLiteral("P&rint Setup..."), this, &TfrmMain::PrintSetup1Click);
    PrintSetup1->setObjectName(QStringLiteral("PrintSetup1"));
    PrintSetup1->setEnabled(false);
    file->addSeparator();
    Exit1 = file->addAction(QStringLiteral("E&xit"), this, &TfrmMain::Exit1Click);
    Exit1->setObjectName(QStringLiteral("Exit1"));

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    mnuNetworkDockSetup1 = tools->addAction(QStringLiteral("&Network/Alias Dock Setup..."), this,
                                            &TfrmMain::mnuNetworkDockSetup1Click);
    mnuNetworkDockSetup1->setObjectName(QStringLiteral("mnuNetworkDockSetup1"));
    Options1 = tools->addAction(QStringLiteral("&Options..."), this, &TfrmMain::Options1Click);
    Options1->setObjectName(QStringLiteral("Options1"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    Contents1 = help->addAction(QStringLiteral("&Contents"));
    Contents1->setObjectName(QStringLiteral("Contents1"));
    SearchforHelpOn1 = help->addAction(QStringLiteral("&Search for Help On..."));
    SearchforHelpOn1->setObjectName(QStringLiteral("SearchforHelpOn1"));
    HowtoUseHelp1 = help->addAction(QStringLiteral("&How to Use Help"));
    HowtoUseHelp1->setObjectName(QStringLiteral("HowtoUseHelp1"));
    for (QAction* a : {Contents1, SearchforHelpOn1, HowtoUseHelp1}) {
        a->setEnabled(false);
    }
    help->addSeparator();
    CheckForUpdate1 = help->addAction(QStringLiteral("Check for Update..."), this, &TfrmMain::CheckForUpdate1Click);
    CheckForUpdate1->setObjectName(QStringLiteral("CheckForUpdate1"));
    help->addSeparator();
    About1 = help->addAction(QStringLiteral("&About VX8..."), this, &TfrmMain::About1Click);
    About1->setObjectName(QStringLiteral("About1"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    CloseNow1 = PopupMenu1->addAction(QStringLiteral("Close Now"), this, &TfrmMain::CloseNow1Click);
    CloseNow1->setObjectName(QStringLiteral("CloseNow1"));
    CloseNow1->setShortcut(QKeySequence(Qt::Key_F12));
    CloseNow1->setShortcutContext(Qt::ApplicationShortcut);
    CloseNow1->setEnabled(false);
    addAction(CloseNow1); // F12 works without opening the menu
    Exit2 = PopupMenu1->addAction(QStringLiteral("Exit"));
    Exit2->setObjectName(QStringLiteral("Exit2"));
}

void TfrmMain::buildLayout()
{
    FClient = new QWidget(this);
    FClient->setObjectName(QStringLiteral("client"));
    setCentralWidget(FClient);

    DockStatusBox = new QScrollArea(FClient);
    DockStatusBox->setObjectName(QStringLiteral("DockStatusBox"));
    DockStatusBox->setFrameShape(QFrame::NoFrame);
    DockStatusBox->setWidgetResizable(true);
    DockStatusBox->setGeometry(2, 2, 273, 337);
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("DockStatusColumn"));
    FStatusColumn = new QVBoxLayout(column);
    FStatusColumn->setContentsMargins(4, 4, 4, 4);
    FStatusColumn->setSpacing(2);
    FStatusColumn->addStretch(1);
    DockStatusBox->setWidget(column);

    imgDock = new QLabel(FClient);
    imgDock->setObjectName(QStringLiteral("imgDock"));
    imgDock->setGeometry(7, 336, 258, 258);
    imgDock->setScaledContents(true);
    imgDock->setPixmap(dockPicture(258));
    imgDock->lower();

    pgVexaExpressDocks = new QTabWidget(FClient);
    pgVexaExpressDocks->setObjectName(QStringLiteral("pgVexaExpressDocks"));
    pgVexaExpressDocks->setGeometry(277, 2, 679, 586);

    RemoteList = new QPlainTextEdit(FClient);
    RemoteList->setObjectName(QStringLiteral("RemoteList"));
    RemoteList->hide();

    stbAction = new QStatusBar(this);
    stbAction->setObjectName(QStringLiteral("stbAction"));
    stbAction->setSizeGripEnabled(true);
    FPanel0 = new QLabel(stbAction);
    FPanel0->setObjectName(QStringLiteral("stbActionPanel0"));
    FPanel0->setFixedWidth(500);
    FPanel1 = new QLabel(stbAction);
    FPanel1->setObjectName(QStringLiteral("stbActionPanel1"));
    FPanel1->setMinimumWidth(50);
    stbAction->addWidget(FPanel0);
    stbAction->addWidget(FPanel1, 1);
    setStatusBar(stbAction);
    stbAction->setAutoFillBackground(true);
}

void TfrmMain::FormResize()
{
    const int h = height();
    const int w = width();
    pgVexaExpressDocks->resize(std::max(0, w - DockStatusBox->width() - 10),
                               std::max(0, h - stbAction->height() - 60));
    DockStatusBox->resize(DockStatusBox->width(), LiveDockCount + ListeningDockCount > 5 ? std::max(0, h - 83) : 337);
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (pgVexaExpressDocks) {
        FormResize();
    }
}

void TfrmMain::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu1->popup(event->globalPos());
}

void TfrmMain::ShowStatus(int panel, const QString& text)
{
    QLabel* label = panel == 0 ? FPanel0 : FPanel1;
    label->setText(text);
    label->setToolTip(text);
    Prompter::instance().status(panel == 0 ? text : QStringLiteral("(panel 1) ") + text);
}

QString TfrmMain::StatusText(int panel) const
{
    return (panel == 0 ? FPanel0 : FPanel1)->text();
}

void TfrmMain::SetHourglass(bool on)
{
    if (on == FHourglass || !qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return;
    }
    FHourglass = on;
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void TfrmMain::SetStatusColour(bool red)
{
    FStatusRed = red;
    QPalette pal = stbAction->palette();
    pal.setColor(QPalette::Window, red ? QColor(Qt::red) : QApplication::palette().color(QPalette::Button));
    stbAction->setPalette(pal);
    QFont f = stbAction->font();
    f.setBold(true);
    FPanel0->setFont(f);
    FPanel1->setFont(f);
}

void TfrmMain::Terminate(int code)
{
    LocalDebugString(QStringLiteral("Terminate"));
    FTerminateRequested = true;
    FExitCode = code;
    FOptions.terminate(code);
}

void TfrmMain::RaiseFromSecondStart()
{
    LocalDebugString(QStringLiteral("RaiseFromSecondStart"));
    qCInfo(lcApp) << "A second start of the program raised this window";
    if (isVisible()) {
        if (isMinimized()) {
            showNormal();
        }
        raise();
        activateWindow();
    }
    // A question the start-up is asking comes to the front as well.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

// ---------------------------------------------------------------- dock frames

void TfrmMain::CreateOneDockFrame(const QString& mode)
{
    LocalDebugString(QStringLiteral("CreateOneDockFrame"));
    const int n = DockCount;

    auto* tab = new QWidget(this);
    tab->setObjectName(QStringLiteral("DockTab") + QString::number(n));
    auto* tabLayout = new QVBoxLayout(tab);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    const int page = pgVexaExpressDocks->addTab(tab, QStringLiteral("Dock"));
    tab->setEnabled(false);
    pgVexaExpressDocks->setTabVisible(page, false);
    if (DockTabs.size() <= n) {
        DockTabs.resize(n + 1);
    }
    DockTabs[n] = tab;

    TfraDockInfo* frame = FOptions.dockFrameFactory(tab);
    if (DockFrames.size() <= n) {
        DockFrames.resize(n + 1);
    }
    DockFrames[n] = frame;
    frame->setObjectName(QStringLiteral("DockFrame") + QString::number(n));
    tabLayout->addWidget(frame);
    frame->OnBadInstrSerial = [this](TfraDockInfo* sender) { BadInstrSerialDock(sender); };
    frame->FIdle = true;
    frame->FShutDownDone = true;
    frame->FShuttingDown = false;
    frame->hide();
    if (TGlobalVars* vars = GlobalVars()) {
        frame->tmr_NetworkActivity->setInterval(vars->NetworkVerificationInMinutes * 60000);
        frame->SetInstrFlashFileName(vars->InstrFlashFile);
    }

    auto* status = new TfraDockStatus(DockStatusBox->widget());
    if (DockStatusFrames.size() <= n) {
        DockStatusFrames.resize(n + 1);
    }
    DockStatusFrames[n] = status;
    status->setObjectName(QStringLiteral("DockStatusFrame") + QString::number(n));
    FStatusColumn->insertWidget(FStatusColumn->count() - 1, status);
    status->SetPageControl(pgVexaExpressDocks, page);
    status->hide();

    if (mode == QLatin1String("LISTENING")) {
        frame->lblBatteryStatus->hide();
        frame->ledBattStatus->hide();
    } else if (mode == QLatin1String("LIVE")) {
        ++DockCount;
    }
}

void TfrmMain::DestroyOneDockFrame()
{
    LocalDebugString(QStringLiteral("DestroyOneDockFrame"));
    if (DockCount <= 0) {
        return;
    }
    --DockCount;
    const int n = DockCount;
    if (n < DockFrames.size()) {
        delete DockFrames[n];
        DockFrames[n] = nullptr;
    }
    if (n < DockTabs.size()) {
        delete DockTabs[n];
        DockTabs[n] = nullptr;
    }
    if (n < DockStatusFrames.size()) {
        delete DockStatusFrames[n];
        DockStatusFrames[n] = nullptr;
    }
}

void TfrmMain::BadInstrSerialDock(TfraDockInfo* sender)
{
    LocalDebugString(QStringLiteral("BadInstrSerialDock"));
    Q_UNUSED(sender);
    pgVexaExpressDocks->setCurrentIndex(BadSerialDockIndex);
}

// ---------------------------------------------------------------- sibling programs

bool TfrmMain::LaunchExeName(const QString& exeName, int location)
{
    LocalDebugString(QStringLiteral("LaunchExeName"));
    QString folder;
    if (TGlobalVars* vars = GlobalVars()) {
        folder = location == 2 ? vars->FennraLocation : vars->LedgraLocation;
    }
    const QString path = joinPath(folder, exeName);
    if (!folder.isEmpty() && QFileInfo(path).isFile()) {
        qint64 pid = 0;
        if (!QProcess::startDetached(path, {}, folder, &pid)) {
            Prompter::instance().error(path + QStringLiteral(" could not be started!"));
        }
    } else {
        Prompter::instance().inform(path + QStringLiteral(" could not be found!"));
    }
    return true;
}

bool TfrmMain::VexaAdmLaunch()
{
    return LaunchExeName(QStringLiteral("Vexa_Administrator_Pro.exe"), 1);
}

void TfrmMain::LedgraLaunchClick()
{
    LaunchExeName(QStringLiteral("Ledgra.exe"), 0);
}

void TfrmMain::FennraLaunchClick()
{
    LaunchExeName(QStringLiteral("FennraII.exe"), 2);
}

void TfrmMain::PrintSetup1Click()
{
    LocalDebugString(QStringLiteral("PrintSetup1Click"));
    if (!FPrinter) {
        FPrinter = std::make_unique<QPrinter>();
    }
    QPrintDialog dialog(FPrinter.get(), this);
    dialog.setWindowTitle(QStringLiteral("Print Setup"));
    dialog.exec();
}

void TfrmMain::Exit1Click()
{
    close();
}

void TfrmMain::About1Click()
{
    if (frmAbout) {
        frmAbout->show();
        frmAbout->raise();
    }
}

void TfrmMain::CheckForUpdate1Click()
{
    QDesktopServices::openUrl(QUrl(UpdatePageAddress));
}

void TfrmMain::CloseNow1Click()
{
    LocalDebugString(QStringLiteral("CloseNow1Click"));
    // Ends the program at once: the docks still busy are left as they are.
    FCloseAccepted = true;
    tmrShutdown->stop();
    SetHourglass(false);
    hide();
    Terminate(0);
}

} // namespace vx8
