#pragma once

#include <QFrame>
#include <QRect>
#include <QString>

class QGroupBox;
class QLabel;
class QTabWidget;

namespace vx8 {

class LedIndicator;

// The summary of one dock in the main window's left column: a group box carrying the dock's name,
// six captioned LEDs (Detect, Connect, Process, Battery, OK, Fault) and the dock connection LED in
// an opening of the top border, left of the caption. The dock frame drives the LEDs; a click on the group box selects the dock's
// page of the main page control.
class TfraDockStatus : public QFrame
{
    Q_OBJECT
public:
    explicit TfraDockStatus(QWidget* parent = nullptr);

    // The page control and the index of the page a click selects.
    void SetPageControl(QTabWidget* pages, int index);
    QTabWidget* pageControl() const { return FPageControl; }
    int pageIndex() const { return FPageIndex; }

    QGroupBox* gbDockStatus = nullptr;
    LedIndicator* ledDockConnectiontStatus = nullptr;
    LedIndicator* ledMLDetected = nullptr;
    LedIndicator* ledMLConnected = nullptr;
    LedIndicator* ledMLProcessing = nullptr;
    LedIndicator* ledBattStatus = nullptr;
    LedIndicator* ledMLCalComplete = nullptr;
    LedIndicator* ledMLFaulted = nullptr;
    QLabel* lblBatteryStatus = nullptr;

    // Where the group box draws its caption, and the caption as drawn (shortened with "..." when
    // it would run past the right border).
    QRect captionRect() const;
    QString shownCaption() const;

    // Selects the dock's page when a page control was given.
    void gbDockStatusClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTabWidget* FPageControl = nullptr;
    int FPageIndex = -1;
};

} // namespace vx8
