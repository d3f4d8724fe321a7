#pragma once

// The instrument pages a dock frame hosts: the page control pgSensorData with the "Instrument"
// page (tabs General, Calibration/Bump Testing, Features, Service / Security, Custom Screens) and
// one page per sensor slot (tsO2 ... tsDuoTox, each a TfraSensor), the two instrument clock
// buttons and the live gas-reading box. Everything shown is read from the TKor7 memory image.

#include "instrument/Kor7Memory.h"

#include "docklink/DockTypes.h"

#include <QPointer>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace vx8 {

class LedIndicator;
class Prompter;
class TKor7;
class TVocList;
class TfraSensor;

// The interval texts written into an edit (also used by the instrument option view): the data-logger
// sample interval resets the edit's font to normal black first and colours "Disabled" green and
// "BlackBox" blue; the security beep only colours "Disabled". Each returns the text.
QString FormatDLInterval(QLineEdit* Edit, int Seconds, bool DataLogging);
QString FormatSecurityBeepInterval(QLineEdit* Edit, int Seconds);

class TInstrumentView : public QWidget
{
    Q_OBJECT

public:
    explicit TInstrumentView(QWidget* parent = nullptr, Prompter* prompter = nullptr);
    ~TInstrumentView() override;

    void setKor7(TKor7* kor7);
    void setVocList(const TVocList* list) { m_vocList = list; }

    // Fills the Instrument page from the unit image. While the serial number is outside
    // 2–999999999 it asks for it ("Serial Number Out of Range") and writes an entry of
    // 1–999999999 into the image, asking again until the number is valid.
    QCoro::Task<void> ShowInstrConfig();
    // Shows the page of one sensor slot (hidden for an empty slot) and starts its frame's load.
    void ShowSensorConfig(int Slot);
    // Hides every sensor page (before the slots are read again).
    void HideSensorPages();
    // The dock's live reading (element 6 − s belongs to slot s), coloured by the last dock state.
    void VexaExpressDock1xGotGasReading(TDockState LastDockState, const TGasReading& Reading);
    // The custom and service screens of the image.
    void ShowCustomScreens();

    // How the serial number is asked for: returns the text entered, or nothing when the box was
    // closed without an entry. Tests replace it; by default a window-modal input box that does not
    // stop the event loop.
    std::function<QCoro::Task<std::optional<QString>>(QString title, QString prompt)> AskSerialNumber;

    // The widgets, for the hosting frame and for tests.
    QTabWidget* pgSensorData = nullptr;
    QTabWidget* pgInstrument = nullptr;
    std::array<TfraSensor*, 7> fraSensor{};
    std::array<QWidget*, 7> sensorPage{};
    QLineEdit* edInstrSerial = nullptr;
    QLineEdit* edFirmware = nullptr;
    QLineEdit* edTurnOnTime = nullptr;
    QLineEdit* edTotalRunTime = nullptr;
    QLineEdit* edSampleInterval = nullptr;
    QLineEdit* edLastFullCal = nullptr;
    QLineEdit* edLastBump = nullptr;
    QLineEdit* edSecurityBeep = nullptr;
    QLineEdit* edCalReminder = nullptr;
    QLineEdit* edBumpReminder = nullptr;
    QLineEdit* edStel = nullptr;
    QLineEdit* edTwa = nullptr;
    QLineEdit* edServiceReminder = nullptr;
    QLineEdit* edLastService = nullptr;
    LedIndicator* ledNeedsZero = nullptr;
    LedIndicator* ledNeedsSpan = nullptr;
    LedIndicator* ledNeedsBump = nullptr;
    QCheckBox* chkCalDueLockout = nullptr;
    QCheckBox* chkPeak = nullptr;
    QCheckBox* chkAverage = nullptr;
    QCheckBox* chkStel = nullptr;
    QCheckBox* chkTwa = nullptr;
    QCheckBox* chkLatch = nullptr;
    QCheckBox* chkLargeClamp = nullptr;
    QCheckBox* chkVibrator = nullptr;
    QCheckBox* chkFreshAirCal = nullptr;
    QCheckBox* chkSelectUser = nullptr;
    std::array<QLineEdit*, 8> edScreen{};
    QPushButton* cbInstrReadTime = nullptr;
    QPushButton* cbInstrSetTime = nullptr;
    QGroupBox* gbGasReadings = nullptr;
    QLabel* lblGasReadings = nullptr;
    QLabel* lblBumpStatus = nullptr;

private:
    Prompter& prompter() const;
    void buildInstrumentPage();
    QCoro::Task<void> readTime();
    QCoro::Task<void> setTime();

    Prompter* m_prompter;
    QPointer<TKor7> m_kor7;
    const TVocList* m_vocList = nullptr;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QColor m_readingsColor;
};

} // namespace vx8
