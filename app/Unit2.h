// The help dialog, declared in forms/Unit2.ui: created once, hidden, and shown
// modally on every "Help".
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class THelpDlg;
}

class THelpDlg : public QDialog {
    Q_OBJECT
public:
    explicit THelpDlg(QWidget* parent = nullptr);
    ~THelpDlg() override;

    // Shows the dialog centred on the screen and waits until it closes;
    // returns the modal result (1 for "OK").
    int ShowModal();

private:
    std::unique_ptr<Ui::THelpDlg> ui;
};

// The help dialog of the process.
extern THelpDlg* HelpDlg;
