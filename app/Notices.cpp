#include "Notices.h"

#include <QLabel>
#include <QStatusBar>

void ShowNotices(QStatusBar* bar, const QStringList& notices)
{
    auto* panel = bar->findChild<QLabel*>(QStringLiteral("NoticePanel"), Qt::FindDirectChildrenOnly);
    if (!panel) {
        if (notices.isEmpty())
            return;
        panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("NoticePanel"));
        panel->setAccessibleDescription(QStringLiteral("What the file could not keep"));
        bar->addPermanentWidget(panel);
    }
    const QString text = notices.join(QLatin1Char(' '));
    panel->setText(text);
    panel->setToolTip(text);
}
