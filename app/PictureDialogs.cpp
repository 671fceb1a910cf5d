#include "PictureDialogs.h"

#include <QFileDialog>
#include <QImageReader>
#include <QImageWriter>
#include <QStringList>

QString PictureFilter(bool saving)
{
    const QList<QByteArray> kinds =
        saving ? QImageWriter::supportedImageFormats() : QImageReader::supportedImageFormats();
    QStringList patterns;
    QStringList filters;
    for (const QByteArray& kind : kinds) {
        const QString suffix = QString::fromLatin1(kind).toLower();
        patterns << QStringLiteral("*.") + suffix;
        filters << QStringLiteral("%1 (*.%2)").arg(suffix.toUpper(), suffix);
    }
    filters.prepend(QStringLiteral("All pictures (%1)").arg(patterns.join(QLatin1Char(' '))));
    return filters.join(QStringLiteral(";;"));
}

TPictureDialog::TPictureDialog(QWidget* parent, bool saving) : QWidget(parent), saving_(saving)
{
    // A component, not a control: it never shows itself in its window.
    hide();
}

bool TPictureDialog::Execute()
{
    QString chosen = fileName_;
    if (ChooseFileName) {
        if (!ChooseFileName(chosen))
            return false;
    } else {
        QFileDialog dialog(window(), QString(), QString(), PictureFilter(saving_));
        dialog.setAcceptMode(saving_ ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(saving_ ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!fileName_.isEmpty())
            dialog.selectFile(fileName_);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        chosen = dialog.selectedFiles().constFirst();
    }
    fileName_ = chosen;
    return true;
}
