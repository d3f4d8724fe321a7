#pragma once

#include <QString>

namespace vx8 {

// Where the dock frames write their traffic lines: the debug window. The window implements this
// and registers itself as the program's sink while it exists; a writer does nothing while there
// is none. All writers and the sink live on the main thread.
class DebugSink
{
public:
    virtual ~DebugSink() = default;

    virtual int LineCount() const = 0;
    virtual void Clear() = 0;
    virtual void AppendLine(const QString& line) = 0;
    // Shows the window (not modal); its lines stay.
    virtual void ShowWindow() = 0;

    // The program's sink (null while the debug window does not exist). The window sets itself
    // when it is created and clears the registration when it goes.
    static DebugSink* program();
    static void setProgram(DebugSink* sink);
};

// A sink holding more lines than this is cleared before a capped line is appended.
inline constexpr int DebugLineCap = 500;

// Appends one line to the sink (nothing when it is null); with `capped` the sink is cleared
// first when it already holds more than DebugLineCap lines.
void AppendDebugLine(DebugSink* sink, const QString& line, bool capped = true);

} // namespace vx8
