// The three download loops of TKor7: the event logger, the session headers and the data-logger
// records of one session. Each request that gets no usable answer (a refusal, a reply cut short,
// no reply in time, or an answer that does not advance the download) is repeated, at most
// MaxDownloadRepeats times; "ECK" means the instrument has nothing more.

#include "instrument/Kor7.h"

#include "common/Trace.h"

namespace vx8 {

using kor7::ReplyStatus;

namespace {
void trace(const QString& text)
{
    LocalDebugString(text, lcInstr());
}
} // namespace

QCoro::Task<bool> TKor7::DownloadEvents()
{
    trace(QStringLiteral("DownloadEvents"));
    auto alive = m_alive;
    m_eventRecords.clear();
    if (!linkConnected()) {
        fail(OnErrorDownloadingEvents, QString(), Exchange{});
        co_return false;
    }
    kor7::EventCountReply count;
    Exchange x =
        co_await transact(kor7::requestEventCount(), m_cmdTimeOut, [&count](const QByteArray& r, char i) {
            count = kor7::decodeEventCount(r, i);
            return count.status;
        });
    if (!*alive)
        co_return false;
    if (!x.ok()) {
        fail(OnErrorDownloadingEvents, QStringLiteral("Error Reading Event Counter, Data="), x);
        co_return false;
    }
    m_eventCounter = count.count;

    int repeats = 0;
    while (m_eventRecords.size() < m_eventCounter) {
        const int first = int(m_eventRecords.size()) + 1;
        kor7::EventPacketReply packet;
        x = co_await transact(kor7::requestEvents(quint8(first), m_eventsPerPacket), m_cmdTimeOut,
                              [&packet](const QByteArray& r, char i) {
                                  packet = kor7::decodeEventPacket(r, i);
                                  return packet.status;
                              });
        if (!*alive)
            co_return false;
        if (x.outcome == Exchange::Aborted || x.outcome == Exchange::NotConnected)
            co_return false;
        if (x.ok()) {
            if (packet.first != first) {
                fail(OnErrorDownloadingEvents, QStringLiteral("Error Reading Downloading Event, Data="), x);
                co_return false;
            }
            if (!packet.events.isEmpty()) {
                repeats = 0;
                // Never more than announced: the list holds this instrument's events only.
                for (const QByteArray& e : std::as_const(packet.events)) {
                    if (m_eventRecords.size() >= m_eventCounter)
                        break;
                    m_eventRecords.append(e);
                    raise(OnEvtDownloadProgress, int(m_eventRecords.size()), m_eventCounter);
                }
                raise(OnEvtDownloadProgress, int(m_eventRecords.size()), m_eventCounter);
                continue;
            }
        } else if (x.outcome == Exchange::Replied && x.status == ReplyStatus::Eck) {
            break; // no more events
        }
        if (x.outcome == Exchange::TimedOut)
            timedOut(x);
        if (repeats >= MaxDownloadRepeats) {
            fail(OnErrorDownloadingEvents, QStringLiteral("Error Downloading Event, Data="), x);
            co_return false;
        }
        ++repeats;
    }
    if (OnEventsDownloaded)
        raise(OnEventsDownloaded);
    else
        prompter().inform(QStringLiteral("Events download complete Events = %1 %2")
                              .arg(m_eventRecords.size())
                              .arg(m_eventCounter));
    co_return true;
}

QCoro::Task<bool> TKor7::DownloadSessions(quint8 AlarmsOnly, bool Blackbox)
{
    trace(QStringLiteral("DownloadSessions"));
    auto alive = m_alive;
    m_sessionHeaders.clear();
    m_sessionNumbers.clear();
    if (!linkConnected()) {
        fail(OnErrorDownloadingSessions, QString(), Exchange{});
        co_return false;
    }
    kor7::SessionCountReply count;
    Exchange x = co_await transact(kor7::requestSessionCount(AlarmsOnly), m_cmdTimeOut,
                                   [&count](const QByteArray& r, char i) {
                                       count = kor7::decodeSessionCount(r, i);
                                       return count.status;
                                   });
    if (!*alive)
        co_return false;
    if (!x.ok()) {
        fail(OnErrorDownloadingSessions, QStringLiteral("Error Reading Session Counter, Data="), x);
        co_return false;
    }
    if (count.dataLoggerFlag == 0 && !Blackbox) {
        if (OnIsBlackbox)
            raise(OnIsBlackbox);
        else
            prompter().inform(QStringLiteral("Instrument is a BlackBox!"));
        co_return false;
    }
    m_sessionCounter = qMin(count.count, int(MaxSessions));

    auto complete = [this](TDownloadResult result) {
        if (OnSessionsDownloaded)
            raise(OnSessionsDownloaded, result);
        else if (result != TDownloadResult::ddMisMatchedSession)
            prompter().inform(QStringLiteral("Sessions download complete Sessions = %1 %2")
                                  .arg(m_sessionHeaders.size())
                                  .arg(m_sessionCounter));
    };
    int requested = 1;
    int repeats = 0;
    while (m_sessionHeaders.size() < m_sessionCounter) {
        kor7::SessionHeaderReply header;
        x = co_await transact(kor7::requestSession(quint8(requested), AlarmsOnly), m_cmdTimeOut,
                              [&header](const QByteArray& r, char i) {
                                  header = kor7::decodeSessionHeader(r, i);
                                  return header.status;
                              });
        if (!*alive)
            co_return false;
        if (x.outcome == Exchange::Aborted || x.outcome == Exchange::NotConnected)
            co_return false;
        if (x.ok()) {
            // An instrument may skip numbers, but never answer with one below the number asked.
            if (header.sessionNumber < requested) {
                if (!OnSessionsDownloaded)
                    prompter().error(QStringLiteral("Wrong Session Received!%1 <> %2")
                                         .arg(header.sessionNumber)
                                         .arg(requested));
                complete(TDownloadResult::ddMisMatchedSession);
                co_return false;
            }
            repeats = 0;
            m_sessionHeaders.append(header.header);
            m_sessionNumbers.append(header.sessionNumber);
            raise(OnSessDownloadProgress, int(m_sessionHeaders.size()), m_sessionCounter);
            requested = header.sessionNumber + 1;
            if (requested > 255 && m_sessionHeaders.size() < m_sessionCounter) {
                m_sessionCounter = int(m_sessionHeaders.size()); // no number left to ask for
                complete(TDownloadResult::ddMissingData);
                co_return true;
            }
            continue;
        }
        if (x.outcome == Exchange::Replied && x.status == ReplyStatus::Eck) {
            m_sessionCounter = int(m_sessionHeaders.size());
            complete(TDownloadResult::ddMissingData);
            co_return true;
        }
        if (x.outcome == Exchange::TimedOut)
            timedOut(x);
        if (repeats >= MaxDownloadRepeats) {
            fail(OnErrorDownloadingSessions, QStringLiteral("Error Reading Session Counter, Data="), x);
            co_return false;
        }
        ++repeats; // the same request again
    }
    complete(TDownloadResult::ddNoError);
    co_return true;
}

QCoro::Task<bool> TKor7::DownloadSessionRecords(int Session, int FirstRecord)
{
    trace(QStringLiteral("DownloadSessionRecords %1 from %2").arg(Session).arg(FirstRecord));
    auto alive = m_alive;
    const int index = qMin(Session, m_sessionCounter);
    if (!linkConnected() || index < 1 || index > m_sessionHeaders.size()) {
        fail(OnErrorDownloadingRecords, QString(), Exchange{});
        co_return false;
    }
    const QByteArray header = m_sessionHeaders.at(index - 1);
    const int sensors = static_cast<quint8>(header[258]);
    if (sensors > kor7::MaxRecordSensors) {
        LocalDebugString(QStringLiteral("Session header %1 announces %2 sensors; its records are skipped")
                             .arg(index)
                             .arg(sensors),
                         lcInstr());
        fail(OnErrorDownloadingRecords, QStringLiteral("Error Reading Record, Data="), Exchange{});
        co_return false;
    }
    m_recordCounter = qMin(int(kor7::le16(header, 256)), int(MaxRecords));
    m_dlRecords.resize(m_recordCounter + 1);
    auto complete = [this]() {
        const TDownloadResult result =
            m_recordCounterEffective == m_recordCounter  ? TDownloadResult::ddNoError
            : m_recordCounterEffective < m_recordCounter ? TDownloadResult::ddMissingData
                                                         : TDownloadResult::ddExtraData;
        if (OnRecordsDownloaded)
            raise(OnRecordsDownloaded, result);
        else
            prompter().inform(QStringLiteral("Records download complete Records = %1 %2")
                                  .arg(m_recordCounterEffective)
                                  .arg(m_recordCounter));
    };
    if (m_recordCounter == 0) {
        m_recordCounterEffective = 0;
        complete();
        co_return true;
    }
    m_recordCounterEffective = qBound(1, FirstRecord, m_recordCounter);
    const int sessionNumber = m_sessionNumbers.at(index - 1);

    int repeats = 0;
    for (;;) {
        kor7::RecordPacketReply packet;
        const Exchange x =
            co_await transact(kor7::requestRecords(quint8(sessionNumber), quint16(m_recordCounterEffective),
                                                   quint8(m_recordsPerPacket)),
                              m_cmdTimeOut, [&packet, sensors](const QByteArray& r, char i) {
                                  packet = kor7::decodeRecordPacket(r, i, sensors);
                                  return packet.status;
                              });
        if (!*alive)
            co_return false;
        if (x.outcome == Exchange::Aborted || x.outcome == Exchange::NotConnected)
            co_return false;
        if (x.outcome == Exchange::Replied && x.status == ReplyStatus::Eck) {
            m_recordCounterEffective -= 1;
            complete();
            co_return true;
        }
        int stored = 0;
        const bool answered = x.outcome == Exchange::Replied &&
                              (x.status == ReplyStatus::Ok || x.status == ReplyStatus::Short) &&
                              packet.ackPos >= 0;
        if (answered && packet.firstRecord == m_recordCounterEffective) {
            // The whole records that arrived are kept; a record cut short is asked for again.
            for (const QByteArray& r : std::as_const(packet.records)) {
                if (m_recordCounterEffective > m_recordCounter)
                    break;
                m_dlRecords[m_recordCounterEffective] = r.leftJustified(RecordSlotSize, '\0', true);
                ++m_recordCounterEffective;
                ++stored;
            }
            if (x.status == ReplyStatus::Short)
                trace(QStringLiteral("Incomplete Data!  Posi:%1 rl: %2 Size of:%3")
                          .arg(m_recordCounterEffective)
                          .arg(x.reply.size() - packet.ackPos)
                          .arg(kor7::dataLoggerRecordSize(sensors)));
        }
        if (stored > 0) {
            repeats = 0;
            raise(OnRecDownloadProgress, m_recordCounterEffective, m_recordCounter);
            if (m_recordCounterEffective > m_recordCounter) {
                m_recordCounterEffective -= 1;
                complete();
                co_return true;
            }
            continue;
        }
        if (x.outcome == Exchange::TimedOut)
            timedOut(x);
        if (repeats >= MaxDownloadRepeats) {
            fail(OnErrorDownloadingRecords, QStringLiteral("Error Reading Record, Data="), x);
            co_return false;
        }
        ++repeats;
    }
}

} // namespace vx8
