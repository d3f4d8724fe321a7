#pragma once

// TKor7: the protocol component of the docked Kor7 instrument. It turns operations (read the
// unit memory, set the clock, write a firmware page) into commands sent through its TKorLink,
// checks each reply, keeps the instrument's 2568-byte memory image, and reports every outcome as
// an event. Every operation that waits for the instrument is a coroutine that completes with the
// outcome (true on success) after raising the event.
//
// One command is outstanding at a time: an operation started while another waits queues behind
// it. Before each command the link's receive handler is pointed at this component, and the reply
// is gathered until the decoder has every byte it reads (a reply split across chunks is joined);
// a reply that stays short takes the failure path. A command the instrument does not answer
// within its time-out fails too (OnCommandTimeOut, then the operation's failure event).

#include "instrument/Kor7Codec.h"
#include "instrument/Kor7Memory.h"
#include "instrument/KorLink.h"

#include "common/Prompter.h"
#include "docklink/AsyncWake.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace vx8 {

class Prompter;

using TKor7Notify = std::function<void(QObject* Sender)>;
using TGotEE = std::function<void(QObject* Sender, const QByteArray& UnitData)>;
using TSlotReceived = std::function<void(QObject* Sender, const QByteArray& Data, quint8 Slot)>;
using TSlotSent = std::function<void(QObject* Sender, int Error, quint8 Slot)>;
using TErrorInSensorSlot = std::function<void(QObject* Sender, quint8 SensorSlot)>;
using TOnGotMatrixGasReading = std::function<void(QObject* Sender, const std::array<int, 7>& Readings)>;
using TOnGotKor7Counts = std::function<void(QObject* Sender, int BatteryTypeCounts, int FotoSensorCounts,
                                            int BatteryCounts, int PumpCounts, int TemperatureCounts)>;
using TGotDateTime = std::function<void(QObject* Sender, const QDateTime& ClockData)>;
using TSentRTC = std::function<void(QObject* Sender, int Error)>;
using TSentEE = std::function<void(QObject* Sender, int Error)>;
using TOnProgress = std::function<void(QObject* Sender, int Position, int Total)>;

enum class TDownloadResult
{
    ddNoError = 0,
    ddMissingData = 1,
    ddExtraData = 2,
    ddMisMatchedSession = 3
};
using TDownloadComplete = std::function<void(QObject* Sender, TDownloadResult Error)>;

class TKor7 : public QObject
{
    Q_OBJECT

public:
    // A refused or unconfirmed firmware page is sent at most this many times in all.
    static constexpr int MaxPageSends = 5;
    // A download request that gets no usable answer is repeated at most this many times.
    static constexpr int MaxDownloadRepeats = 5;
    static constexpr int MaxSessions = 60;
    static constexpr int MaxRecords = 20820;
    static constexpr int RecordSlotSize = 104;

    explicit TKor7(QObject* parent = nullptr, Prompter* prompter = nullptr);
    ~TKor7() override;

    // ---- Properties -------------------------------------------------------------------------
    TKorLink* KorLink() const { return m_link; }
    void SetKorLink(TKorLink* link) { m_link = link; }
    int CmdTimeOut() const { return m_cmdTimeOut; }
    void SetCmdTimeOut(int timeOut) { m_cmdTimeOut = timeOut; }
    int RecordsPerPacket() const { return m_recordsPerPacket; }
    void SetRecordsPerPacket(int n) { m_recordsPerPacket = n; }
    quint8 EventsPerPacket() const { return m_eventsPerPacket; }
    void SetEventsPerPacket(quint8 n) { m_eventsPerPacket = n; }
    QDateTime DateTime() const { return m_dateTime; }
    bool OnLine() const { return m_online; }
    int HandshakeState() const { return m_handshakeState; }
    QString FlashFileName() const { return m_flashFileName; }
    void SetFlashFileName(const QString& name) { m_flashFileName = name; }
    // The fixed time-outs of the handshake and the firmware commands (link encoding: seconds when
    // above 0, milliseconds when below). Defaults: ENQ 5 s, WHO and VFL 30 s, WEP 15 s, PFM 30 s.
    int EnqTimeOut() const { return m_enqTimeOut; }
    int HandshakeTimeOut() const { return m_handshakeTimeOut; }
    int PageTimeOut() const { return m_pageTimeOut; }
    int StartFlashTimeOut() const { return m_startFlashTimeOut; }
    void SetFixedTimeOuts(int enq, int handshake, int page, int startFlash)
    {
        m_enqTimeOut = enq;
        m_handshakeTimeOut = handshake;
        m_pageTimeOut = page;
        m_startFlashTimeOut = startFlash;
    }
    // How long a reply that stopped short waits for its rest before it fails (ms).
    int ReplyGapMs() const { return m_replyGapMs; }
    void SetReplyGapMs(int ms) { m_replyGapMs = ms; }

