#include "common/DebugSink.h"

namespace vx8 {

namespace {
DebugSink* g_program = nullptr;
} // namespace

DebugSink* DebugSink::program()
{
    return g_program;
}

void DebugSink::setProgram(DebugSink* sink)
{
    g_program = sink;
}

void AppendDebugLine(DebugSink* sink, const QString& line, bool capped)
{
    if (!sink) {
        return;
    }
    if (capped && sink->LineCount() > DebugLineCap) {
        sink->Clear();
    }
    sink->AppendLine(line);
}

} // namespace vx8
