#pragma once

#include <QDialog>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTabWidget;

namespace vx8 {

// The about box (Help, About; not modal): product, version, build, program file date, legal
// notice, a page of system information and the instrument firmware file in use. The right-click
// menu of the instrument picture switches the software type to one of the special modes, which
// take full effect after a restart.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // Fills every label from the current state; runs each time the box is shown.
    void Refresh();

    QTabWidget* pages = nullptr;
    QLabel* lblProduct = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblBuild = nullptr;
    QLabel* lblFileDate = nullptr;
    QLabel* lblLegal = nullptr;
    QLabel* imgInstrument = nullptr;
    QPlainTextEdit* memSystem = nullptr;
    QLabel* lblFlashFile = nullptr;
    QLabel* lblCompanyWeb = nullptr;
    QLabel* lblCorporateWeb = nullptr;
    QLabel* lblUpdateWeb = nullptr;

    QMenu* mnuSpecialMode = nullptr;
    QAction* mnuNormal = nullptr;
    QAction* mnuFlashOnly = nullptr;
    QAction* mnuDownloadAndFlash = nullptr;
    QAction* mnuFlashAndCal = nullptr;
    QAction* mnuSerialUpdate = nullptr;

    // The special-mode menu's items.
    void NormalClick();
    void FlashOnlyClick();
    void DownloadAndFlashClick();
    void FlashAndCalClick();
    void SerialUpdateClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check(QAction* item);
    bool askSpecialMode(const QString& question);
};

} // namespace vx8
