#include "common/LedIndicator.h"

#include <QPainter>
#include <QRadialGradient>

namespace vx8 {

LedIndicator::LedIndicator(QWidget* parent) : QWidget(parent)
{
    m_timer.setInterval(DefaultBlinkInterval);
    connect(&m_timer, &QTimer::timeout, this, &LedIndicator::blink);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

LedIndicator::LedIndicator(const QColor& onColor, QWidget* parent) : LedIndicator(parent)
{
    m_onColor = onColor;
}

void LedIndicator::setOn(bool on)
{
    if (on == m_on)
        return;
    const bool wasLit = isLit();
    m_on = on;
    m_blinkPhase = true; // a blink starts with the lit half
    updateTimer();
    refresh(wasLit);
}

void LedIndicator::setOnColor(const QColor& color)
{
    if (color == m_onColor)
        return;
    m_onColor = color;
    update();
}

void LedIndicator::setOffColor(const QColor& color)
{
    if (color == m_offColor)
        return;
    m_offColor = color;
    update();
}

void LedIndicator::setBlinking(bool blinking)
{
    if (blinking == m_blinking)
        return;
    const bool wasLit = isLit();
    m_blinking = blinking;
    m_blinkPhase = true;
    updateTimer();
    refresh(wasLit);
}

void LedIndicator::setBlinkInterval(int ms)
{
    m_timer.setInterval(qMax(1, ms));
}

void LedIndicator::setHint(const QString& hint)
{
    m_hint = hint;
    updateToolTip();
}

void LedIndicator::setShowHint(bool show)
{
    m_showHint = show;
    updateToolTip();
}

QSize LedIndicator::sizeHint() const
{
    return {DefaultSize, DefaultSize};
}

QSize LedIndicator::minimumSizeHint() const
{
    return {8, 8};
}

void LedIndicator::blink()
{
    const bool wasLit = isLit();
    m_blinkPhase = !m_blinkPhase;
    refresh(wasLit);
}

void LedIndicator::refresh(bool wasLit)
{
    update();
    if (isLit() != wasLit)
        emit litChanged(isLit());
}

void LedIndicator::updateTimer()
{
    if (m_on && m_blinking) {
        if (!m_timer.isActive())
            m_timer.start();
    } else {
        m_timer.stop();
    }
}

void LedIndicator::updateToolTip()
{
    setToolTip(m_showHint ? m_hint : QString());
}

void LedIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height());
    const QRectF circle((width() - side) / 2.0 + 0.5, (height() - side) / 2.0 + 0.5, side - 1.0, side - 1.0);

    const QColor base = currentColor();
    QRadialGradient gradient(circle.center() - QPointF(side / 6.0, side / 6.0), side / 1.6);
    gradient.setColorAt(0.0, base.lighter(isLit() ? 170 : 130));
    gradient.setColorAt(1.0, base.darker(isLit() ? 110 : 140));
    painter.setBrush(gradient);
    painter.setPen(QPen(base.darker(200), 1.0));
    painter.drawEllipse(circle);
}

} // namespace vx8
