#include "Trace.h"

Q_LOGGING_CATEGORY(lcApp, "vx8.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDb, "vx8.db", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUsb, "vx8.usb", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDock, "vx8.dock", QtInfoMsg)
Q_LOGGING_CATEGORY(lcInstr, "vx8.instr", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFrame, "vx8.frame", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSim, "vx8.sim", QtInfoMsg)

namespace vx8 {

namespace {
TraceSink& sink()
{
    static TraceSink s;
    return s;
}
} // namespace

void LocalDebugString(const QString& text, const QLoggingCategory& category)
{
    qCDebug(category).noquote() << text;
    if (sink()) {
        sink()(QString::fromLatin1(category.categoryName()), text);
    }
}

void setTraceSink(TraceSink s)
{
    sink() = std::move(s);
}

} // namespace vx8
