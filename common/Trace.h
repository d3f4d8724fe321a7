#pragma once

#include <QLoggingCategory>
#include <QString>

#include <functional>

// One logging category per component, so that the debug window and a log file can filter.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcDb)
Q_DECLARE_LOGGING_CATEGORY(lcUsb)
Q_DECLARE_LOGGING_CATEGORY(lcDock)
Q_DECLARE_LOGGING_CATEGORY(lcInstr)
Q_DECLARE_LOGGING_CATEGORY(lcFrame)
Q_DECLARE_LOGGING_CATEGORY(lcSim)

namespace vx8 {

// The trace hook every method passes its own name to. By default it only logs at debug level in
// the given category; the debug window may install a sink that receives every line.
void LocalDebugString(const QString& text, const QLoggingCategory& category = lcApp());

using TraceSink = std::function<void(const QString& category, const QString& text)>;
// Installs the sink (an empty function removes it). Only called on the main thread. The sink is
// always called on the main thread: lines traced on other threads reach it queued.
void setTraceSink(TraceSink sink);

} // namespace vx8
