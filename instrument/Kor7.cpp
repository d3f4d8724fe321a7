#include "instrument/Kor7.h"

#include "common/Prompter.h"
#include "common/Trace.h"

#include <QFile>

#include <qcoro/qcorotimer.h>

#include <chrono>

namespace vx8 {

using namespace std::chrono_literals;
using kor7::ReplyStatus;

namespace {
void trace(const QString& text)
{
    LocalDebugString(text, lcInstr());
}
} // namespace

TKor7::TKor7(QObject* parent, Prompter* prompter) : QObject(parent), m_prompter(prompter)
{
    m_gapTimer.setSingleShot(true);
    connect(&m_gapTimer, &QTimer::timeout, this, [this] { finish(Exchange::Replied); });
}

TKor7::~TKor7()
{
    *m_alive = false;
    if (m_pending)
        dock::wake(m_pending->wake, false);
    for (const auto& w : std::as_const(m_queue))
        dock::wake(w, false);
    if (m_link) {
        m_link->OnReceiveMsg = nullptr;
        m_link->OnTimeOut = nullptr;
        m_link->OnSendFailed = nullptr;
        m_link->OnLinkUp = nullptr;
        m_link->OnLinkDown = nullptr;
    }
}

Prompter& TKor7::prompter() const
{
    return m_prompter ? *m_prompter : Prompter::instance();
}

bool TKor7::linkConnected() const
{
    return m_link && m_link->Connected();
}

char TKor7::expectedIndex() const
{
    return (m_link && m_link->CheckReplyIndex()) ? m_link->MessageIndex() : kor7::AnyIndex;
}

// ---- One command -----------------------------------------------------------------------------

QCoro::Task<TKor7::Exchange> TKor7::transact(QByteArray request, int timeOut, Decode decode)
{
    auto alive = m_alive;
    Exchange none;
    if (!linkConnected())
        co_return none;
    if (m_busy) {
        auto turn = dock::makeWake();
        m_queue.append(turn);
        const bool go = co_await dock::awaitWake(turn);
        if (!*alive || !go) {
            none.outcome = Exchange::Aborted;
            co_return none;
        }
        if (!linkConnected()) {
            releaseCommand();
            co_return none;
        }
    }
    m_busy = true;

    auto pending = std::make_shared<Pending>();
    pending->decode = std::move(decode);
    m_pending = pending;
    // Bound before the send: the reply may come back before SendMsg has returned.
    m_link->OnReceiveMsg = [this, alive](QObject*, const QByteArray& data) {
        if (*alive)
            onChunk(data);
    };
    m_link->OnTimeOut = [this, alive](QObject*, quint16) {
        if (*alive)
            finish(Exchange::TimedOut);
    };
    m_link->OnSendFailed = [this, alive](QObject*) {
        if (*alive)
            finish(Exchange::SendFailed);
    };
    if (!m_link->SendMsg(request, timeOut))
        finish(Exchange::SendFailed);

    co_await dock::awaitWake(pending->wake);
    if (!*alive) {
        none.outcome = Exchange::Aborted;
        co_return none;
    }
    Exchange result = pending->result;
    if (m_pending == pending)
        m_pending.reset();
    releaseCommand();
    co_return result;
}

void TKor7::releaseCommand()
{
    m_busy = false;
    if (!m_queue.isEmpty()) {
        m_busy = true; // handed straight to the next in line
        dock::wake(m_queue.takeFirst(), true);
    }
}

void TKor7::onChunk(const QByteArray& data)
{
    const auto p = m_pending;
    if (!p || p->wake->fired)
        return;
    p->buffer.append(data);
    const ReplyStatus s = p->decode(p->buffer, expectedIndex());
    p->result.status = s;
    switch (s) {
    case ReplyStatus::Ok:
    case ReplyStatus::Nak:
    case ReplyStatus::Eck:
        finish(Exchange::Replied);
        return;
    case ReplyStatus::Short:
    case ReplyStatus::Invalid:
    case ReplyStatus::WrongIndex:
        // The rest may still come (a reply split across chunks); if not, it fails as it stands.
        m_gapTimer.start(m_replyGapMs);
        return;
    }
}

void TKor7::finish(Exchange::Outcome outcome)
{
    const auto p = m_pending;
    if (!p || p->wake->fired)
        return;
    m_gapTimer.stop();
    if (m_link)
        m_link->StopReplyTimer();
    p->result.outcome = outcome;
    p->result.reply = p->buffer;
    if (outcome == Exchange::Replied && p->result.status != ReplyStatus::Ok)
        trace(QStringLiteral("Reply refused (%1): %2")
                  .arg(kor7::replyStatusName(p->result.status), QString::fromLatin1(p->buffer.toHex(' '))));
    dock::wake(p->wake, true);
}

void TKor7::abortPending()
{
    finish(Exchange::Aborted);
}

void TKor7::timedOut(const Exchange&)
{
    trace(QStringLiteral("No reply from the instrument within the command time-out"));
    raise(OnCommandTimeOut);
}

// ---- On line ---------------------------------------------------------------------------------

void TKor7::bindLinkStatus()
{
    auto alive = m_alive;
    m_link->OnLinkUp = [this, alive](QObject*, bool status) {
        if (!*alive)
            return;
        if (status)
            QCoro::connect(handshake(), this, [](bool) {});
        else
            linkWentDown();
    };
    m_link->OnLinkDown = [this, alive](QObject*, bool status) {
        if (!*alive)
            return;
        if (status)
            prompter().warn(QStringLiteral("Unexpected Event!"));
        else
            linkWentDown();
    };
}

void TKor7::linkWentDown()
{
    trace(QStringLiteral("Instrument off line"));
    ++m_handshakeGeneration; // ends a handshake in progress
    m_online = false;
    abortPending();
    raise(OnIsOnline, false);
}

QCoro::Task<bool> TKor7::GoOnLine(bool Active)
{
    trace(QStringLiteral("GoOnLine"));
    if (!Active) {
        if (linkConnected())
            m_link->Disconnect();
        co_return false;
    }
    if (!m_link) {
        prompter().error(QStringLiteral("No KorLink Assigned!"));
        co_return false;
    }
    if (!m_link->Connected()) {
        // The handshake starts when the dock reports the instrument connected.
        m_link->SetInstrumentType(TKorType::tpKor7);
        bindLinkStatus();
        auto alive = m_alive;
        co_await m_link->Connect(0);
        if (!*alive)
            co_return false;
        co_return m_online;
    }
    bindLinkStatus();
    co_return co_await handshake();
}

QCoro::Task<bool> TKor7::handshake()
{
    auto alive = m_alive;
    const quint64 generation = ++m_handshakeGeneration;
    auto current = [&] { return *alive && generation == m_handshakeGeneration; };
    // A command still waiting belongs to the instrument before: its reply would be taken for
    // the handshake's.
    abortPending();
    m_online = false;
    m_handshakeState = 0;
    Exchange x;
    while (current() && linkConnected()) {
        switch (m_handshakeState) {
        case 0: {
            x = co_await transact(kor7::requestEnq(), m_enqTimeOut,
                                  [](auto& r, char i) { return kor7::decodeAck(r, i).status; });
            if (!current())
                co_return false;
            if (x.ok()) {
                m_handshakeState = 2;
                continue;
            }
            break;
        }
        case 2: {
            kor7::WhoReply who;
            x = co_await transact(kor7::requestWho(), m_handshakeTimeOut,
                                  [&who](const QByteArray& r, char i) {
                                      who = kor7::decodeWho(r, i);
                                      return who.status;
                                  });
            if (!current())
                co_return false;
            if (x.ok()) {
                if (!who.typeMatches) {
                    prompter().error(QStringLiteral("Wrong instrument type, disconnecting!"));
                    m_link->Disconnect();
                    co_return false;
                }
                m_handshakeState = 1;
                continue;
            }
            break;
        }
        case 1: {
            kor7::FlashVersionReply vfl;
            x = co_await transact(kor7::requestFlashVersion(), m_handshakeTimeOut,
                                  [&vfl](const QByteArray& r, char i) {
                                      vfl = kor7::decodeFlashVersion(r, i);
                                      return vfl.status;
                                  });
            if (!current())
                co_return false;
            if (x.ok()) {
                m_instrumentFlashVersion = vfl.version;
                m_online = true;
                trace(QStringLiteral("On line, firmware %1").arg(m_instrumentFlashVersion));
                raise(OnIsOnline, true);
                co_return true;
            }
            break;
        }
        }
        // No acceptable answer: start again from ENQ, from state 0, so that a late reply can
        // never be taken for the answer to the next step.
        if (x.outcome == Exchange::NotConnected || x.outcome == Exchange::Aborted)
            co_return false;
        m_handshakeState = 0;
        if (x.outcome != Exchange::TimedOut) {
            co_await QCoro::sleepFor(1s); // a refusal: pace the retries
            if (!current())
                co_return false;
        }
    }
    co_return false;
}

// ---- Memory ----------------------------------------------------------------------------------

QCoro::Task<bool> TKor7::ReadUnitEE()
{
    trace(QStringLiteral("ReadUnitEE"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorReadingUnitEE, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestReadUnitMemory(), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeUnitMemory(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        const QByteArray unit = kor7::decodeUnitMemory(x.reply, kor7::AnyIndex).data;
        m_image.setUnitBytes(unit);
        raise(OnGotUnitEE, unit);
        co_return true;
    }
    fail(OnErrorReadingUnitEE, QStringLiteral("Error Reading Unit EE, Data="), x);
    co_return false;
}

QCoro::Task<bool> TKor7::WriteUnitEE()
{
    trace(QStringLiteral("WriteUnitEE"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorWritingUnitEE, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestWriteUnitMemory(m_image.unitBytes()), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeAck(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        raise(OnSentUnitEE);
        co_return true;
    }
    fail(OnErrorWritingUnitEE, QStringLiteral("Error Writing Unit EE, Data="), x);
    co_return false;
}

QCoro::Task<bool> TKor7::ReadSensorEE(quint8 Slot)
{
    trace(QStringLiteral("ReadSensorEE %1").arg(Slot));
    auto alive = m_alive;
    if (!linkConnected() || Slot >= kor7::SensorSlotCount) {
        fail(OnErrorReadingEE, QString(), Exchange{}, Slot);
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestReadSensorSlot(Slot), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeSensorSlot(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        const QByteArray data = kor7::decodeSensorSlot(x.reply, kor7::AnyIndex).data;
        m_image.setSlotBytes(Slot, data);
        raise(OnGotSensorEE, data, Slot);
        co_return true;
    }
    fail(OnErrorReadingEE, QStringLiteral("Error Reading EE, Data="), x, Slot);
    co_return false;
}

QCoro::Task<bool> TKor7::WriteSensorEE(quint8 Slot)
{
    trace(QStringLiteral("WriteSensorEE %1").arg(Slot));
    auto alive = m_alive;
    if (!linkConnected() || Slot >= kor7::SensorSlotCount) {
        fail(OnErrorWritingEE, QString(), Exchange{}, Slot);
        co_return false;
    }
    const Exchange x =
        co_await transact(kor7::requestWriteSensorSlot(Slot, m_image.slotBytes(Slot)), m_cmdTimeOut,
                          [](auto& r, char i) { return kor7::decodeAck(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        raise(OnSentEE, 0, Slot);
        co_return true;
    }
    fail(OnErrorWritingEE, QStringLiteral("Error Writing EE, Data="), x, Slot);
    co_return false;
}

QCoro::Task<bool> TKor7::ReadCustServScrs()
{
    trace(QStringLiteral("ReadCustServScrs"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorReadingCustServScrs, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestReadScreens(), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeScreens(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        const QByteArray data = kor7::decodeScreens(x.reply, kor7::AnyIndex).data;
        m_image.setScreenBytes(data);
        m_screens = kor7::decodeScreenTexts(data);
        raise(OnGotCustServScrs);
        co_return true;
    }
    fail(OnErrorReadingCustServScrs, QStringLiteral("Error Reading Custom Screens, Data="), x);
    co_return false;
}

QCoro::Task<bool> TKor7::WriteCustServScrs()
{
    trace(QStringLiteral("WriteCustServScrs"));
    auto alive = m_alive;
    const auto bytes = kor7::encodeScreens(m_screens);
    if (!bytes) {
        prompter().error(QStringLiteral("Error: There are not 8 Customer and Service Screens in list"));
        raise(OnErrorWritingCustServScrs);
        co_return false;
    }
    if (!linkConnected()) {
        fail(OnErrorWritingCustServScrs, QString(), Exchange{});
        co_return false;
    }
    m_image.setScreenBytes(*bytes);
    const Exchange x = co_await transact(kor7::requestWriteScreens(m_image.screenBytes()), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeAck(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        raise(OnSentCustServScrs);
        co_return true;
    }
    fail(OnErrorWritingCustServScrs, QStringLiteral("Error Writing Custom Screens, Data="), x);
    co_return false;
}

QCoro::Task<bool> TKor7::ReadSensorTable()
{
    trace(QStringLiteral("ReadSensorTable"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorReadingST, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestSensorTable(), m_cmdTimeOut, [](auto& r, char i) {
        return kor7::decodeSensorTable(r, i).status;
    });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        m_sensorTable = kor7::decodeSensorTable(x.reply, kor7::AnyIndex).data;
        raise(OnGotSensorTable);
        co_return true;
    }
    fail(OnErrorReadingST, QStringLiteral("Error Reading Sensor Table, Data="), x);
    co_return false;
}

// ---- Clock -----------------------------------------------------------------------------------

QCoro::Task<bool> TKor7::ReadRTC()
{
    trace(QStringLiteral("ReadRTC"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorReadingRTC, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestReadClock(), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeClock(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        m_dateTime = kor7::SecondsToDateTime(kor7::decodeClock(x.reply, kor7::AnyIndex).seconds);
        raise(OnGotRTC, m_dateTime);
        co_return true;
    }
    fail(OnErrorReadingRTC, QStringLiteral("Error Reading RTC, Data="), x);
    co_return false;
}

QCoro::Task<bool> TKor7::SetRTC(QDateTime Value)
{
    trace(QStringLiteral("SetRTC"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorWritingRTC, QString(), Exchange{});
        co_return false;
    }
    m_dateTime = Value;
    if (Value < kor7::InstrumentEpoch())
        LocalDebugString(
            QStringLiteral("SetRTC: %1 is before 2000; the instrument clock is set to 2000-01-01")
                .arg(Value.toString(Qt::ISODate)),
            lcInstr());
    const Exchange x = co_await transact(kor7::requestSetClock(kor7::DateTimeToSeconds(Value)), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeAck(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        raise(OnSentRTC, 0);
        co_return true;
    }
    fail(OnErrorWritingRTC, QStringLiteral("Error Sending RTC, Data="), x);
    co_return false;
}

// ---- Counts and readings ---------------------------------------------------------------------

QCoro::Task<bool> TKor7::ReadInstrumentCounts()
{
    trace(QStringLiteral("ReadInstrumentCounts"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorReadingCounts, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestInstrumentCounts(), m_cmdTimeOut, [](auto& r, char i) {
        return kor7::decodeInstrumentCounts(r, i).status;
    });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        const auto c = kor7::decodeInstrumentCounts(x.reply, kor7::AnyIndex);
        raise(OnGotCounts, c.batteryType, c.fotoSensor, c.battery, c.pump, c.temperature);
        co_return true;
    }
    fail(OnErrorReadingCounts, QStringLiteral("Error Getting Counts, Data="), x);
    co_return false;
}

QCoro::Task<bool> TKor7::ReadSensorCounts()
{
    trace(QStringLiteral("ReadSensorCounts"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorReadingCounts, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestSensorCounts(), m_cmdTimeOut, [](auto& r, char i) {
        return kor7::decodeSensorCounts(r, i).status;
    });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        const auto c = kor7::decodeSensorCounts(x.reply, kor7::AnyIndex);
        raise(OnGotSensorCounts, kor7::sensorCountsBySlot(c.values));
        co_return true;
    }
    fail(OnErrorReadingCounts, QStringLiteral("Error Getting Counts, Data="), x);
    co_return false;
}

QCoro::Task<bool> TKor7::ReadGas()
{
    trace(QStringLiteral("ReadGas"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorReadingGas, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestGasReading(), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeGasReading(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        raise(OnGotGasReading, kor7::decodeGasReading(x.reply, kor7::AnyIndex).values);
        co_return true;
    }
    fail(OnErrorReadingGas, QStringLiteral("Error Getting Gas Reading, Data="), x);
    co_return false;
}

// ---- Loggers ---------------------------------------------------------------------------------

QCoro::Task<bool> TKor7::ClearDatalogger()
{
    trace(QStringLiteral("ClearDatalogger"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorClearingDatalogger, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestClearDatalogger(), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeAck(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        if (OnDataloggerCleared)
            raise(OnDataloggerCleared);
        else
            prompter().inform(QStringLiteral("Datalogger Cleared!"));
        co_return true;
    }
    fail(OnErrorClearingDatalogger, QStringLiteral("Error Clearing Datalogger, Data="), x);
    co_return false;
}

QCoro::Task<bool> TKor7::ClearEventLogger()
{
    trace(QStringLiteral("ClearEventLogger"));
    auto alive = m_alive;
    if (!linkConnected()) {
        fail(OnErrorClearingEvents, QString(), Exchange{});
        co_return false;
    }
    const Exchange x = co_await transact(kor7::requestClearEventLogger(), m_cmdTimeOut,
                                         [](auto& r, char i) { return kor7::decodeAck(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        if (OnEventLoggerCleared)
            raise(OnEventLoggerCleared);
        else
            prompter().inform(QStringLiteral("Events Cleared"));
        co_return true;
    }
    fail(OnErrorClearingEvents, QStringLiteral("Error Clearing Events, Data="), x);
    co_return false;
}

// ---- Firmware --------------------------------------------------------------------------------

bool TKor7::LoadFlashFile(const QString& FileName)
{
    trace(QStringLiteral("LoadFlashFile"));
    m_flashLoaded = false;
    m_flashImage.clear();
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        LocalDebugString(QStringLiteral("Cannot open the instrument firmware file %1").arg(FileName),
                         lcInstr());
        m_flashFileVersion.clear();
        m_flashFileDescription.clear();
        return false;
    }
    const QByteArray image = file.read(kor7::FlashFileSize + 1);
    const kor7::FlashFileCheck check = kor7::ValidateFlashFile(image);
    m_flashFileVersion = check.version;
    m_flashFileDescription = check.description;
    if (!check.ok) {
        LocalDebugString(QStringLiteral("%1 refused: %2").arg(FileName, check.error), lcInstr());
        return false;
    }
    m_flashFileName = FileName;
    m_flashImage = image;
    m_flashLoaded = true;
    return true;
}

QCoro::Task<bool> TKor7::WriteEEPage(int Page, QByteArray Data)
{
    auto alive = m_alive;
    auto refuse = [this](const QString& text) {
        prompter().error(text);
        raise(OnSentEEPage, 1);
    };
    if (Page < 0 || Page >= kor7::FlashPageCount) {
        refuse(QStringLiteral("Page out of bounds!"));
        co_return false;
    }
    if (Data.size() != kor7::FlashBlockSize) {
        refuse(QStringLiteral("Wrong data length"));
        co_return false;
    }
    const QByteArray request = kor7::requestWritePage(static_cast<quint16>(Page), Data);
    for (int attempt = 1; attempt <= MaxPageSends; ++attempt) {
        if (!linkConnected())
            break;
        kor7::PageEchoReply echo;
        const Exchange x = co_await transact(request, m_pageTimeOut, [&echo](const QByteArray& r, char i) {
            echo = kor7::decodePageEcho(r, i);
            return echo.status;
        });
        if (!*alive)
            co_return false;
        if (x.outcome == Exchange::Aborted || x.outcome == Exchange::NotConnected)
            break;
        if (x.ok() && echo.page == Page) {
            raise(OnSentEEPage, 0);
            co_return true;
        }
        if (x.ok())
            LocalDebugString(QStringLiteral("Page Error! %1=%2").arg(Page).arg(echo.page), lcInstr());
        else
            LocalDebugString(
                QStringLiteral("Page %1 refused (%2 of %3)").arg(Page).arg(attempt).arg(MaxPageSends),
                lcInstr());
    }
    raise(OnSentEEPage, 1);
    co_return false;
}

QCoro::Task<bool> TKor7::ProgramFlash()
{
    trace(QStringLiteral("ProgramFlash"));
    auto alive = m_alive;
    if (!m_flashLoaded || m_flashImage.size() != kor7::FlashFileSize) {
        prompter().error(QStringLiteral("Error sending Flash"));
        co_return false;
    }
    const QByteArray image = m_flashImage; // the file cannot change under the upgrade
    const int total = kor7::FlashFileSize;
    for (int page = 0; page < kor7::FlashPageCount; ++page) {
        const bool sent = co_await WriteEEPage(page, kor7::flashBlock(image, page));
        if (!*alive)
            co_return false;
        if (!sent) {
            // Nothing is programmed: "PFM" would write an image with a gap.
            prompter().error(QStringLiteral("Error sending Flash"));
            co_return false;
        }
        raise(OnFlashProgress, (page + 1) * kor7::FlashPageSize, total);
    }
    co_return co_await StartFlashProgram();
}

QCoro::Task<bool> TKor7::StartFlashProgram()
{
    trace(QStringLiteral("StartFlashProgram"));
    auto alive = m_alive;
    if (!linkConnected())
        co_return false;
    const Exchange x = co_await transact(kor7::requestStartFlash(), m_startFlashTimeOut,
                                         [](auto& r, char i) { return kor7::decodeAck(r, i).status; });
    if (!*alive)
        co_return false;
    if (x.ok()) {
        // The instrument restarts with the new firmware.
        m_link->Disconnect();
        raise(OnProgFlashSent, 0);
        co_return true;
    }
    if (x.outcome == Exchange::TimedOut)
        timedOut(x);
    raise(OnProgFlashSent, 1);
    co_return false;
}

} // namespace vx8
