#include "app/database/DBLoginDialog.h"

#include "common/db/DBLogin.h"
#include "common/Prompter.h"
#include "common/Trace.h"
#include "common/db/ResultsDatabase.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

namespace vx8 {

namespace {
// The login key filter, applied to typed and pasted text alike: text with a character the filter
// does not allow is refused as a whole (and the edit beeps).
class LoginKeyValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        return LoginTextAllowed(input) ? Acceptable : Invalid;
    }
};
} // namespace

TfrmDBLogin::TfrmDBLogin(Prompter* prompter, QWidget* parent) : QDialog(parent), m_prompter(prompter)
{
    LocalDebugString(QStringLiteral("FormCreate"));
    setObjectName(QStringLiteral("frmDBLogin"));
    setWindowTitle(QStringLiteral("Security Login"));
    setModal(true);

    auto* lblUser = new QLabel(QStringLiteral("User ID:"), this);
    auto* lblPW = new QLabel(QStringLiteral("Password:"), this);
    edtUserID = new QLineEdit(this);
    edtUserID->setObjectName(QStringLiteral("edtUserID"));
    edtPW = new QLineEdit(this);
    edtPW->setObjectName(QStringLiteral("edtPW"));
    edtPW->setEchoMode(QLineEdit::Password);
    for (QLineEdit* e : {edtUserID, edtPW}) {
        e->setValidator(new LoginKeyValidator(e));
        connect(e, &QLineEdit::inputRejected, this, [] { QApplication::beep(); });
    }
    lblUser->setBuddy(edtUserID);
    lblPW->setBuddy(edtPW);

    cb_OK = new QPushButton(QStringLiteral("&OK"), this);
    cb_OK->setObjectName(QStringLiteral("cb_OK"));
    cb_OK->setDefault(true);
    cb_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cb_Cancel->setObjectName(QStringLiteral("cb_Cancel"));
    connect(cb_OK, &QPushButton::clicked, this, &TfrmDBLogin::cb_OKClick);
    connect(cb_Cancel, &QPushButton::clicked, this, &TfrmDBLogin::cb_CancelClick);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setVerticalSpacing(4);
    grid->addWidget(lblUser, 0, 0);
    grid->addWidget(edtUserID, 0, 1);
    grid->addWidget(lblPW, 1, 0);
    grid->addWidget(edtPW, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cb_OK);
    buttons->addWidget(cb_Cancel);
    grid->addLayout(buttons, 2, 0, 1, 2);

    // A fixed, small dialog; it grows only as far as the fonts of the desktop need.
    resize(250, 101);
    setFixedSize(sizeHint().expandedTo(QSize(250, 101)));

    LoginResult = LoginNoDecision;
    edtUserID->clear();
    edtPW->clear();
}

void TfrmDBLogin::showEvent(QShowEvent* event)
{
    if (parentWidget()) {
        const QRect owner = parentWidget()->window()->geometry();
        move(owner.center() - rect().center());
    }
    edtUserID->setFocus();
    QDialog::showEvent(event);
}

void TfrmDBLogin::cb_OKClick()
{
    LocalDebugString(QStringLiteral("cb_OKClick"));
    LoginResult = LoginNoDecision;
    UserLevel = LevelUser;
    const bool connected = db::ResultsDatabase::connected();
    const TLoginCheck check = CheckLogin(edtUserID->text(), edtPW->text(), connected, db::ResultsDatabase::settings());
    LoginResult = check.result;
    UserLevel = check.level;
    if (!check.error.isEmpty() && m_prompter) {
        m_prompter->warn(QStringLiteral("Database Connection Failed"));
    }
    accept();
}

void TfrmDBLogin::cb_CancelClick()
{
    LocalDebugString(QStringLiteral("cb_CancelClick"));
    LoginResult = LoginNoDecision;
    reject();
}

void TfrmDBLogin::done(int r)
{
    // Closing by the window's close box or Escape decides nothing either.
    if (r != QDialog::Accepted) {
        LoginResult = LoginNoDecision;
    }
    QDialog::done(r);
    FormClose();
}

void TfrmDBLogin::FormClose()
{
    LocalDebugString(QStringLiteral("FormClose"));
    edtUserID->clear();
    edtUserID->setFocus();
    edtPW->clear();
}

} // namespace vx8
