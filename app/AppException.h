#pragma once

#include <QApplication>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

namespace vx8 {

// An error that ends the program through AppException (a failure the program cannot go on
// after, such as a QC mode without its QC folder key).
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// The error log of an exception that nothing handled.
namespace ErrorLog {
// program folder + "VexaX_Error_Log" + yyyy-MM-dd_hh-mm + ".log" (local time).
QString fileName(const QDateTime& when);
// The lines of the log; fatal for an access violation.
QStringList lines(bool fatal, const QString& message, const QString& logFile);
// Appends the lines (CR LF) to the file; false when it cannot be written.
bool write(const QString& logFile, const QStringList& lines);
} // namespace ErrorLog

// The handler of every exception no other code caught: writes the error log into the program
// folder, shows its lines, then ends the program: at once when fatal, otherwise by closing the
// main window (the normal close sequence). Returns the log file name.
QString AppException(const QString& message, bool fatal);

// What AppException does after the message (tests replace it); by default fatal ends the process
// at once and non-fatal closes the main window set with setAppExceptionMainWindow().
void setAppExceptionMainWindow(QWidget* window);
void setAppExceptionExitHook(std::function<void(int code)> hook);

// Catches the faults that in Windows terms are access violations (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL) and writes the fatal error log from the signal handler before the process ends.
void installFatalSignalHandlers();

// The application object: exceptions thrown out of any event handler reach AppException
// instead of ending the program without a word.
class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace vx8
