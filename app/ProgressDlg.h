// The progress dialog of long work, declared in forms/Progress.ui: what is
// being done, the share done (a busy bar while the total is unknown) and a
// Cancel button. It is modal to its window, so that nothing else reaches that
// window while the work runs.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TProgressDlg;
}

class TProgress;

class TProgressDlg : public QDialog {
    Q_OBJECT
public:
    TProgressDlg(QWidget* parent, TProgress& progress, const QString& text);
    ~TProgressDlg() override;

    // Shows the share the work has reported so far.
    void Update();

    // Cancel, Escape and the dialog's close button ask the work to stop; the
    // dialog stays until the work has actually stopped, since the picture is
    // not safe to use before, and then its owner hides it.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::TProgressDlg> ui;
    TProgress& progress_;
};
