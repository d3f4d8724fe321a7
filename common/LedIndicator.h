#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace vx8 {

// A round indicator LED. It is lit (on) or dark (off); a lit LED shows its on colour, a dark one its
// off colour. A blinking LED that is on alternates between the two colours every interval (200 ms
// unless set) until it is set steady again or switched off. The hint is the LED's tool tip while
// hints are shown.
class LedIndicator : public QWidget
{
    Q_OBJECT
public:
    static constexpr int DefaultBlinkInterval = 200; // ms
    static constexpr int DefaultSize = 15;           // pixels, width and height

    explicit LedIndicator(QWidget* parent = nullptr);
    LedIndicator(const QColor& onColor, QWidget* parent = nullptr);

    // Lit or dark (a blinking LED counts as lit).
    bool isOn() const { return m_on; }
    void setOn(bool on);

    QColor onColor() const { return m_onColor; }
    void setOnColor(const QColor& color);
    QColor offColor() const { return m_offColor; }
    void setOffColor(const QColor& color);
    // The colour of the LED is its on colour.
    QColor color() const { return m_onColor; }
    void setColor(const QColor& color) { setOnColor(color); }

    bool isBlinking() const { return m_blinking; }
    void setBlinking(bool blinking);
    int blinkInterval() const { return m_timer.interval(); }
    void setBlinkInterval(int ms);

    QString hint() const { return m_hint; }
    void setHint(const QString& hint);
    bool showHint() const { return m_showHint; }
    void setShowHint(bool show);

    // What the LED shows at this moment: true while it is painted in its on colour.
    bool isLit() const { return m_on && (!m_blinking || m_blinkPhase); }
    // The colour painted at this moment.
    QColor currentColor() const { return isLit() ? m_onColor : m_offColor; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Emitted whenever what the LED shows changes (also at every blink).
    void litChanged(bool lit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void blink();
    void refresh(bool wasLit);
    void updateTimer();
    void updateToolTip();

    QColor m_onColor = Qt::green;
    QColor m_offColor = QColor(0x80, 0x80, 0x80); // grey
    bool m_on = false;
    bool m_blinking = false;
    bool m_blinkPhase = true; // the lit half of a blink
    QString m_hint;
    bool m_showHint = true;
    QTimer m_timer;
};

} // namespace vx8
