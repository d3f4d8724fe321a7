// The guarded actions of the main window: a login (unless bypassed) with the rights each needs.
#include "app/GlobalVars.h"
#include "app/MainWindow.h"
#include "app/database/DBLoginDialog.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "common/db/DBLogin.h"

namespace vx8 {

void TfrmMain::ShowLoginDialog()
{
    LocalDebugString(QStringLiteral("ShowLoginDialog"));
    if (frmDBLogin) {
        frmDBLogin->exec();
    }
}

void TfrmMain::Options1Click()
{
    LocalDebugString(QStringLiteral("Options1Click"));
    const int softwareType = FGlobalVars ? int(FGlobalVars->SoftwareType) : 10;
    if (!RightsCheck(GuardedAction::Options, softwareType, LoginSuppressed, [this] { ShowLoginDialog(); },
                     Prompter::instance())) {
        return;
    }
    if (ShowOptionsDialog) {
        ShowOptionsDialog();
    }
}

void TfrmMain::mnuNetworkDockSetup1Click()
{
    LocalDebugString(QStringLiteral("mnuNetworkDockSetup1Click"));
    const int softwareType = FGlobalVars ? int(FGlobalVars->SoftwareType) : 10;
    if (!RightsCheck(GuardedAction::NetworkDockSetup, softwareType, LoginSuppressed, [this] { ShowLoginDialog(); },
                     Prompter::instance())) {
        return;
    }
    if (ShowDockSetupDialog) {
        ShowDockSetupDialog();
    }
    SetStatusColour(false);
}

} // namespace vx8
