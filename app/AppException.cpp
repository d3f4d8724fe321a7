#include "app/AppException.h"

#include "common/ProgramFolder.h"
#include "common/Prompter.h"
#include "common/Trace.h"

#include <QFile>
#include <QPointer>
#include <QWidget>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace vx8 {

namespace {

QPointer<QWidget> g_mainWindow;
std::function<void(int)> g_exitHook;

// What the fatal signal handler needs, prepared while it is safe to allocate.
char g_fatalFolder[4096];
long g_utcOffsetSeconds = 0;

void appendNumber(char*& p, long value, int digits)
{
    char buf[16];
    for (int i = digits - 1; i >= 0; --i) {
        buf[i] = char('0' + value % 10);
        value /= 10;
    }
    std::memcpy(p, buf, size_t(digits));
    p += digits;
}

void appendText(char*& p, const char* text)
{
    const size_t n = std::strlen(text);
    std::memcpy(p, text, n);
    p += n;
}

// Civil date from days since 1970-01-01 (no library calls: this runs in a signal handler).
void civilFromDays(long z, long& y, long& m, long& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = yoe + era * 400;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) {
        ++y;
    }
}

extern "C" void fatalSignalHandler(int sig)
{
    const long now = long(std::time(nullptr)) + g_utcOffsetSeconds;
    long y = 0, mo = 0, d = 0;
    civilFromDays(now >= 0 ? now / 86400 : (now - 86399) / 86400, y, mo, d);
    const long secs = ((now % 86400) + 86400) % 86400;

    static char path[4300];
    char* p = path;
    appendText(p, g_fatalFolder);
    appendText(p, "VexaX_Error_Log");
    appendNumber(p, y, 4);
    appendText(p, "-");
    appendNumber(p, mo, 2);
    appendText(p, "-");
    appendNumber(p, d, 2);
    appendText(p, "_");
    appendNumber(p, secs / 3600, 2);
    appendText(p, "-");
    appendNumber(p, (secs / 60) % 60, 2);
    appendText(p, ".log");
    *p = 0;

    const char* what = sig == SIGSEGV ? "Access violation (SIGSEGV)"
                       : sig == SIGBUS ? "Access violation (SIGBUS)"
                       : sig == SIGFPE ? "Arithmetic fault (SIGFPE)"
                                       : "Illegal instruction (SIGILL)";
    static char text[5000];
    char* t = text;
    appendText(t, "An fatal error has occurred and the program must be closed!\r\n\r\n");
    appendText(t, "Here are some details about the error:\r\n\r\n");
    appendText(t, what);
    appendText(t, "\r\n\r\nError log: ");
    appendText(t, path);
    appendText(t, "\r\n");

    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = ::write(fd, text, size_t(t - text));
        ::close(fd);
    }
    [[maybe_unused]] ssize_t n = ::write(2, text, size_t(t - text));
    _exit(128 + sig);
}

} // namespace

namespace ErrorLog {

QString fileName(const QDateTime& when)
{
    return programFolder() + QStringLiteral("VexaX_Error_Log") + when.toString(QStringLiteral("yyyy-MM-dd_hh-mm")) +
           QStringLiteral(".log");
}

QStringList lines(bool fatal, const QString& message, const QString& logFile)
{
    return {
        fatal ? QStringLiteral("An fatal error has occurred and the program must be closed!")
              : QStringLiteral("An error(non-fatal) has occurred in the program and must be closed!"),
        QString(),
        QStringLiteral("Here are some details about the error:"),
        QString(),
        message,
        QString(),
        QStringLiteral("Error log: ") + logFile,
    };
}

bool write(const QString& logFile, const QStringList& lines)
{
    QFile f(logFile);
    // Appended, so that a second failure within the same minute keeps the first one's lines.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return false;
    }
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += line.toLocal8Bit() + "\r\n";
    }
    return f.write(bytes) == bytes.size();
}

} // namespace ErrorLog

QString AppException(const QString& message, bool fatal)
{
    LocalDebugString(QStringLiteral("AppException"));
    const QString logFile = ErrorLog::fileName(QDateTime::currentDateTime());
    const QStringList lines = ErrorLog::lines(fatal, message, logFile);
    if (!ErrorLog::write(logFile, lines)) {
        qCWarning(lcApp).noquote() << "The error log" << logFile << "could not be written";
    }
    Prompter::instance().error(lines.join(QStringLiteral("\r\n")));
    if (fatal) {
        if (g_exitHook) {
            g_exitHook(1);
        } else {
            std::_Exit(1);
        }
    } else if (g_mainWindow) {
        g_mainWindow->close();
    } else if (g_exitHook) {
        g_exitHook(1);
    } else {
        QCoreApplication::exit(1);
    }
    return logFile;
}

void setAppExceptionMainWindow(QWidget* window)
{
    g_mainWindow = window;
}

void setAppExceptionExitHook(std::function<void(int)> hook)
{
    g_exitHook = std::move(hook);
}

void installFatalSignalHandlers()
{
    const QByteArray folder = programFolder().toLocal8Bit();
    const size_t n = std::min(sizeof(g_fatalFolder) - 1, size_t(folder.size()));
    std::memcpy(g_fatalFolder, folder.constData(), n);
    g_fatalFolder[n] = 0;
    g_utcOffsetSeconds = QDateTime::currentDateTime().offsetFromUtc();

    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = fatalSignalHandler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        sigaction(sig, &sa, nullptr);
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError& e) {
        AppException(e.message(), false);
    } catch (const std::exception& e) {
        AppException(QString::fromLocal8Bit(e.what()), false);
    } catch (...) {
        AppException(QStringLiteral("Unknown exception"), false);
    }
    return false;
}

} // namespace vx8
