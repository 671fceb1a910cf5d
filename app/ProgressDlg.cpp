#include "ProgressDlg.h"

#include "image/work/Progress.h"
#include "ui_Progress.h"

#include <QCloseEvent>
#include <QTimer>

#include <algorithm>

namespace {

// The bar's range when the total is known: fine enough for any picture.
constexpr int kSteps = 1000;

} // namespace

TProgressDlg::TProgressDlg(QWidget* parent, TProgress& progress, const QString& text)
    : QDialog(parent), ui(std::make_unique<Ui::TProgressDlg>()), progress_(progress)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    ui->Label1->setText(text);
    // The bar follows the work a few times a second; the worker only counts.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &TProgressDlg::Update);
    timer->start(50);
    Update();
}

TProgressDlg::~TProgressDlg() = default;

void TProgressDlg::Update()
{
    const qint64 total = progress_.Total();
    if (total <= 0) {
        ui->ProgressBar1->setRange(0, 0); // busy: nothing known about the share
        return;
    }
    const qint64 done = std::clamp<qint64>(progress_.Done(), 0, total);
    ui->ProgressBar1->setRange(0, kSteps);
    ui->ProgressBar1->setValue(int(done * kSteps / total));
}

void TProgressDlg::reject()
{
    if (progress_.Cancelled())
        return;
    progress_.Cancel();
    ui->Label1->setText(tr("Cancelling…"));
    ui->CancelBtn->setEnabled(false);
}

void TProgressDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    reject();
}
