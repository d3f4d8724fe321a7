#include "Trace.h"

#include <QCoreApplication>
#include <QThread>

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
    if (!sink()) {
        return;
    }
    const QString name = QString::fromLatin1(category.categoryName());
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        sink()(name, text);
        return;
    }
    // The sink (the debug window) lives on the main thread: a worker's line is handed over.
    QMetaObject::invokeMethod(
        app,
        [name, text]() {
            if (sink()) {
                sink()(name, text);
            }
        },
        Qt::QueuedConnection);
}

void setTraceSink(TraceSink s)
{
    sink() = std::move(s);
}

} // namespace vx8
