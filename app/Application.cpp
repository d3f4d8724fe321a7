#include "app/Application.h"

#include "app/AboutBox.h"
#include "app/AppException.h"
#include "app/GlobalVars.h"
#include "app/database/DBLoginDialog.h"
#include "common/db/DBLogin.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/StartUpForm.h"
#include "common/ProgramFolder.h"
#include "common/Prompter.h"
#include "common/Trace.h"

#include <QString>

#include <cstdio>
#include <cstring>
#include <memory>

namespace vx8 {

namespace {
struct CommandLine
{
    bool unattended = false;
    QString answers;
    bool bad = false;
    QString error;
};

CommandLine parse(int argc, char** argv)
{
    CommandLine c;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--unattended") == 0) {
            c.unattended = true;
        } else if (std::strcmp(a, "--answers") == 0 && i + 1 < argc) {
            c.answers = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strncmp(a, "--answers=", 10) == 0) {
            c.answers = QString::fromLocal8Bit(a + 10);
        } else if (std::strcmp(a, "--answers") == 0) {
            c.bad = true;
            c.error = QStringLiteral("--answers needs a file name");
        }
        // Anything else belongs to Qt (-platform, -style, ...).
    }
    return c;
}
} // namespace

int RunVx8(int argc, char** argv)
{
    const CommandLine options = parse(argc, argv);
    if (options.bad) {
        std::fprintf(stderr, "vx8: %s\n", qPrintable(options.error));
        return 2;
    }
    // Without a display an unattended run draws off screen.
    if (options.unattended && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VX8"));

    // 1. One copy per program folder.
    SingleInstanceGuard guard(programFolder());
    if (!guard.acquire()) {
        return 0;
    }

    // 2. The application; its prompter.
    QApplication::setApplicationDisplayName(QStringLiteral("VX8 Pro"));
    std::unique_ptr<Prompter> prompter;
    if (options.unattended) {
        auto unattended = std::make_unique<UnattendedPrompter>();
        unattended->setLogFile(programPath(QStringLiteral("VX8_Unattended.log")));
        if (!options.answers.isEmpty() && !unattended->loadScript(options.answers)) {
            std::fprintf(stderr, "vx8: cannot read the answer file %s\n", qPrintable(options.answers));
            return 2;
        }
        prompter = std::move(unattended);
    } else {
        prompter = std::make_unique<GuiPrompter>();
    }
    Prompter::setInstance(prompter.get());
    installFatalSignalHandlers();

    int code = 0;
    try {
        // 3. The windows, in order: the main window (its FormCreate runs now), the splash window,
        // the about box. The debug window, the options, Ethernet set-up, dock set-up, login and
        // QC template dialogs follow them as they are added.
        guard.onRaiseRequested = [] {
            if (TfrmMain* w = frmMain()) {
                w->RaiseFromSecondStart();
            }
        };
        auto main = std::make_unique<TfrmMain>();
        setAppExceptionMainWindow(main.get());
        if (auto* gui = dynamic_cast<GuiPrompter*>(prompter.get())) {
            gui->setParent(main.get());
        }
        auto splash = std::make_unique<TfrmStartUp1>(main.get());
        main->SetStartUpWindow(splash.get());
        auto about = std::make_unique<TfrmAbout>(main.get());
        main->SetAboutBox(about.get());
        // The login dialog (owned by the main window), and the rights check every guarded action
        // uses, the dock frames' included.
        // Unattended, nobody could type into it: every guarded action is then refused (logged).
        if (!options.unattended) {
            main->SetLoginDialog(new TfrmDBLogin(prompter.get(), main.get()));
        }
        TfrmMain* mainWindow = main.get();
        SetRightsContext({[mainWindow] { return mainWindow->globalVars() ? int(mainWindow->globalVars()->SoftwareType) : 10; },
                          [mainWindow] { return mainWindow->LoginSuppressed; },
                          [mainWindow] { mainWindow->ShowLoginDialog(); }});
        // 4. The message loop, unless the start-up already ended the program.
        if (main->TerminateRequested()) {
            code = main->ExitCode();
        } else {
            main->show();
            code = app.exec();
        }
        guard.onRaiseRequested = nullptr;
        setAppExceptionMainWindow(nullptr);
        if (auto* gui = dynamic_cast<GuiPrompter*>(prompter.get())) {
            gui->setParent(nullptr);
        }
        about.reset();
        splash.reset();
        main.reset();
    } catch (const AppError& e) {
        setAppExceptionMainWindow(nullptr);
        AppException(e.message(), false);
        code = 1;
    } catch (const std::exception& e) {
        setAppExceptionMainWindow(nullptr);
        AppException(QString::fromLocal8Bit(e.what()), false);
        code = 1;
    }
    SetRightsContext({});
    Prompter::setInstance(nullptr);
    return code;
}

} // namespace vx8