    // ---- Memory image and state -------------------------------------------------------------
    kor7::Kor7Image& EEImage() { return m_image; }
    const kor7::Kor7Image& EEImage() const { return m_image; }
    bool GetOption(int bit) const { return m_image.GetOption(bit); }
    void SetOption(int bit, bool value) { m_image.SetOption(bit, value); }
    void SetSlotFlagBit0(int slot) { m_image.SetSlotFlagBit0(slot); }
    void SetSlotFlagBit1(int slot) { m_image.SetSlotFlagBit1(slot); }
    bool SlotFlagBit1(int slot) const { return m_image.SlotFlagBit1(slot); }
    QByteArray SensorTable() const { return m_sensorTable; }
    // The table as last read ("GST"); seven type codes.
    void SetSensorTable(const QByteArray& table)
    {
        m_sensorTable = table.leftJustified(kor7::SensorTableSize, '\0', true);
    }
    QStringList& CustServScrs() { return m_screens; }
    QString InstrumentFlashVersion() const { return m_instrumentFlashVersion; }
    QString FlashFileVersion() const { return m_flashFileVersion; }
    QString FlashFileDescription() const { return m_flashFileDescription; }
    // The version texts as numbers ("." decimal separator); nothing when not a number.
    std::optional<double> FlashFileVersionValue() const { return kor7::VersionValue(m_flashFileVersion); }
    std::optional<double> InstrumentFlashVersionValue() const
    {
        return kor7::VersionValue(m_instrumentFlashVersion);
    }
    static QDateTime SecondsToDateTime(quint32 seconds) { return kor7::SecondsToDateTime(seconds); }
    static QString SecondsToText(quint32 seconds) { return kor7::SecondsToText(seconds); }

    // ---- Downloaded logs --------------------------------------------------------------------
    int EventCounter() const { return m_eventCounter; }
    // The events received (48 bytes each; event number n is element n - 1).
    const QList<QByteArray>& EventRecords() const { return m_eventRecords; }
    int SessionCounter() const { return m_sessionCounter; }
    // Header number i (1-based) is element i - 1; SessionNumbers likewise.
    const QList<QByteArray>& SessionHeaders() const { return m_sessionHeaders; }
    const QList<int>& SessionNumbers() const { return m_sessionNumbers; }
    int RecordCounter() const { return m_recordCounter; }
    int RecordCounterEffective() const { return m_recordCounterEffective; }
    // 104-byte slots indexed by record number (slot 0 unused); only slots 1..RecordCounterEffective
    // hold records of the last download.
    const QList<QByteArray>& DLRecords() const { return m_dlRecords; }

    // ---- Operations -------------------------------------------------------------------------
    // true: brings the instrument on line (connects the link through the dock, or restarts the
    // handshake ENQ, WHO, VFL when an instrument is connected); yields OnLine when it returns.
    // false: disconnects the link.
    QCoro::Task<bool> GoOnLine(bool Active);
    QCoro::Task<bool> ClearDatalogger();
    // The event logger: "CKE " then "DED " packets of EventsPerPacket until every announced event
    // arrived or the instrument answers "ECK".
    QCoro::Task<bool> DownloadEvents();
    // The session headers: "CKD " then "RSS " for the next number after the last one received
    // (the instrument may skip numbers), at most 60.
    QCoro::Task<bool> DownloadSessions(quint8 AlarmsOnly, bool Blackbox);
    // The data-logger records of session header `Session` (1-based) from `FirstRecord` on.
    QCoro::Task<bool> DownloadSessionRecords(int Session, int FirstRecord);
    QCoro::Task<bool> ClearEventLogger();
    QCoro::Task<bool> ReadInstrumentCounts();
    QCoro::Task<bool> ReadSensorCounts();
    QCoro::Task<bool> ReadGas();
    QCoro::Task<bool> ReadSensorEE(quint8 Slot);
    QCoro::Task<bool> WriteSensorEE(quint8 Slot);
    QCoro::Task<bool> ReadUnitEE();
    QCoro::Task<bool> WriteUnitEE();
    QCoro::Task<bool> ReadCustServScrs();
    QCoro::Task<bool> WriteCustServScrs();
    QCoro::Task<bool> ReadSensorTable();
    QCoro::Task<bool> ReadRTC();
    QCoro::Task<bool> SetRTC(QDateTime Value);
    // One firmware page (258 bytes: 256 + sum). Resent while refused or unconfirmed, at most
    // MaxPageSends times in all; then OnSentEEPage(1). A page outside 0–1023 or data of another
    // length is refused before anything is sent.
    QCoro::Task<bool> WriteEEPage(int Page, QByteArray Data);
    // Reads and checks an instrument firmware file (262144 bytes, type byte 15).
    bool LoadFlashFile(const QString& FileName);
    bool LoadFlashFile() { return LoadFlashFile(m_flashFileName); }
    // Sends the loaded image page by page and then "PFM". A page that cannot be sent ends the
    // programming with "Error sending Flash" before "PFM".
    QCoro::Task<bool> ProgramFlash();
    QCoro::Task<bool> StartFlashProgram();

