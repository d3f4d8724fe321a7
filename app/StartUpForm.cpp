#include "app/StartUpForm.h"

#include "app/MainWindow.h"
#include "app/ProductInfo.h"
#include "common/Trace.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QScreen>

namespace vx8 {

TfrmStartUp1::TfrmStartUp1(QWidget* owner)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), FOwner(owner)
{
    LocalDebugString(QStringLiteral("TfrmStartUp1"));
    setObjectName(QStringLiteral("frmStartUp1"));
    setFixedSize(449, 441);
    lblStartUp = new QLabel(QStringLiteral("Loading..."), this);
    lblStartUp->setObjectName(QStringLiteral("lblStartUp"));
    QFont f = lblStartUp->font();
    f.setBold(true);
    lblStartUp->setFont(f);
    lblStartUp->setAlignment(Qt::AlignCenter);
    lblStartUp->setGeometry(8, 396, 433, 24);
    lblStartUp->setStyleSheet(QStringLiteral("color: white"));

    const bool app = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (app) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    const QString sep = QLocale::system().decimalPoint();
    const QString major = QString::number(ProductInfo::major());
    const QString minor = QString::number(ProductInfo::minor());
    lblStartUp->setText(ProductInfo::productName() + u' ' + major + sep + minor +
                        QStringLiteral(" Loading, Please Wait....."));
    if (TfrmMain* main = frmMain()) {
        main->ProgramVersion = major + sep + minor;
        main->ProgramVersionFull = major + sep + minor + sep + QString::number(ProductInfo::release()) + sep +
                                   QString::number(ProductInfo::build());
    }
    if (app) {
        QApplication::restoreOverrideCursor();
    }
}

void TfrmStartUp1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    QRect area = FOwner ? FOwner->frameGeometry() : QRect();
    if (area.isEmpty() && QGuiApplication::primaryScreen()) {
        area = QGuiApplication::primaryScreen()->availableGeometry();
    }
    move(area.center() - rect().center());
}

void TfrmStartUp1::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, height());
    bg.setColorAt(0, QColor(20, 48, 92));
    bg.setColorAt(1, QColor(6, 16, 34));
    p.fillRect(rect(), bg);
    p.setPen(QColor(255, 196, 0));
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(96);
    p.setFont(f);
    p.drawText(QRect(0, 110, width(), 120), Qt::AlignCenter, ProductInfo::productName());
    f.setPixelSize(18);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(220, 226, 235));
    p.drawText(QRect(0, 232, width(), 30), Qt::AlignCenter, QStringLiteral("Docking Station Manager"));
    p.setPen(QPen(QColor(255, 196, 0), 3));
    p.drawLine(90, 270, width() - 90, 270);
}

} // namespace vx8
