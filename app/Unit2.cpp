#include "Unit2.h"

#include "ui_Unit2.h"

#include <QScreen>

THelpDlg* HelpDlg = nullptr;

THelpDlg::THelpDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::THelpDlg>())
{
    ui->setupUi(this);
    // A fixed dialog frame: no resizing, no context-help button.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(384, 179);
}

THelpDlg::~THelpDlg() = default;

int THelpDlg::ShowModal()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    return exec();
}
