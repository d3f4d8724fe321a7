#include "dockframe/DockStatusFrame.h"

#include "common/LedIndicator.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
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

constexpr int kLedSize = 15;
constexpr int kGapLeft = 4;   // where the opening in the top border begins
constexpr int kLedLeft = kGapLeft + 2;
constexpr int kTitleLeft = kLedLeft + kLedSize + 4;

// The summary's group box: the connection LED sits in an opening of the top border, left of the
// caption, and the caption is shortened with "..." rather than run over the right border. Nothing
// is drawn across the LED or the caption.
class DockStatusGroupBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

    // Height of the caption line: the caption's or the LED's, whichever is taller.
    int headerHeight() const { return qMax(fontMetrics().height(), kLedSize); }
    // The caption as drawn (elided to the room there is).
    QString shownTitle() const
    {
        return fontMetrics().elidedText(title(), Qt::ElideRight, qMax(0, width() - kTitleLeft - 8));
    }
    // Where the caption is drawn.
    QRect titleRect() const
    {
        return QRect(kTitleLeft, 0, fontMetrics().horizontalAdvance(shownTitle()), headerHeight());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const int lineY = headerHeight() / 2;
        const QRect text = titleRect();
        const int gapRight = text.isEmpty() ? kLedLeft + kLedSize + 2 : text.right() + 4;
        const int right = width() - 1;
        const int bottom = height() - 1;
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(0, lineY, kGapLeft, lineY);
        if (gapRight < right) {
            p.drawLine(gapRight, lineY, right, lineY);
        }
        p.drawLine(0, lineY, 0, bottom);
        p.drawLine(right, lineY, right, bottom);
        p.drawLine(0, bottom, right, bottom);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, shownTitle());
    }
};
} // namespace

TfraDockStatus::TfraDockStatus(QWidget* parent) : QFrame(parent)
{
    setFixedSize(250, 51);
    auto* box = new DockStatusGroupBox(this);
    gbDockStatus = box;
    gbDockStatus->setObjectName(QStringLiteral("gbDockStatus"));
    gbDockStatus->setGeometry(0, 0, 250, 51);
    gbDockStatus->installEventFilter(this);

    const int header = box->headerHeight();
    const QColor lime(0x00, 0xFF, 0x00);
    ledDockConnectiontStatus = makeLed(gbDockStatus, lime, QStringLiteral("ledDockConnectiontStatus"));
    ledDockConnectiontStatus->move(kLedLeft, (header - kLedSize) / 2);
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
    const int left = (width() - 6 * columnWidth) / 2;
    // The small caption font, smaller still where a caption would not fit its column.
    QFont small = font();
    small.setPointSize(7);
    for (int size = 7; size >= 5; --size) {
        small.setPointSize(size);
        const QFontMetrics fm(small);
        bool fits = true;
        for (const Column& c : columns) {
            fits = fits && fm.horizontalAdvance(QString::fromLatin1(c.caption)) <= columnWidth - 2;
        }
        if (fits) {
            break;
        }
    }
    const int captionTop = header + 1;
    const int captionHeight = QFontMetrics(small).height();
    // The LEDs below their captions, clear of the bottom border.
    const int ledTop = qMin(captionTop + captionHeight + 2, height() - kLedSize - 3);
    for (int i = 0; i < 6; ++i) {
        const int x = left + i * columnWidth;
        auto* caption = new QLabel(QString::fromLatin1(columns[i].caption), gbDockStatus);
        caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        caption->setFont(small);
        caption->setGeometry(x, captionTop, columnWidth, qMin(captionHeight, ledTop - captionTop));
        if (i == 3) {
            lblBatteryStatus = caption;
            caption->setObjectName(QStringLiteral("lblBatteryStatus"));
        }
        LedIndicator* led = makeLed(gbDockStatus, columns[i].on, QString::fromLatin1(columns[i].led));
        led->move(x + (columnWidth - kLedSize) / 2, ledTop);
        *targets[i] = led;
    }
}

QRect TfraDockStatus::captionRect() const
{
    return static_cast<const DockStatusGroupBox*>(gbDockStatus)->titleRect();
}

QString TfraDockStatus::shownCaption() const
{
    return static_cast<const DockStatusGroupBox*>(gbDockStatus)->shownTitle();
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
