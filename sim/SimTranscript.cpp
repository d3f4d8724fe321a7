#include "SimTranscript.h"

#include "SimBytes.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vx8::sim {

SimTranscript::SimTranscript()
{
    m_clock.start();
}

bool SimTranscript::setFile(const QString& path, QString* error)
{
    auto f = std::make_unique<QFile>(path);
    if (!f->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error) {
            *error = QStringLiteral("cannot write the transcript file %1: %2").arg(path, f->errorString());
        }
        return false;
    }
    m_file = std::move(f);
    return true;
}

void SimTranscript::add(quint32 dock, const QString& channel, const QString& dir, const QByteArray& bytes)
{
    TranscriptEntry e;
    e.t = m_clock.nsecsElapsed() / 1e6;
    e.dock = dock;
    e.channel = channel;
    e.dir = dir;
    e.bytes = bytes;
    e.text = printable(bytes.left(512));
    push(std::move(e));
}

void SimTranscript::note(quint32 dock, const QString& channel, const QString& text)
{
    TranscriptEntry e;
    e.t = m_clock.nsecsElapsed() / 1e6;
    e.dock = dock;
    e.channel = channel;
    e.dir = QStringLiteral("note");
    e.text = text;
    push(std::move(e));
}

void SimTranscript::push(TranscriptEntry e)
{
    if (m_file) {
        m_file->write(toJsonLine(e));
        m_file->flush();
    }
    m_entries.append(std::move(e));
    if (m_limit > 0 && m_entries.size() > m_limit) {
        m_entries.remove(0, m_entries.size() - m_limit);
    }
}

QByteArray SimTranscript::toJsonLine(const TranscriptEntry& e)
{
    QJsonObject o;
    o[QStringLiteral("t")] = qRound(e.t * 1000) / 1000.0;
    o[QStringLiteral("dock")] = qint64(e.dock);
    o[QStringLiteral("channel")] = e.channel;
    o[QStringLiteral("dir")] = e.dir;
    if (e.dir != QLatin1String("note")) {
        o[QStringLiteral("len")] = e.bytes.size();
        o[QStringLiteral("hex")] = hexOf(e.bytes);
    }
    o[QStringLiteral("text")] = e.text;
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QList<TranscriptEntry> SimTranscript::entriesFor(quint32 dock, const QString& channel,
                                                 const QString& dir) const
{
    QList<TranscriptEntry> out;
    for (const auto& e : m_entries) {
        if (e.dock == dock && (channel.isEmpty() || e.channel == channel) &&
            (dir.isEmpty() || e.dir == dir)) {
            out.append(e);
        }
    }
    return out;
}

QByteArray SimTranscript::bytesFor(quint32 dock, const QString& channel, const QString& dir) const
{
    QByteArray out;
    for (const auto& e : m_entries) {
        if (e.dock == dock && e.channel == channel && e.dir == dir) {
            out += e.bytes;
        }
    }
    return out;
}

} // namespace vx8::sim
