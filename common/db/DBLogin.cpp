#include "common/db/DBLogin.h"

#include "common/Prompter.h"
#include "common/Trace.h"
#include "common/db/Database.h"

#include <QCryptographicHash>

namespace vx8 {

quint8 LoginResult = LoginNoDecision;
qint16 UserLevel = LevelUser;

bool LoginKeyAllowed(QChar c)
{
    const ushort k = c.unicode();
    return k == 8 || k == 13 || k == 20 || (k >= 35 && k <= 38) || k == 40 || k == 41 || k == 43 ||
           (k >= 45 && k <= 62) || (k >= 64 && k <= 95) || (k >= 97 && k <= 122);
}

bool LoginTextAllowed(const QString& text)
{
    for (const QChar c : text) {
        if (!LoginKeyAllowed(c)) {
            return false;
        }
    }
    return true;
}

bool IsServiceLogin(const QString& userId, const QString& password)
{
    const QByteArray digest = QCryptographicHash::hash(
        (userId.trimmed().toUpper() + u'\n' + password.trimmed().toUpper()).toUtf8(), QCryptographicHash::Sha256);
    return digest.toHex() == QByteArrayLiteral("a0f8ee0d1655421e2b7d571800073c27c0b14fe12eabce606ab4186ac3a7554f");
}

TLoginCheck CheckLogin(const QString& userId, const QString& password, bool dbConnected, const TDBSettings& settings)
{
    LocalDebugString(QStringLiteral("cb_OKClick"), lcDb());
    TLoginCheck r;
    if (IsServiceLogin(userId, password)) {
        r.result = LoginAccepted;
        r.level = LevelService;
        return r;
    }
    if (!dbConnected) {
        return r;
    }
    db::Connection connection(settings);
    if (!connection.open()) {
        r.error = connection.lastError();
        return r;
    }
    const db::Rows rows = connection.query(
        QStringLiteral("SELECT * FROM users WHERE user_id = $1 and password = $2"),
        {userId.trimmed(), password.trimmed()});
    if (!rows.ok()) {
        r.error = connection.lastError();
        return r;
    }
    if (rows.isEmpty()) {
        r.result = LoginWrong;
        return r;
    }
    const db::Row row = rows.first();
    r.result = LoginAccepted;
    r.level = LevelUser;
    if (row.toBool(QStringLiteral("technician"), false)) {
        r.level = LevelTechnician;
    }
    if (row.toBool(QStringLiteral("administrative"), false)) {
        r.level = LevelAdministrator;
    }
    return r;
}

bool LoginBypassed(GuardedAction action, int softwareType, bool loginSuppressed)
{
    if (loginSuppressed) {
        return true;
    }
    return action != GuardedAction::AdvancedDockSettings && softwareType == 100;
}

bool LevelAccepted(GuardedAction action, qint16 level)
{
    switch (action) {
    case GuardedAction::Options:
        return level == LevelTechnician || level == LevelAdministrator || level == LevelService;
    case GuardedAction::NetworkDockSetup:
    case GuardedAction::SendDockConfiguration:
    case GuardedAction::AdvancedDockSettings:
        return level == LevelAdministrator || level == LevelService;
    }
    return false;
}

QString RefusalText(GuardedAction action)
{
    switch (action) {
    case GuardedAction::Options:
        return QStringLiteral("The User ID does not have Adminstrative or Technician Level rights to modify the Software Options!");
    case GuardedAction::NetworkDockSetup:
        return QStringLiteral("The User ID does not have Adminstrative Level rights to modify the Dock Network Setup!");
    case GuardedAction::SendDockConfiguration:
    case GuardedAction::AdvancedDockSettings:
        return QStringLiteral("The User ID does not have Adminstrative Level rights to modify the Dock Configuration!");
    }
    return {};
}

bool RightsCheck(GuardedAction action, int softwareType, bool loginSuppressed, const std::function<void()>& showLogin,
                 Prompter& prompter)
{
    LocalDebugString(QStringLiteral("RightsCheck"), lcApp());
    if (LoginBypassed(action, softwareType, loginSuppressed)) {
        UserLevel = LevelAdministrator;
        LoginResult = LoginAccepted;
    } else {
        // The dialog decides; without one nothing is decided.
        LoginResult = LoginNoDecision;
        if (showLogin) {
            showLogin();
        }
    }
    switch (LoginResult) {
    case LoginAccepted:
        if (LevelAccepted(action, UserLevel)) {
            return true;
        }
        prompter.inform(RefusalText(action));
        return false;
    case LoginWrong:
        prompter.inform(QStringLiteral("User ID and Password are not valid!"));
        return false;
    default:
        return false;
    }
}

namespace {
TRightsContext& rightsContext()
{
    static TRightsContext context;
    return context;
}
} // namespace

void SetRightsContext(TRightsContext context)
{
    rightsContext() = std::move(context);
}

bool RightsCheck(GuardedAction action, Prompter& prompter)
{
    const TRightsContext& c = rightsContext();
    const int softwareType = c.softwareType ? c.softwareType() : 10;
    const bool suppressed = c.loginSuppressed ? c.loginSuppressed() : false;
    return RightsCheck(action, softwareType, suppressed, c.showLogin, prompter);
}

} // namespace vx8
