#include "PictureDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMap>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>

namespace {

const QString kAllFiles = QStringLiteral("All files (*)");

// The extensions of each picture kind, the kind named by its file type so
// that "jpg" and "jpeg" (or "tif" and "tiff") make one kind.
QMap<QString, QStringList> Kinds(bool saving)
{
    const QMimeDatabase types;
    QMap<QString, QStringList> kinds;
    const QList<QByteArray> formats =
        saving ? QImageWriter::supportedImageFormats() : QImageReader::supportedImageFormats();
    for (const QByteArray& format : formats) {
        const QString suffix = QString::fromLatin1(format).toLower();
        const QMimeType type = types.mimeTypeForFile(QStringLiteral("x.") + suffix, QMimeDatabase::MatchExtension);
        const QString kind = type.isValid() && !type.isDefault() ? type.name() : suffix;
        if (!kinds[kind].contains(suffix))
            kinds[kind] << suffix;
    }
    // Shorter, commoner extensions first: "*.jpg *.jpeg".
    for (QStringList& suffixes : kinds)
        std::sort(suffixes.begin(), suffixes.end(), [](const QString& a, const QString& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
    return kinds;
}

} // namespace

QStringList PictureFilters(bool saving)
{
    QStringList filters;
    QStringList all;
    for (const QStringList& suffixes : Kinds(saving)) {
        QStringList patterns;
        for (const QString& suffix : suffixes)
            patterns << QStringLiteral("*.") + suffix;
        all << patterns;
        // Named after its longest extension: JPEG, TIFF, PNG.
        filters << QStringLiteral("%1 (%2)").arg(suffixes.constLast().toUpper(), patterns.join(QLatin1Char(' ')));
    }
    std::sort(filters.begin(), filters.end());
    std::sort(all.begin(), all.end());
    filters.prepend(QStringLiteral("All pictures (%1)").arg(all.join(QLatin1Char(' '))));
    filters << kAllFiles;
    return filters;
}

QString FilterExtension(const QString& filter)
{
    if (filter.startsWith(QStringLiteral("All pictures")) || filter == kAllFiles)
        return {};
    const QRegularExpressionMatch first = QRegularExpression(QStringLiteral("\\(\\*\\.([^ )]+)")).match(filter);
    return first.hasMatch() ? first.captured(1) : QString();
}

QString WithFilterExtension(const QString& fileName, const QString& filter)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty() || fileName.endsWith(QLatin1Char('.')))
        return fileName;
    const QString extension = FilterExtension(filter);
    return extension.isEmpty() ? fileName : fileName + QLatin1Char('.') + extension;
}

TPictureDialog::TPictureDialog(QWidget* parent, bool saving) : QWidget(parent), saving_(saving)
{
    // A component, not a control: it never shows itself in its window.
    hide();
}

QString TPictureDialog::StartPath() const
{
    // Named every time, so that neither the working directory (the install
    // folder, when started from a menu) nor the folder Qt's dialogs remember
    // between programs decides it.
    if (!currentPicture_.isEmpty()) {
        const QFileInfo picture(currentPicture_);
        return saving_ ? picture.absoluteFilePath() : picture.absolutePath();
    }
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QDir(pictures).exists() ? pictures : QDir::homePath();
}

bool TPictureDialog::Execute()
{
    QString chosen = StartPath();
    if (ChooseFileName) {
        if (!ChooseFileName(chosen))
            return false;
    } else {
        // The user answers the dialog with the normal pointer, even when a
        // command shows the wait cursor around it.
        struct Arrow {
            Arrow() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
            ~Arrow() { QApplication::restoreOverrideCursor(); }
        } arrow;
        QFileDialog dialog(window());
        dialog.setNameFilters(PictureFilters(saving_));
        if (!filter_.isEmpty())
            dialog.selectNameFilter(filter_);
        dialog.setAcceptMode(saving_ ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(saving_ ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (saving_) {
            // The dialog itself adds the chosen kind's extension to a bare
            // name, so that it asks before replacing the file of that name.
            const auto useFilter = [&dialog](const QString& filter) { dialog.setDefaultSuffix(FilterExtension(filter)); };
            connect(&dialog, &QFileDialog::filterSelected, &dialog, useFilter);
            useFilter(dialog.selectedNameFilter());
        }
        const QString start = StartPath();
        if (QFileInfo(start).isDir()) {
            dialog.setDirectory(start);
        } else {
            dialog.setDirectory(QFileInfo(start).absolutePath());
            dialog.selectFile(start);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        chosen = dialog.selectedFiles().constFirst();
        filter_ = dialog.selectedNameFilter();
    }
    fileName_ = saving_ ? WithFilterExtension(chosen, filter_) : chosen;
    return true;
}
