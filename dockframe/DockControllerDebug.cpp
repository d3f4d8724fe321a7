// The frame's writers of the debug window: the dock link's control traffic and the instrument
// link's frames, one time-stamped line each.
#include "DockController.h"

#include "common/Formatting.h"
#include "common/Trace.h"

namespace vx8 {

QString TDockController::DockTrafficLine(const QString& time, const QString& dockSerial, bool received,
                                         const QByteArray& data)
{
    return time + QStringLiteral(": Dock(") + (dockSerial.isEmpty() ? QStringLiteral("N/A") : dockSerial) +
           (received ? QStringLiteral(") Received Data: ") : QStringLiteral(") Sent Data: ")) +
           QString::fromLatin1(data);
}

QString TDockController::InstrumentTrafficLine(const QString& time, const QString& instrSerial, bool received,
                                               const QByteArray& data)
{
    const QString direction = received ? QStringLiteral(") Data Received: ") : QStringLiteral(") Data Sent: ");
    return time + QStringLiteral(": ") + QStringLiteral("KOR7") + QStringLiteral("(") +
           (instrSerial.isEmpty() ? QStringLiteral("N/A") : instrSerial) + direction + QString::fromLatin1(data);
}

void TDockController::WriteDebugLine(const QString& line, bool capped)
{
    AppendDebugLine(DebugWindow(), line, capped);
}

namespace {
QString nowText(const DockFrameSettings& s)
{
    return s.FormatDateTime(QDateTime::currentDateTime());
}

// The dock serial is known once the configuration was read.
QString dockSerialText(const QString& text, quint32 serial)
{
    if (!text.isEmpty()) {
        return text;
    }
    return serial != 0 ? FormatDockSerial(serial) : QString();
}
} // namespace

void TDockController::VexaExpressDock1xDebugRcvControlData(const QByteArray& data)
{
    DebugSink* sink = DebugWindow();
    if (!sink) {
        return;
    }
    const QString serial = dockSerialText(FDockSerialText, FDockSerial);
    AppendDebugLine(sink, DockTrafficLine(nowText(settings()), serial, true, data));
}

void TDockController::VexaExpressDock1xDebugSndControlData(const QByteArray& data)
{
    DebugSink* sink = DebugWindow();
    if (!sink) {
        return;
    }
    const QString serial = dockSerialText(FDockSerialText, FDockSerial);
    AppendDebugLine(sink, DockTrafficLine(nowText(settings()), serial, false, data));
}

void TDockController::KorLink1DebugReceive(const QByteArray& data)
{
    DebugSink* sink = DebugWindow();
    if (!sink) {
        return;
    }
    const QString serial = FInstrSerial != 0 ? FormatInstrSerial(FInstrSerial) : QString();
    AppendDebugLine(sink, InstrumentTrafficLine(nowText(settings()), serial, true, data));
}

void TDockController::KorLink1DebugSend(const QByteArray& data)
{
    DebugSink* sink = DebugWindow();
    if (!sink) {
        return;
    }
    const QString serial = FInstrSerial != 0 ? FormatInstrSerial(FInstrSerial) : QString();
    AppendDebugLine(sink, InstrumentTrafficLine(nowText(settings()), serial, false, data));
}

} // namespace vx8
