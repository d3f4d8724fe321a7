#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>

#include <memory>

// The record of every chunk a simulated dock received and sent, per dock and channel, with the
// time in milliseconds since the simulator started. Written as JSON lines when a file is set:
//   {"t":12.5,"dock":10001,"channel":"control","dir":"in","len":3,"hex":"524545","text":"REE"}
// Notes (faults applied, docking, vanishing) are lines with "dir":"note" and the text only.
namespace vx8::sim {

struct TranscriptEntry
{
    double t = 0;     // ms since start
    quint32 dock = 0; // dock serial
    QString channel;  // "control", "data", "discovery"
    QString dir;      // "in", "out", "note"
    QByteArray bytes; // the chunk (empty for notes)
    QString text;     // notes; printable form for chunks
};

class SimTranscript
{
public:
    SimTranscript();
    bool setFile(const QString& path, QString* error);
    void add(quint32 dock, const QString& channel, const QString& dir, const QByteArray& bytes);
    void note(quint32 dock, const QString& channel, const QString& text);
    const QList<TranscriptEntry>& entries() const { return m_entries; }
    QList<TranscriptEntry> entriesFor(quint32 dock, const QString& channel = QString(),
                                      const QString& dir = QString()) const;
    // All bytes of one direction of one channel of a dock, concatenated.
    QByteArray bytesFor(quint32 dock, const QString& channel, const QString& dir) const;
    void clear() { m_entries.clear(); }
    // Keeps at most this many entries in memory (the file gets all); 0 = unlimited.
    void setMemoryLimit(int n) { m_limit = n; }
    static QByteArray toJsonLine(const TranscriptEntry& e);

private:
    void push(TranscriptEntry e);
    QElapsedTimer m_clock;
    QList<TranscriptEntry> m_entries;
    std::unique_ptr<QFile> m_file;
    int m_limit = 200000;
};

} // namespace vx8::sim
