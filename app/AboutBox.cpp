#include "app/AboutBox.h"

#include "app/GlobalVars.h"
#include "app/ProductInfo.h"
#include "common/Prompter.h"
#include "common/Trace.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <pwd.h>
#include <unistd.h>

namespace vx8 {

namespace {
const QString SpecialModeNote = QStringLiteral(
    "\r\n\r\nNote: Restart the software to fully enable the special mode.  Remember to return the Normal mode "
    "when finished");

QString padded(const QString& label, int width, const QString& value)
{
    return label.leftJustified(width) + u' ' + value;
}

QString userName()
{
    if (const passwd* pw = getpwuid(getuid())) {
        return QString::fromLocal8Bit(pw->pw_name);
    }
    return qEnvironmentVariable("USER");
}

QString osVersion()
{
    // major.minor.build of the running kernel
    const QStringList parts = QSysInfo::kernelVersion().split(QRegularExpression(QStringLiteral("[^0-9]+")),
                                                              Qt::SkipEmptyParts);
    return QStringList(parts.mid(0, 3)).join(u'.');
}

QPixmap instrumentPicture()
{
    QPixmap pm(96, 150);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 150);
    g.setColorAt(0, QColor(255, 196, 0));
    g.setColorAt(1, QColor(214, 140, 0));
    p.setBrush(g);
    p.setPen(QPen(QColor(60, 40, 0), 2));
    p.drawRoundedRect(QRectF(8, 4, 80, 142), 16, 16);
    p.setBrush(QColor(30, 60, 40));
    p.drawRoundedRect(QRectF(20, 22, 56, 40), 4, 4);
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QPointF(48, 104), 12, 12);
    return pm;
}

QLabel* webLabel(const QString& text, const QString& address, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setProperty("address", address);
    l->setToolTip(address + QStringLiteral(" (double click to open)"));
    l->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline"));
    return l;
}
} // namespace

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(false);
    setWindowTitle(QStringLiteral("About VX8"));
    resize(420, 330);
    auto* layout = new QVBoxLayout(this);
    pages = new QTabWidget(this);
    layout->addWidget(pages);

    auto* main = new QWidget;
    auto* ml = new QVBoxLayout(main);
    auto* top = new QHBoxLayout;
    imgInstrument = new QLabel(main);
    imgInstrument->setObjectName(QStringLiteral("imgInstrument"));
    imgInstrument->setPixmap(instrumentPicture());
    imgInstrument->setContextMenuPolicy(Qt::CustomContextMenu);
    top->addWidget(imgInstrument);
    auto* texts = new QVBoxLayout;
    lblProduct = new QLabel(main);
    QFont f = lblProduct->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 4);
    lblProduct->setFont(f);
    lblVersion = new QLabel(main);
    lblBuild = new QLabel(main);
    lblFileDate = new QLabel(main);
    lblLegal = new QLabel(main);
    lblLegal->setWordWrap(true);
    for (QLabel* l : {lblProduct, lblVersion, lblBuild, lblFileDate, lblLegal}) {
        texts->addWidget(l);
    }
    texts->addStretch(1);
    top->addLayout(texts, 1);
    ml->addLayout(top);
    lblCompanyWeb = webLabel(QStringLiteral("Calderwick"), QStringLiteral("https://www.calderwick.example/"), main);
    lblCorporateWeb = webLabel(QStringLiteral("Calderwick Corporate"),
                               QStringLiteral("https://corporate.calderwick.example/"), main);
    lblUpdateWeb = webLabel(QStringLiteral("Software Updates"),
                            QStringLiteral("https://downloads.calderwick.example/vx8/"), main);
    for (QLabel* l : {lblCompanyWeb, lblCorporateWeb, lblUpdateWeb}) {
        l->installEventFilter(this);
        ml->addWidget(l);
    }
    pages->addTab(main, QStringLiteral("VX8"));

    memSystem = new QPlainTextEdit;
    memSystem->setReadOnly(true);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    memSystem->setFont(mono);
    pages->addTab(memSystem, QStringLiteral("System"));

    auto* flash = new QWidget;
    auto* fl = new QVBoxLayout(flash);
    lblFlashFile = new QLabel(flash);
    lblFlashFile->setWordWrap(true);
    fl->addWidget(lblFlashFile);
    fl->addStretch(1);
    pages->addTab(flash, QStringLiteral("Flash File"));

    mnuSpecialMode = new QMenu(this);
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    mnuNormal = mnuSpecialMode->addAction(QStringLiteral("Normal"), this, &TfrmAbout::NormalClick);
    mnuFlashOnly = mnuSpecialMode->addAction(QStringLiteral("Flash Instruments Only"), this, &TfrmAbout::FlashOnlyClick);
    mnuDownloadAndFlash = mnuSpecialMode->addAction(QStringLiteral("Download and Flash Instruments"), this,
                                                    &TfrmAbout::DownloadAndFlashClick);
    mnuFlashAndCal =
        mnuSpecialMode->addAction(QStringLiteral("Flash and Cal Instruments"), this, &TfrmAbout::FlashAndCalClick);
    mnuSerialUpdate =
        mnuSpecialMode->addAction(QStringLiteral("Serial Number Update"), this, &TfrmAbout::SerialUpdateClick);
    for (QAction* a : {mnuNormal, mnuFlashOnly, mnuDownloadAndFlash, mnuFlashAndCal, mnuSerialUpdate}) {
        a->setCheckable(true);
        a->setActionGroup(group);
    }
    // The checks follow the choice made, not the click: a declined question keeps the old check.
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    connect(imgInstrument, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { mnuSpecialMode->popup(imgInstrument->mapToGlobal(pos)); });
}

