#include "dockframe/DockInfoFrame.h"

#include "common/LedIndicator.h"
#include "common/Trace.h"

#include <QLabel>
#include <QTimer>

namespace vx8 {

TfraDockInfo::TfraDockInfo(QWidget* parent) : QWidget(parent)
{
    tmr_NetworkActivity = new QTimer(this);
    tmr_NetworkActivity->setObjectName(QStringLiteral("tmr_NetworkActivity"));
    tmr_ListeningMode = new QTimer(this);
    tmr_ListeningMode->setObjectName(QStringLiteral("tmr_ListeningMode"));

    lblBatteryStatus = new QLabel(QStringLiteral("Battery"), this);
    lblBatteryStatus->setObjectName(QStringLiteral("lblBatteryStatus"));
    ledBattStatus = new LedIndicator(QColor(0x00, 0xFF, 0x00), this);
    ledBattStatus->setObjectName(QStringLiteral("ledBattStatus"));
    ledBattStatus->setOffColor(Qt::gray);
    ledBattStatus->setFixedSize(15, 15);
    ledBattStatus->move(4, 4);
    lblBatteryStatus->move(24, 4);
}

TfraDockInfo::~TfraDockInfo() = default;

QCoro::Task<> TfraDockInfo::ShutDownDock()
{
    LocalDebugString(QStringLiteral("ShutDownDock"), lcFrame());
    // The dock link of the frame is not bound yet: nothing is connected that could be released.
    FDockLinkEnabled = false;
    co_return;
}

} // namespace vx8
