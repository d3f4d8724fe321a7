#include "dockframe/DockStatusFrame.h"

#include "common/LedIndicator.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QTabWidget>

namespace vx8 {

namespace {
LedIndicator* makeLed(QWidget* parent, const QColor& on, const QString& name)
{
    auto* led = new LedIndicator(on, parent);
    led->setObjectName(name);
    led->setOffColor(Qt::gray);
    led->setBlinkInterval(200);
    led->setFixedSize(15, 15);
    led->setOn(false);
    return led;
}
} // namespace

TfraDockStatus::TfraDockStatus(QWidget* parent) : QFrame(parent)
{
    setFixedSize(250, 51);
    gbDockStatus = new QGroupBox(this);
    gbDockStatus->setObjectName(QStringLiteral("gbDockStatus"));
    gbDockStatus->setGeometry(0, 0, 250, 51);
    gbDockStatus->installEventFilter(this);
    // The title starts right of the connection LED in the top-left corner.
    gbDockStatus->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 22px; padding: 0 3px; }"));

    const QColor lime(0x00, 0xFF, 0x00);
    ledDockConnectiontStatus = makeLed(gbDockStatus, lime, QStringLiteral("ledDockConnectiontStatus"));
    ledDockConnectiontStatus->move(4, 0);
    ledDockConnectiontStatus->setOn(true);

    const QColor yellow(0xFF, 0xFF, 0x00);
    const QColor red(0xFF, 0x00, 0x00);
    struct Column
    {
        const char* caption;
        const char* led;
        QColor on;
    };
    const Column columns[] = {
        {"Detect", "ledMLDetected", lime},    {"Connect", "ledMLConnected", lime},
        {"Process", "ledMLProcessing", yellow}, {"Battery", "ledBattStatus", lime},
        {"OK", "ledMLCalComplete", lime},     {"Fault", "ledMLFaulted", red},
    };
    LedIndicator** targets[] = {&ledMLDetected, &ledMLConnected, &ledMLProcessing,
                                &ledBattStatus, &ledMLCalComplete, &ledMLFaulted};
    const int columnWidth = 40;
    for (int i = 0; i < 6; ++i) {
        const int x = 7 + i * columnWidth;
        auto* caption = new QLabel(QString::fromLatin1(columns[i].caption), gbDockStatus);
        caption->setAlignment(Qt::AlignHCenter);
        caption->setGeometry(x, 15, columnWidth, 13);
        QFont f = caption->font();
        f.setPointSize(7);
        caption->setFont(f);
        if (i == 3) {
            lblBatteryStatus = caption;
            caption->setObjectName(QStringLiteral("lblBatteryStatus"));
        }
        LedIndicator* led = makeLed(gbDockStatus, columns[i].on, QString::fromLatin1(columns[i].led));
        led->move(x + (columnWidth - 15) / 2, 31);
        *targets[i] = led;
    }
}

void TfraDockStatus::SetPageControl(QTabWidget* pages, int index)
{
    FPageControl = pages;
    FPageIndex = index;
}

void TfraDockStatus::gbDockStatusClick()
{
    if (FPageControl && FPageIndex >= 0 && FPageIndex < FPageControl->count()) {
        FPageControl->setCurrentIndex(FPageIndex);
    }
}

bool TfraDockStatus::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == gbDockStatus && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            gbDockStatusClick();
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace vx8