void TfrmAbout::showEvent(QShowEvent* event)
{
    Refresh();
    QDialog::showEvent(event);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        const QString address = watched->property("address").toString();
        if (!address.isEmpty()) {
            QDesktopServices::openUrl(QUrl(address));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::Refresh()
{
    LocalDebugString(QStringLiteral("AboutBoxRefresh"));
    setWindowTitle(QStringLiteral("About VX8"));
    pages->setTabText(0, QStringLiteral("VX8"));
    QString product = QStringLiteral("VX8");

    QStringList system;
    system << padded(QStringLiteral("OS"), 28, QSysInfo::prettyProductName())
           << padded(QStringLiteral("OS Version"), 23, osVersion()) << QString()
           << padded(QStringLiteral("Computer Name"), 18, QSysInfo::machineHostName())
           << padded(QStringLiteral("User Name"), 22, userName());
    memSystem->setPlainText(system.join(u'\n'));

    const QString sep = QLocale::system().decimalPoint();
    lblVersion->setText(QString::number(ProductInfo::major()) + sep + QString::number(ProductInfo::minor()) + sep +
                        QString::number(ProductInfo::release()));
    lblBuild->setText(QStringLiteral("Build (") + QString::number(ProductInfo::build()) + u')');
    const QFileInfo programFile(QCoreApplication::applicationFilePath());
    lblFileDate->setText(QLocale::system().toString(programFile.lastModified(), QLocale::ShortFormat));
    lblLegal->setText(ProductInfo::legalCopyright());

    check(mnuNormal);
    const TGlobalVars* vars = GlobalVars();
    const std::uint16_t type = vars ? vars->SoftwareType : SoftwareTypes::Normal;
    switch (type) {
    case SoftwareTypes::Shop:
    case SoftwareTypes::QC:
        product += SoftwareTypes::aboutSuffix(type);
        break;
    case SoftwareTypes::FlashOnly:
        product += SoftwareTypes::aboutSuffix(type);
        check(mnuFlashOnly);
        break;
    case SoftwareTypes::DownloadAndFlashOnly:
        product += SoftwareTypes::aboutSuffix(type);
        check(mnuDownloadAndFlash);
        break;
    case SoftwareTypes::FlashAndCalOnly:
        product += SoftwareTypes::aboutSuffix(type);
        check(mnuFlashAndCal);
        break;
    case SoftwareTypes::SerialNumberUpdate:
        product += SoftwareTypes::aboutSuffix(type);
        check(mnuSerialUpdate);
        break;
    default:
        break;
    }
    lblProduct->setText(product);
    lblFlashFile->setText(vars && !vars->InstrFlashFile.isEmpty() ? QStringLiteral("Flash:  ") + vars->InstrFlashFile
                                                                   : QString());
}

void TfrmAbout::check(QAction* item)
{
    for (QAction* a : {mnuNormal, mnuFlashOnly, mnuDownloadAndFlash, mnuFlashAndCal, mnuSerialUpdate}) {
        a->setChecked(a == item);
    }
}

bool TfrmAbout::askSpecialMode(const QString& question)
{
    return Prompter::instance().confirm(question + SpecialModeNote);
}

void TfrmAbout::NormalClick()
{
    Prompter::instance().inform(QStringLiteral("Normal Mode Enabled"));
    if (TGlobalVars* vars = GlobalVars()) {
        vars->SoftwareType = SoftwareTypes::Normal;
    }
    check(mnuNormal);
}

void TfrmAbout::FlashOnlyClick()
{
    const bool yes = askSpecialMode(QStringLiteral("Are you sure enable the special mode to only Flash the instruments?"));
    TGlobalVars* vars = GlobalVars();
    if (yes && vars) {
        vars->SoftwareType = SoftwareTypes::FlashOnly;
        vars->FlashInstr = QStringLiteral("False");
    }
    Refresh();
}

void TfrmAbout::DownloadAndFlashClick()
{
    const bool yes = askSpecialMode(QStringLiteral(
        "Are you sure enable the special mode to download session data and flash the instruments only?"));
    TGlobalVars* vars = GlobalVars();
    if (yes && vars) {
        vars->SoftwareType = SoftwareTypes::DownloadAndFlashOnly;
        vars->FlashInstr = QStringLiteral("False");
    }
    Refresh();
}

void TfrmAbout::FlashAndCalClick()
{
    const bool yes = askSpecialMode(
        QStringLiteral("Are you sure enable the special mode to flash and calibrate the instruments only?"));
    TGlobalVars* vars = GlobalVars();
    if (yes && vars) {
        vars->SoftwareType = SoftwareTypes::FlashAndCalOnly;
        vars->FlashInstr = QStringLiteral("False");
    }
    Refresh();
}

void TfrmAbout::SerialUpdateClick()
{
    const bool yes = askSpecialMode(QStringLiteral(
        "Are you sure enable the special mode to prompt for serial number of the instrument every time?"));
    TGlobalVars* vars = GlobalVars();
    if (yes && vars) {
        vars->SoftwareType = SoftwareTypes::SerialNumberUpdate;
    }
    Refresh();
}

} // namespace vx8
