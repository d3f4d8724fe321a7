// The guarded actions of the main window: a login (unless bypassed) with the rights each needs.
#include "app/GlobalVars.h"
#include "app/MainWindow.h"
#include "app/database/DBLoginDialog.h"
#include "app/dockdefs/DockEnumerator.h"
#include "app/dockdefs/DockSetupDialog.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "common/db/DBLogin.h"

namespace vx8 {

void TfrmMain::ShowLoginDialog()
{
    LocalDebugString(QStringLiteral("ShowLoginDialog"));
    if (frmDBLogin) {
        frmDBLogin->exec();
    } else {
        Prompter::instance().status(QStringLiteral("No login dialog: the action needs a login and is not run."));
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
    } else if (TfrmDockSetup* dlg = DockSetupWindow()) {
        dlg->setNetworkDocksEnabled(NetworkDocksEnabled);
        if (TGlobalVars* g = FGlobalVars) {
            dlg->setSettings({g->NetworkVerificationInMinutes, g->ListeningModeInterval, g->ListeningModeUnits});
        }
        if (dlg->isVisible()) {
            dlg->FormShow(); // shown again: the rows as they are now
        }
        dlg->show();
        dlg->raise();
        dlg->activateWindow();
    }
    SetStatusColour(false);
}

TDockEnumerator* TfrmMain::DockEnumerator1()
{
    DockSetupWindow();
    return FDockEnumerator.data();
}

TfrmDockSetup* TfrmMain::DockSetupWindow()
{
    if (frmDockSetup) {
        return frmDockSetup;
    }
    Prompter* prompter = &Prompter::instance();
    auto* dlg = new TfrmDockSetup(DockDefDatabase(), prompter, this);
    dlg->setObjectName(QStringLiteral("frmDockSetup"));
    // Closing only hides it: its discovery round may still be collecting answers.
    dlg->setAttribute(Qt::WA_DeleteOnClose, false);
    FDockEnumerator = new TDockEnumerator(prompter, dlg);
    FDockEnumerator->setObjectName(QStringLiteral("DockEnumerator1"));
    dlg->setEnumerator(FDockEnumerator);
    dlg->setNetworkDocksEnabled(NetworkDocksEnabled);
    dlg->OnNewNetworkDock = [this] { NewNetworkDocks = true; };
    // The values written on close also reach the globals the frames read.
    dlg->OnSettingsChanged = [this](const TfrmDockSetup::NetworkSettings& s) {
        if (TGlobalVars* g = FGlobalVars) {
            g->NetworkVerificationInMinutes = s.verificationMinutes;
            g->ListeningModeInterval = s.listeningInterval;
            g->ListeningModeUnits = s.listeningUnits;
        }
    };
    frmDockSetup = dlg;
    return dlg;
}

} // namespace vx8
