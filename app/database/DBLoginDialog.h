#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vx8 {

class Prompter;

// "Security Login": user ID and password, checked against the users table of the results
// database (or the service account). Created once and reused; it always opens empty. Sets
// LoginResult and UserLevel (DBLogin.h).
class TfrmDBLogin : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmDBLogin(Prompter* prompter, QWidget* parent = nullptr);

    QLineEdit* edtUserID = nullptr;
    QLineEdit* edtPW = nullptr;
    QPushButton* cb_OK = nullptr;
    QPushButton* cb_Cancel = nullptr;

    void cb_OKClick();
    void cb_CancelClick();

    void done(int r) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormClose();
    Prompter* m_prompter;
};

} // namespace vx8