    // ---- Events -----------------------------------------------------------------------------
    TLinkStatus OnIsOnline;
    TGotEE OnGotUnitEE;
    TKor7Notify OnSentUnitEE, OnErrorWritingUnitEE, OnErrorReadingUnitEE;
    TSlotReceived OnGotSensorEE;
    TSlotSent OnSentEE;
    TErrorInSensorSlot OnErrorReadingEE, OnErrorWritingEE;
    TKor7Notify OnGotCustServScrs, OnSentCustServScrs, OnErrorReadingCustServScrs, OnErrorWritingCustServScrs;
    TOnGotMatrixGasReading OnGotGasReading, OnGotSensorCounts;
    TOnGotKor7Counts OnGotCounts;
    TKor7Notify OnErrorReadingGas, OnErrorReadingCounts;
    TKor7Notify OnGotSensorTable, OnErrorReadingST;
    TGotDateTime OnGotRTC;
    TSentRTC OnSentRTC;
    TKor7Notify OnErrorReadingRTC, OnErrorWritingRTC;
    TKor7Notify OnDataloggerCleared, OnErrorClearingDatalogger, OnEventLoggerCleared, OnErrorClearingEvents;
    TKor7Notify OnEventsDownloaded, OnErrorDownloadingEvents;
    TOnProgress OnEvtDownloadProgress;
    TKor7Notify OnIsBlackbox, OnErrorDownloadingSessions;
    TDownloadComplete OnSessionsDownloaded;
    TOnProgress OnSessDownloadProgress;
    TDownloadComplete OnRecordsDownloaded;
    TKor7Notify OnErrorDownloadingRecords;
    TOnProgress OnRecDownloadProgress;
    TSentEE OnSentEEPage;
    TOnProgress OnFlashProgress;
    TSentEE OnProgFlashSent;
    // A command got no reply within its time-out (after the handshake; the handshake retries).
    TKor7Notify OnCommandTimeOut;

private:
    struct Exchange
    {
        enum Outcome
        {
            Replied,
            TimedOut,
            NotConnected,
            SendFailed,
            Aborted
        };
        Outcome outcome = NotConnected;
        kor7::ReplyStatus status = kor7::ReplyStatus::Invalid;
        QByteArray reply; // every byte gathered for the command
        bool ok() const { return outcome == Replied && status == kor7::ReplyStatus::Ok; }
    };
    using Decode = std::function<kor7::ReplyStatus(const QByteArray&, char)>;
    struct Pending
    {
        dock::WakePtr wake = dock::makeWake();
        Decode decode;
        QByteArray buffer;
        Exchange result;
    };

    Prompter& prompter() const;
    bool linkConnected() const;
    char expectedIndex() const;
    // Sends one command and gathers its reply.
    QCoro::Task<Exchange> transact(QByteArray request, int timeOut, Decode decode);
    void onChunk(const QByteArray& data);
    void finish(Exchange::Outcome outcome);
    void abortPending();
    void releaseCommand();
    // Raises the failure event, or shows `text` + the reply when no handler is assigned.
    template <typename F, typename... A>
    void fail(const F& event, const QString& text, const Exchange& x, A... args)
    {
        if (x.outcome == Exchange::Aborted)
            return; // the instrument left or the component is going: nobody waits for this outcome
        if (x.outcome == Exchange::TimedOut)
            timedOut(x);
        if (event) {
            F copy = event;
            copy(this, args...);
        } else if (!text.isEmpty()) {
            prompter().error(text + QString::fromLatin1(x.reply));
        }
    }
    template <typename F, typename... A> void raise(const F& event, A&&... args)
    {
        if (event) {
            F copy = event;
            copy(this, std::forward<A>(args)...);
        }
    }
    void timedOut(const Exchange& x);

    void bindLinkStatus();
    QCoro::Task<bool> handshake();
    void linkWentDown();

    Prompter* m_prompter;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QPointer<TKorLink> m_link;
    int m_cmdTimeOut = 30;
    int m_recordsPerPacket = 20;
    quint8 m_eventsPerPacket = 20;
    int m_replyGapMs = 1000;
    int m_enqTimeOut = 5;
    int m_handshakeTimeOut = 30;
    int m_pageTimeOut = 15;
    int m_startFlashTimeOut = 30;
    QDateTime m_dateTime;
    bool m_online = false;
    int m_handshakeState = 0;
    quint64 m_handshakeGeneration = 0;
    QString m_flashFileName;

    kor7::Kor7Image m_image;
    QByteArray m_sensorTable = QByteArray(kor7::SensorTableSize, '\0');
    QStringList m_screens;
    QString m_instrumentFlashVersion;
    QString m_flashFileVersion;
    QString m_flashFileDescription;
    QByteArray m_flashImage;
    bool m_flashLoaded = false;

    int m_eventCounter = 0;
    QList<QByteArray> m_eventRecords;
    int m_sessionCounter = 0;
    QList<QByteArray> m_sessionHeaders;
    QList<int> m_sessionNumbers;
    int m_recordCounter = 0;
    int m_recordCounterEffective = 0;
    QList<QByteArray> m_dlRecords;

    std::shared_ptr<Pending> m_pending;
    bool m_busy = false;
    QList<dock::WakePtr> m_queue;
    QTimer m_gapTimer;
};

} // namespace vx8
