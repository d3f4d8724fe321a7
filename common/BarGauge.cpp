#include "common/BarGauge.h"

#include <QPainter>

namespace vx8 {

BarGauge::BarGauge(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BarGauge::setMinimum(qint64 value)
{
    setRange(value, qMax(value, m_maximum));
}

void BarGauge::setMaximum(qint64 value)
{
    setRange(qMin(value, m_minimum), value);
}

void BarGauge::setRange(qint64 minimum, qint64 maximum)
{
    if (maximum < minimum)
        maximum = minimum;
    m_minimum = minimum;
    m_maximum = maximum;
    clampProgress();
    update();
}

void BarGauge::setProgress(qint64 value)
{
    const qint64 old = m_progress;
    m_progress = qBound(m_minimum, value, m_maximum);
    if (m_progress != old) {
        update();
        emit progressChanged(m_progress);
    }
}

void BarGauge::clampProgress()
{
    const qint64 old = m_progress;
    m_progress = qBound(m_minimum, m_progress, m_maximum);
    if (m_progress != old)
        emit progressChanged(m_progress);
}

int BarGauge::percent() const
{
    if (m_maximum <= m_minimum)
        return 0;
    // In long double so that ranges near the limits of qint64 cannot overflow.
    const long double done = static_cast<long double>(m_progress - m_minimum) * 100.0L /
                             static_cast<long double>(m_maximum - m_minimum);
    return qBound(0, static_cast<int>(done), 100);
}

QString BarGauge::text() const
{
    return QString::number(percent()) + QLatin1Char('%');
}

void BarGauge::setShowText(bool show)
{
    m_showText = show;
    update();
}

void BarGauge::setForeColor(const QColor& color)
{
    m_foreColor = color;
    update();
}

void BarGauge::setBackColor(const QColor& color)
{
    m_backColor = color;
    update();
}

QSize BarGauge::sizeHint() const
{
    return {150, 18};
}

QSize BarGauge::minimumSizeHint() const
{
    return {20, 10};
}

void BarGauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(frame, m_backColor);

    const QRect inner = frame.adjusted(1, 1, 0, 0);
    QRect bar = inner;
    if (m_maximum > m_minimum) {
        const long double share = static_cast<long double>(m_progress - m_minimum) /
                                  static_cast<long double>(m_maximum - m_minimum);
        bar.setWidth(static_cast<int>(inner.width() * share));
    } else {
        bar.setWidth(0);
    }
    if (bar.width() > 0)
        painter.fillRect(bar, m_foreColor);

    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);

    if (m_showText) {
        // The text in the bar's colour over the empty part and in the background colour over the bar.
        const QString label = text();
        painter.setPen(m_foreColor);
        painter.drawText(inner, Qt::AlignCenter, label);
        painter.save();
        painter.setClipRect(bar);
        painter.setPen(m_backColor);
        painter.drawText(inner, Qt::AlignCenter, label);
        painter.restore();
    }
}

} // namespace vx8
