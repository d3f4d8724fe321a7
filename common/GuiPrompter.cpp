#include "Prompter.h"

#include <QApplication>
#include <QMessageBox>

namespace vx8 {

Prompter::Button GuiPrompter::ask(Kind kind, const QString& text, Buttons buttons, Button defaultButton,
                                  const QString& title)
{
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
    case Kind::Information:
        icon = QMessageBox::Information;
        break;
    case Kind::Warning:
        icon = QMessageBox::Warning;
        break;
    case Kind::Error:
        icon = QMessageBox::Critical;
        break;
    case Kind::Confirmation:
        icon = QMessageBox::Question;
        break;
    }
    // Our button values are QMessageBox's standard buttons renamed; map them one by one.
    const QList<QPair<Button, QMessageBox::StandardButton>> map = {
        {Ok, QMessageBox::Ok},         {Cancel, QMessageBox::Cancel},     {Yes, QMessageBox::Yes},
        {No, QMessageBox::No},         {Abort, QMessageBox::Abort},       {Retry, QMessageBox::Retry},
        {Ignore, QMessageBox::Ignore}, {YesToAll, QMessageBox::YesToAll}, {NoToAll, QMessageBox::NoToAll},
    };
    QMessageBox::StandardButtons std;
    QMessageBox::StandardButton stdDefault = QMessageBox::NoButton;
    for (const auto& [ours, theirs] : map) {
        if (buttons.testFlag(ours)) {
            std |= theirs;
        }
        if (ours == defaultButton) {
            stdDefault = theirs;
        }
    }
    QMessageBox box(icon, title.isEmpty() ? QApplication::applicationDisplayName() : title, text, std,
                    m_parent);
    box.setDefaultButton(stdDefault);
    const int chosen = box.exec();
    for (const auto& [ours, theirs] : map) {
        if (theirs == chosen) {
            return ours;
        }
    }
    return buttons.testFlag(Cancel) ? Cancel : defaultButton;
}

} // namespace vx8
