#pragma once

#include <QColor>
#include <QWidget>

namespace vx8 {

// A horizontal bar gauge: a bar filled from the left in proportion to progress between minimum and
// maximum, with the percentage done ("42%") written across it. Progress is kept inside
// [minimum, maximum]; setting a bound past the other moves the other with it.
class BarGauge : public QWidget
{
    Q_OBJECT
public:
    explicit BarGauge(QWidget* parent = nullptr);

    qint64 minimum() const { return m_minimum; }
    void setMinimum(qint64 value);
    qint64 maximum() const { return m_maximum; }
    void setMaximum(qint64 value);
    void setRange(qint64 minimum, qint64 maximum);
    qint64 progress() const { return m_progress; }
    void setProgress(qint64 value);
    void addProgress(qint64 delta) { setProgress(m_progress + delta); }

    // Whole percent done, rounded down, 0 to 100 (0 when minimum equals maximum).
    int percent() const;
    // The text written across the bar: percent() followed by "%".
    QString text() const;
    bool showText() const { return m_showText; }
    void setShowText(bool show);

    QColor foreColor() const { return m_foreColor; }
    void setForeColor(const QColor& color);
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);

    // The gauge's tool tip.
    QString hint() const { return toolTip(); }
    void setHint(const QString& hint) { setToolTip(hint); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void progressChanged(qint64 progress);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void clampProgress();

    qint64 m_minimum = 0;
    qint64 m_maximum = 100;
    qint64 m_progress = 0;
    bool m_showText = true;
    QColor m_foreColor = QColor(0x00, 0x00, 0x80); // navy
    QColor m_backColor = Qt::white;
};

} // namespace vx8
