#include "DockController.h"

#include "common/Prompter.h"
#include "common/Trace.h"

#include <QCoro/QCoroTimer>

#include <cxxabi.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <typeinfo>

using namespace std::chrono_literals;

namespace vx8 {

QString DockSerialText(quint64 serial)
{
    const QString text = QStringLiteral("%1").arg(serial, 5, 10, QLatin1Char('0'));
    return text.size() > 5 ? QStringLiteral("INVLD") : text;
}

namespace {

struct StateLine
{
    const char* text;
    bool blinks;
};

// The process-log line of each dock state and whether it makes the processing LED blink.
constexpr StateLine kStateLines[35] = {
    {"Sending ENQ", true},
    {"Checking Instrument Type", true},
    {"Reading Version Command", true},
    {"Reading Battery Voltage", false},
    {"Silencing Alarms", false},
    {"Analyzing Alarm Test", false},
    {"Standby", false},
    {"Testing Vibrating Alarm", false},
    {"Checking Fresh Air Reading", false},
    {"Preparing Fresh Air Calibration", false},
    {"Performing Fresh Air Calibration", false},
    {"Updating Clock", false},
    {"Pumping Gas", false},
    {"Purging Gas from Previous Bump Test", false},
    {"Starting Bump Test", false},
    {"Analyzing Bump Test", false},
    {"Monitoring Gas Reading", false},
    {"Retrieving UNIT Eeprom", true},
    {"Retrieving SENSOR Eeprom", false},
    {"Retrieving Sensor MAX SPAN", false},
    {"Starting Gas Calibration", false},
    {"Performing Gas Calibration", false},
    {"Updating Full Cal Date", false},
    {"Fresh Air Purge", false},
    {"Disconnected at ", false}, // + time + "..."
    {"Retrieving Gas Readings", false},
    {"Writing SENSOR Eeprom", false},
    {"Starting Instrument Pump", false},
    {"Turning on Alarms", false},
    {"Retrieving UNIT Eeprom", true},
    {"Writing UNIT Eeprom", false},
    {"Retrieving Sensor Table", false},
    {"Updating Full Cal Date", false},
    {"Testing Visual Alarm", false},
    {"Testing PID Lamp", false},
};

constexpr int Cmd_Bumping = 15;
constexpr int Cmd_Span = 20;
constexpr int Cmd_UpdtFullCallDate = 22;
constexpr int Cmd_Purge = 23;
constexpr int Cmd_Disc = 24;

QString className(const std::exception& e)
{
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
    QString text = QString::fromLatin1(status == 0 && name ? name : typeid(e).name());
    std::free(name);
    return text;
}

// Latin-1 bytes of text, cut or padded with zero bytes to size.
QByteArray fixedBytes(const QString& text, int size)
{
    QByteArray b = text.left(size).toLatin1();
    b.append(QByteArray(size - b.size(), '\0'));
    return b;
}

// A fixed-width text field up to its first zero byte.
QString fieldText(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
}

// RAII for the hourglass cursor.
class BusyCursor
{
public:
    explicit BusyCursor(DockFrameView* view) : m_view(view) { m_view->SetBusyCursor(true); }
    ~BusyCursor() { release(); }
    void release()
    {
        if (m_view) {
            m_view->SetBusyCursor(false);
            m_view = nullptr;
        }
    }

private:
    DockFrameView* m_view;
};

} // namespace

TDockController::TDockController(DockFrameView* view, Prompter* prompter, QObject* parent)
    : QObject(parent), m_view(view), m_prompter(prompter), m_worker(std::make_unique<TGenericThread>())
{
    LocalDebugString(QStringLiteral("Create"), lcFrame());
    tmrFlashUpload.setInterval(500);
    tmrFlashUpload.setSingleShot(true);
    connect(&tmrFlashUpload, &QTimer::timeout, this, &TDockController::tmrFlashUploadTimer);
    tmr_NetworkActivity.setInterval(60000);
    m_worker->Work1 = nullptr;
    m_worker->SetEnabled1(false);
    m_worker->start();
    FPing = new Pinger(this);
    FPing->setObjectName(QStringLiteral("FPing"));
}

TDockController::~TDockController()
{
    // Never destroyed under a running job: stop the worker and wait for its job to end.
    ++m_generation;
    m_worker->StopAndWait(-1);
    waitForVocLoads();
}

DockFrameSettings TDockController::settings() const
{
    return Settings ? Settings() : DockFrameSettings{};
}

void TDockController::SetStartUpDownloading(bool on)
{
    if (m_startUpDownloading == on) {
        return;
    }
    m_startUpDownloading = on;
    emit StartUpDownloadingChanged(on);
}

bool TDockController::stillCurrent(const QPointer<TDockController>& self, quint64 generation) const
{
    return !self.isNull() && generation == m_generation && m_link != nullptr;
}

void TDockController::resumeTick()
{
    m_worker->SetEnabled1(true);
}

QString TDockController::ScreenInfoText(const QString& calNow, const QString& skipCal, const QString& o2Flag)
{
    if (calNow == QLatin1String("True")) {
        QString text = QStringLiteral("Instruments Will Always Calibrate");
        if (o2Flag == QLatin1String("True")) {
            text += QStringLiteral("(Nitrogen)");
        }
        return text;
    }
    if (skipCal == QLatin1String("True")) {
        return QStringLiteral("Instruments Will NOT Calibrate");
    }
    return {};
}

void TDockController::UpdateScreenInfo(const QString& calNow, const QString& skipCal)
{
    LocalDebugString(QStringLiteral("UpdateScreenInfo"), lcFrame());
    m_view->SetInfoText(ScreenInfoText(calNow, skipCal, settings().SetO2GasCalFlag));
}

QCoro::Task<bool> TDockController::DockEnable()
{
    LocalDebugString(QStringLiteral("DockEnable"), lcFrame());
    if (!m_link) {
        co_return false;
    }
    QPointer<TDockController> self(this);
    const quint64 generation = m_generation;
    DockLinkPort* link = m_link;
    BusyCursor cursor(m_view);
    if (!link->IsEnabled()) {
        co_await link->EnableDock(true);
        if (!stillCurrent(self, generation) || m_link != link) {
            co_return false;
        }
        if (link->IsUsb()) {
            link->ClearUsbHalted();
        }
    }
    co_return link->IsEnabled();
}

// Step 9: wait up to 30 s for the dock to be free.
QCoro::Task<int> TDockController::waitForFreeDock(quint64 generation)
{
    QPointer<TDockController> self(this);
    DockLinkPort* link = m_link;
    const auto window = FreeDockWindow;
    QDeadlineTimer deadline(window);
    m_view->ShowMainStatus(1, QStringLiteral("Checking Dock Status..."));
    co_await link->EnableDock(true);
    if (!stillCurrent(self, generation)) {
        co_return -1;
    }
    bool busy = (co_await link->GetIsDockBusy()).busy;
    if (!stillCurrent(self, generation)) {
        co_return -1;
    }
    m_view->ShowMainStatus(1, QStringLiteral("Received Dock Status..."));
    qint64 lastSecond = -1;
    while (busy && !deadline.hasExpired()) {
        const qint64 s = wholeSecondsLeft(deadline, window);
        if (s != lastSecond && (s == 20 || s == 10 || s == 0)) {
            co_await link->EnableDock(true);
            if (!stillCurrent(self, generation)) {
                co_return -1;
            }
            busy = (co_await link->GetIsDockBusy()).busy;
            if (!stillCurrent(self, generation)) {
                co_return -1;
            }
            if (!busy && !link->IsEnabled()) {
                busy = true;
            }
        }
        lastSecond = s;
        if (busy && s > 10) {
            m_view->ShowMainStatus(1, QStringLiteral("Dock is Busy(Instrument Cal), Waiting to Enable ") +
                                          QString::number(s) + QStringLiteral(" sec(s)..."));
        }
        m_view->SetMainStatusBusyLook(true, true);
        if (!busy) {
            break;
        }
        co_await QCoro::sleepFor(PollInterval);
        if (!stillCurrent(self, generation)) {
            co_return -1;
        }
    }
    m_view->SetMainStatusBusyLook(false, false);
    co_return busy ? 0 : 1;
}

// Step 19: put the dock into slave mode, for up to 30 s.
QCoro::Task<int> TDockController::slaveDock(quint64 generation)
{
    QPointer<TDockController> self(this);
    DockLinkPort* link = m_link;
    const auto window = FreeDockWindow;
    SetStartUpDownloading(true);
    FStartUpCancel = false;
    QDeadlineTimer deadline(window);
    m_view->ShowMainStatus(1, QStringLiteral("Waiting to Slave Dock ") + FDockSerialText + QStringLiteral("..."));
    bool busy = (co_await link->SetDockMode(true)).busy;
    if (!stillCurrent(self, generation)) {
        co_return -1;
    }
    qint64 lastSecond = -1;
    while (busy && !deadline.hasExpired()) {
        const qint64 s = wholeSecondsLeft(deadline, window);
        const bool resend = s == 1 || s == 10 || (s >= 15 && s <= 180 && s % 5 == 0);
        if (s != lastSecond && resend) {
            busy = (co_await link->SetDockMode(true)).busy;
            if (!stillCurrent(self, generation)) {
                co_return -1;
            }
            if (!busy && !link->IsEnabled()) {
                busy = true;
            }
        }
        lastSecond = s;
        if (busy && s > 10) {
            m_view->ShowMainStatus(1, QStringLiteral("Dock is Busy(Instrument Cal), Waiting to Slave ") +
                                          QString::number(s) + QStringLiteral(" sec(s)..."));
        }
        m_view->SetMainStatusBusyLook(true, true);
        if (!busy) {
            break;
        }
        co_await QCoro::sleepFor(PollInterval);
        if (!stillCurrent(self, generation)) {
            co_return -1;
        }
    }
    m_view->SetMainStatusBusyLook(false, true); // the font stays bold
    co_return busy ? 0 : 1;
}

qint64 TDockController::wholeSecondsLeft(const QDeadlineTimer& deadline, std::chrono::milliseconds window)
{
    // The waits are 30 s windows; a shorter window (tests) is counted in the same 30 seconds.
    const qint64 left = qMax<qint64>(0, deadline.remainingTime());
    const qint64 span = qMax<qint64>(1, window.count());
    return left * 30000 / span / 1000;
}

QCoro::Task<bool> TDockController::DockStartUp(bool enable, const QString& flashFileName, int pageIndex)
{
    QPointer<TDockController> self(this);
    const quint64 generation = ++m_generation;
    bool result = false;
    try {
        result = co_await startUp(generation, enable, flashFileName, pageIndex);
    } catch (const std::exception& e) {
        if (self) {
            m_prompter->error(className(e) + QStringLiteral(" DockStartUp ") + QString::fromLocal8Bit(e.what()));
        }
        result = false;
    }
    co_return result;
}

QCoro::Task<bool> TDockController::startUp(quint64 generation, bool enable, const QString& flashFileName,
                                           int pageIndex)
{
    QPointer<TDockController> self(this);
    const DockFrameSettings s = settings();

    // 1-5
    LocalDebugString(QStringLiteral("DockStartUp"), lcFrame());
    StartUpBegan = QDateTime::currentDateTime();
    BusyCursor cursor(m_view);
    LoadVocList();
    m_view->ApplySoftwareType(s.SoftwareType);
    FFrameActive = true;
    FDockFirmware = QStringLiteral("N/A");
    gDockStartUpCompleted = false;
    FRestartState = 3;
    FPageIndex = pageIndex;
    FFlashFileName = flashFileName;
    m_view->PrepareForStartUp();
    tmr_NetworkActivity.setInterval(qMax(1, s.NetworkVerificationInMinutes) * 60000);
    FRemovedShown = 0;
    FMemoryDownload = false;
    UpdateScreenInfo(s.CalNow, s.SkipCal);

    if (!m_link) {
        co_return false;
    }
    DockLinkPort* link = m_link;

    // 6: a network dock is named from its definition by address.
    if (!link->IsUsb() && !link->EthernetAddress().isEmpty()) {
        FEthernetAddress = link->EthernetAddress();
        if (GetDockDescriptionByAddress) {
            FDockDescription = GetDockDescriptionByAddress(FEthernetAddress).alias;
        }
        m_view->SetStatusFrameHint(FDockDescription);
        m_view->SetFrameStatusHint(QStringLiteral("Ethernet Address: ") + FEthernetAddress);
    }

    // 7: an off-line network dock stays a frame; the network supervision retries later.
    if (!enable) {
        cursor.release();
        tmr_NetworkActivity.start();
        co_return false;
    }

    // 8
    FPingResult = 2;
    m_view->SetLedOn(FrameLed::DockConnectionStatus, true);
    m_view->SetLedColor(FrameLed::DockConnectionStatus, Qt::green);
    m_view->SetLedBlinking(FrameLed::DockConnectionStatus, false);

    // 9
    const int free = co_await waitForFreeDock(generation);
    if (free < 0) {
        co_return false;
    }
    if (free == 0) {
        SetStartUpDownloading(false);
        gDockStartUpCompleted = false;
        co_return false;
    }

    // 10: up to two attempts to read the configuration.
    m_view->ShowMainStatus(1, QStringLiteral("Dock Enabled..."));
    bool succeeded = false;
    m_configRead = false;
    for (int attempt = 1; attempt <= 2 && link->IsEnabled() && !m_configRead; ++attempt) {
        if (attempt > 1) {
            m_view->ShowMainStatus(0, QStringLiteral("Initializing Dock Retry ") + QString::number(attempt));
            co_await QCoro::sleepFor(RetryPause);
            if (!stillCurrent(self, generation)) {
                co_return false;
            }
        }
        link->SetCommandTimeOut(s.DockTimeout * 1000);
        m_view->PrepareConfigurationRead(s.SoftwareType == SoftwareType::Shop || s.SoftwareType == SoftwareType::QC);
        FDockSerial = 0;
        m_view->ShowMainStatus(1, QStringLiteral("Reading Configuration from Dock"));
        const bool read = co_await link->GetConfiguration();
        if (!stillCurrent(self, generation)) {
            co_return false;
        }
        if (!read) {
            continue;
        }
        m_configRead = true;
        const int outcome = co_await configuredSteps(generation, s);
        if (outcome < 0) {
            co_return false; // ended early (protocol, slave, frame gone)
        }
        succeeded = outcome == 1;
    }

    // 21
    gDockStartUpCompleted = true;
    if (!succeeded) {
        if (link->IsUsb()) {
            m_prompter->error(QStringLiteral("Connection Error: A USB dock could not be enabled. Check the status for all "
                                             "USB connected docks and try again."));
        } else {
            m_prompter->error(QStringLiteral("Connection Error: The dock with address ") + link->EthernetAddress() +
                              QStringLiteral(" could not be enabled! Check the dock status and try again."));
        }
        if (!self) {
            co_return false;
        }
    } else {
        StartUpCompleted = QDateTime::currentDateTime();
    }
    cursor.release();
    LocalDebugString(QStringLiteral("DockStartUp END"), lcFrame());
    co_return succeeded;
}

// Steps 11 to 20, after the configuration was read. 1 succeeded, -1 the start-up ends with False.
QCoro::Task<int> TDockController::configuredSteps(quint64 generation, const DockFrameSettings& s)
{
    QPointer<TDockController> self(this);
    DockLinkPort* link = m_link;

    // 11
    FDockSerial = link->ConfigSerialNumber();
    const quint16 firmware = link->ConfigFirmwareVersion();
    FDockFirmware = QStringLiteral("%1.%2").arg(firmware / 100).arg(firmware % 100, 2, 10, QLatin1Char('0'));
    m_view->ShowMainStatus(1, QStringLiteral("Received Configuration  for Dock ") + DockSerialText(FDockSerial));

    // 12: protocol check.
    const quint8 protocol = link->ConfigProtocolVersion();
    if (protocol > 1 && firmware >= 729) {
        m_prompter->error(QStringLiteral("The firmware in dock ") + DockSerialText(FDockSerial) +
                          QStringLiteral(" is incompatible with the ") + QStringLiteral("Quorra Vexa Express") +
                          QStringLiteral(" PC software (Protocol Version mismatch [Dock: ") + QString::number(protocol) +
                          QStringLiteral(" PC: ") + QString::number(ProgramProtocolVersion) +
                          QStringLiteral("]).  Please visit ") + DownloadAddress +
                          QStringLiteral(" for an PC software upgrade or contact ") + QStringLiteral("Stravik") +
                          QStringLiteral("."));
        if (!stillCurrent(self, generation)) {
            co_return -1;
        }
        if (s.SoftwareType != SoftwareType::Shop) {
            gDockStartUpCompleted = false;
            co_return -1; // the start-up's cursor guard restores the cursor

        }
    }

    // 13: the e-mail settings are always supplied by the PC.
    if (link->GetDockSetting(DockSetting::Enable_Emailing) || s.EmailEnabled) {
        link->SetDockSetting(DockSetting::Enable_Emailing, s.EmailEnabled);
        if (s.EmailEnabled) {
            std::array<quint8, 4> smtp{};
            for (int i = 0; i < 4; ++i) {
                smtp[i] = quint8(qBound(0, s.SmtpAddress[i], 255));
            }
            link->SetConfigEmail(smtp, fixedBytes(s.EmailRecipient, 50), fixedBytes(s.EmailMessageText, 50));
        }
        co_await link->WriteConfiguration();
        if (!stillCurrent(self, generation)) {
            co_return -1;
        }
        if (DockConfigUpdated) {
            DockConfigUpdated();
        }
        m_view->ShowMainStatus(1, QStringLiteral("Updating Email Settings on Dock ") + DockSerialText(FDockSerial));
    }

    // 14
    m_view->SetLedOn(FrameLed::ACPower, true);
    m_view->SetLedHint(FrameLed::ACPower, QStringLiteral("Dock Power: AC Adaptor"));
    FDockSerialText = DockSerialText(FDockSerial);

    // 15: a serial out of range is asked for; a valid entry goes into the record in memory.
    if (FDockSerial == 0 || FDockSerial > 99999) {
        std::optional<QString> entry;
        if (InputBox) {
            entry = InputBox(QStringLiteral("Dock Serial Number Out of Range"),
                             QStringLiteral("Please enter the Dock Serial Number and then send the configuration to the Dock"),
                             QStringLiteral("00000"));
        }
        if (!stillCurrent(self, generation)) {
            co_return -1;
        }
        if (entry) {
            bool isInt = false;
            const qlonglong value = entry->trimmed().toLongLong(&isInt);
            if (isInt && value >= 1 && value <= 99999) {
                link->SetConfigSerialNumber(quint32(value));
            } else if (isInt) {
                m_prompter->error(QStringLiteral(
                    "Invalid Dock Serial Number! Please restart the program to enter the correct serial number"));
                if (!stillCurrent(self, generation)) {
                    co_return -1;
                }
            }
        }
    }

    // 16: the dock name from its definition.
    m_view->SetDockPageCaption(QStringLiteral("Dock"));
    DockDescriptionInfo def;
    if (GetDockDescriptionBySerial) {
        def = GetDockDescriptionBySerial(FDockSerialText);
    }
    FDockDescription = def.alias;
    const QString stored = fieldText(link->ConfigDockDescription().left(24)).trimmed();
    const QString alias24 = def.alias.left(24).trimmed();
    if (!def.alias.isEmpty() && alias24 != stored && def.updateDockName) {
        link->SetConfigDockDescription(fixedBytes(def.alias.left(24), 24));
        co_await link->WriteConfiguration();
        if (!stillCurrent(self, generation)) {
            co_return -1;
        }
        if (DockConfigUpdated) {
            DockConfigUpdated();
        }
    } else if (def.alias.isEmpty() && def.updateDockName) {
        link->SetConfigDockDescription(QByteArray(24, '\0'));
        co_await link->WriteConfiguration();
        if (!stillCurrent(self, generation)) {
            co_return -1;
        }
        if (DockConfigUpdated) {
            DockConfigUpdated();
        }
    } else if (def.alias.isEmpty() && !stored.isEmpty()) {
        FDockDescription = stored;
    }

    // 17: captions.
    if (FDockDescription.isEmpty()) {
        const QString caption = QStringLiteral("Dock (") + FDockSerialText + QStringLiteral(")");
        m_view->SetDockTab(caption, FDockDescription);
        m_view->SetStatusFrameCaption(caption);
    } else {
        m_view->SetDockTab(FDockDescription + QStringLiteral(" (") + FDockSerialText + QStringLiteral(")"),
                           FDockDescription);
        m_view->SetStatusFrameCaption(FDockDescription.left(30).trimmed() + QStringLiteral(" (") + FDockSerialText +
                                      QStringLiteral(")"));
    }
    m_view->SetStatusFrameHint(FDockDescription);
    m_view->SetDockPageHint(FDockDescription);

    // 18: the dock's clock from the PC's.
    m_view->ShowMainStatus(1, QStringLiteral("Updating Clock on Dock ") + FDockSerialText);
    const QDateTime now = QDateTime::currentDateTime();
    const bool clockSet = co_await link->SetDateTime(now);
    if (!stillCurrent(self, generation)) {
        co_return -1;
    }
    if (clockSet) {
        m_view->ShowMainStatus(1, QStringLiteral("Dock ") + FDockSerialText + QStringLiteral(" Time Updated at ") +
                                      s.FormatDateTime(now));
    } else {
        m_view->ShowMainStatus(1, QStringLiteral("Dock ") + FDockSerialText + QStringLiteral(" Time Updated Failed!!"));
    }
    FShutDownDone = false;

    // 19
    const int slaved = co_await slaveDock(generation);
    if (slaved < 0) {
        co_return -1;
    }
    if (slaved == 0) {
        SetStartUpDownloading(false);
        gDockStartUpCompleted = false;
        co_return -1;
    }

    // 20
    m_view->ShowMainStatus(1, QStringLiteral("Dock is Slaved..."));
    m_view->ShowMainStatus(1, QStringLiteral("Displaying Configuration for Dock ") + FDockSerialText);
    if (ShowDockConfiguration) {
        ShowDockConfiguration();
    }
    m_view->ShowFrameAndSelectTab(FPageIndex);
    if (HideSplash) {
        HideSplash();
    }
    m_view->ShowMainStatus(1, QStringLiteral("Checking Dock ") + FDockSerialText + QStringLiteral(" for Test Records..."));
    if (DockDownload) {
        co_await DockDownload();
        if (!stillCurrent(self, generation)) {
            co_return -1;
        }
    }
    tmrFlashUpload.start();
    FViaEthernet = !link->IsUsb();
    m_view->ShowFrameStatus(1, FViaEthernet ? QStringLiteral("ETHERNET") : QStringLiteral("USB"));
    if (UpdateDockInfo) {
        if (FViaEthernet) {
            UpdateDockInfo(FDockSerialText, link->EthernetAddress(), true, true, FDockDescription);
        } else {
            const auto ip = link->ConfigIPAddress();
            const QString address = QStringLiteral("%1.%2.%3.%4")
                                        .arg(ip[0], 3, 10, QLatin1Char('0'))
                                        .arg(ip[1], 3, 10, QLatin1Char('0'))
                                        .arg(ip[2], 3, 10, QLatin1Char('0'))
                                        .arg(ip[3], 3, 10, QLatin1Char('0'));
            UpdateDockInfo(FDockSerialText, address, false, link->GetDockSetting(DockSetting::EthernetInstalled),
                           FDockDescription);
        }
    }
    if (FViaEthernet && FFrameActive) {
        tmr_NetworkActivity.start();
    }
    FRestartState = 0;
    co_return 1;
}

void TDockController::tmrFlashUploadTimer()
{
    tmrFlashUpload.stop();
    LocalDebugString(QStringLiteral("tmrFlashUploadTimer"), lcFrame());
    if (!FirmwareCheck) {
        SetStartUpDownloading(false);
        return;
    }
    QPointer<TDockController> self(this);
    auto task = [](QPointer<TDockController> self, std::function<QCoro::Task<void>()> check) -> QCoro::Task<void> {
        co_await check();
        if (self) {
            self->SetStartUpDownloading(false);
        }
    };
    // Runs on; the check clears the flag itself, and this makes sure it is cleared at its end.
    task(self, FirmwareCheck);
}

QString TDockController::DockStateText(int state)
{
    if (state < 0 || state > 34) {
        return {};
    }
    return QString::fromLatin1(kStateLines[state].text);
}

void TDockController::addLogAndLastAction(const QString& line)
{
    m_view->AddLogLine(line);
    m_view->ShowFrameStatus(0, QStringLiteral("Last Action: ") + m_view->LastLogLine());
}

void TDockController::VexaExpressDock1xStateChange(int state)
{
    LocalDebugString(QStringLiteral("VexaExpressDock1xStateChange"), lcFrame());
    if (!FFrameActive || !gDockStartUpCompleted) {
        return;
    }
    FLastDockState = quint8(state);
    const DockFrameSettings s = settings();
    if (state >= 0 && state <= 34) {
        QString line = DockStateText(state);
        switch (state) {
        case Cmd_Bumping:
            m_view->SetGasReadingStatus(QStringLiteral("Analyzing Bump"), Qt::black, QString());
            break;
        case Cmd_Span:
            m_view->SetGasReadingStatus(QStringLiteral("Cal Needed"), Qt::red,
                                        QStringLiteral("Bump Test Failed - Calibration Needed"));
            break;
        case Cmd_UpdtFullCallDate:
            m_view->SetGasReadingStatus(QStringLiteral("Cal Completed"), Qt::darkGreen,
                                        QStringLiteral("Calibration Completed Successfully"));
            break;
        case Cmd_Purge:
            m_view->SetGasReadingStatus(QStringLiteral("Purging"), Qt::black, QStringLiteral("Fresh Air Purge"));
            break;
        case Cmd_Disc:
            FInstrumentOnline = false;
            line += QTime::currentTime().toString(s.FormatSettings.timeFormat(QLocale::ShortFormat)) +
                    QStringLiteral("...");
            break;
        default:
            break;
        }
        m_view->AddLogLine(line);
        if (state == Cmd_UpdtFullCallDate && O2NeedsNitrogenCal && O2NeedsNitrogenCal()) {
            m_view->AddLogLine(QStringLiteral("WARNING: O2 Needs Nitrogen Gas Calibration.  Full Cal Date will NOT be "
                                              "Updated until performed!!!!!!"));
        }
        if (kStateLines[state].blinks) {
            m_view->SetLedOn(FrameLed::MLProcessing, true);
            m_view->SetLedBlinking(FrameLed::MLProcessing, true);
        }
        if (state == Cmd_Disc) {
            m_view->SetLedOn(FrameLed::MLProcessing, false);
            m_view->SetLedBlinking(FrameLed::MLProcessing, false);
            m_view->SetLedOn(FrameLed::MLConnected, false);
            m_view->SetGasReadingStatus(QStringLiteral("Purge Complete"), Qt::black,
                                        QStringLiteral("Fresh Air Purge Complete"));
            if (s.SoftwareType == SoftwareType::FlashOnly || s.SoftwareType == SoftwareType::DownloadAndFlashOnly) {
                FIdle = true;
            } else if (MakeDatabaseUpdateJob) {
                m_worker->StartWork2(QStringLiteral("thUpdateDatabase"), MakeDatabaseUpdateJob());
                m_view->AddLogLine(QStringLiteral("Database Update Task Started..."));
            } else {
                FIdle = true;
            }
        }
    }
    // Also for states above 34, which add no line; an empty log gives an empty last line.
    m_view->ShowFrameStatus(0, QStringLiteral("Last Action: ") + m_view->LastLogLine());
}

void TDockController::VexaExpressDock1xDeviceInRange()
{
    LocalDebugString(QStringLiteral("VexaExpressDock1xDeviceInRange"), lcFrame());
    if (!FFrameActive) {
        return;
    }
    FIdle = false;
    if (!FMemoryDownload) {
        FTestCompleted = false;
    }
    FTestState = TestState::isDetected;
    resumeTick();
}

void TDockController::VexaExpressDock1xInstrumentConnected()
{
    LocalDebugString(QStringLiteral("VexaExpressDock1xInstrumentConnected"), lcFrame());
    if (!FFrameActive) {
        return;
    }
    FTestState = TestState::isConnected;
    FIdle = false;
    if (!FMemoryDownload) {
        FTestCompleted = false;
    }
    resumeTick();
}

void TDockController::VexaExpressDock1xDeviceRemoved()
{
    LocalDebugString(QStringLiteral("VexaExpressDock1xDeviceRemoved"), lcFrame());
    if (!FFrameActive) {
        return;
    }
    FTestState = TestState::isRemoved;
    resumeTick();
}

void TDockController::VexaExpressDock1DeviceInserted(int instState)
{
    LocalDebugString(QStringLiteral("VexaExpressDock1DeviceInserted"), lcFrame());
    FInsertStatus = quint8(instState);
    FTestState = TestState::isInserted;
    resumeTick();
}

void TDockController::VexaExpressDock1xFailedToConnect()
{
    LocalDebugString(QStringLiteral("VexaExpressDock1xFailedToConnect"), lcFrame());
    if (!FFrameActive) {
        return;
    }
    m_view->SetLedOn(FrameLed::MLFaulted, true);
    m_view->SetLedBlinking(FrameLed::MLFaulted, false);
    addLogAndLastAction(QStringLiteral("Instrument Failed to Connect"));
    if (PlayFaultSound) {
        PlayFaultSound();
    }
}

void TDockController::VexaExpressDock1xCmdTimeOut()
{
    LocalDebugString(QStringLiteral("VexaExpressDock1xCmdTimeOut"), lcFrame());
}

void TDockController::USBDevice1DebugOnPipeData(int channel, int bytes)
{
    m_view->ShowFrameStatus(2, (FViaEthernet ? QStringLiteral("Data on Ethernet CH ") : QStringLiteral("Data on USB CH ")) +
                                   QString::number(channel) + QStringLiteral(" Bytes=") + QString::number(bytes));
    FDataSeen = true;
}

} // namespace vx8
