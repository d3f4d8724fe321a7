#pragma once

#include "common/db/DBSettings.h"

#include <QChar>
#include <QString>

#include <functional>

namespace vx8 {

class Prompter;

// The login outcome, written by the login dialog and by the bypass, read by the guarded actions.
enum : quint8 { LoginAccepted = 0, LoginWrong = 1, LoginNoDecision = 2 };
enum : qint16 { LevelUser = 100, LevelTechnician = 200, LevelAdministrator = 300, LevelService = 900 };
extern quint8 LoginResult;
extern qint16 UserLevel;

// The login key filter: the characters that may be typed into the user ID and password edits
// (backspace, enter, "#$%&()+", "-./0-9:;<=>", "@A-Z[\]^_", "a-z"). Blanks, quotes, apostrophes,
// "*", ",", "?" and characters above 127 cannot be typed.
bool LoginKeyAllowed(QChar c);
bool LoginTextAllowed(const QString& text);

// The built-in service account (a two-letter user ID and a ten-letter password, compared after
// trimming and upper-casing); only its digest is kept in the program.
bool IsServiceLogin(const QString& userId, const QString& password);

struct TLoginCheck
{
    quint8 result = LoginNoDecision;
    qint16 level = LevelUser;
    QString error; // set when the database could not be asked
};

// The check behind the dialog's OK button: the service account first; then, only when the
// results database answered at start-up, the users table, with the trimmed user ID and password
// as bound parameters (the database comparison decides about case). Level 100, 200 for a
// technician, 300 for an administrator (administrative wins).
TLoginCheck CheckLogin(const QString& userId, const QString& password, bool dbConnected, const TDBSettings& settings);

// The four actions that ask for a login.
enum class GuardedAction { Options, NetworkDockSetup, SendDockConfiguration, AdvancedDockSettings };

// Whether the bypass applies: login suppressed ("SupressLogin" = "YES"), or the SHOP software type
// (100) for every action but the advanced dock settings.
bool LoginBypassed(GuardedAction action, int softwareType, bool loginSuppressed);
bool LevelAccepted(GuardedAction action, qint16 level);
QString RefusalText(GuardedAction action);

// The rights check of a guarded action: with the bypass, level 300 and result 0 without showing
// anything; otherwise showLogin runs the login dialog modally (it sets LoginResult and UserLevel).
// Then: accepted level -> true; result 0 with another level -> the action's refusal text; result
// 1 -> "User ID and Password are not valid!"; result 2 -> nothing. True when the action may run.
bool RightsCheck(GuardedAction action, int softwareType, bool loginSuppressed, const std::function<void()>& showLogin,
                 Prompter& prompter);

// What the guarded actions anywhere in the program need for their rights check: the software type,
// whether the login is suppressed, and the login dialog. The main window installs it at start-up;
// the dock frames' actions (sending a configuration, the advanced settings) call the short form.
struct TRightsContext
{
    std::function<int()> softwareType;
    std::function<bool()> loginSuppressed;
    std::function<void()> showLogin;
};
void SetRightsContext(TRightsContext context);
// RightsCheck with the installed context; without one nothing is decided and the action does not
// run (unless a login is not needed at all).
bool RightsCheck(GuardedAction action, Prompter& prompter);

} // namespace vx8
