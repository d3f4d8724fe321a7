#pragma once

#include <QWidget>

class QLabel;

namespace vx8 {

// The splash window shown while the docks are loading: a borderless picture with the product,
// its version and "Loading, Please Wait.....". Creating it sets the main window's ProgramVersion
// and ProgramVersionFull.
class TfrmStartUp1 : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmStartUp1(QWidget* owner = nullptr);

    QLabel* lblStartUp = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* FOwner;
};

} // namespace vx8
