// The menu bar's keys as Windows users know them, on every platform: a lone
// Alt (or F10) highlights the first title, the arrows move along the bar,
// Down or Enter opens a menu, Down on a title that is a command of its own
// chooses it, and Alt with a letter is a menu key, never typing.
#pragma once

#include <functional>

class QEvent;
class QMenuBar;
class QObject;
class QStyle;

class TMenuKeys {
public:
    // Delivers an event the normal way, returning Qt's answer.
    using TDeliver = std::function<bool(QObject*, QEvent*)>;

    // The platform's style with the menu bar's keyboard navigation on.
    static QStyle* Style();

    // Delivers the event the application is about to deliver to receiver,
    // as the menu keys want it delivered, through deliver.
    bool Deliver(QObject* receiver, QEvent* event, const TDeliver& deliver);

private:
    // Follows the keys for a press and release of Alt with no other key
    // between them.
    void WatchAltKey(const QEvent* event);
    // The active window's menu bar when the event is the release of a lone
    // Alt.
    QMenuBar* LoneAltRelease(const QEvent* event);

    bool altAlone_ = false;
};

// The menu bar by keyboard, as F10 or a lone Alt reach it: the first title
// highlighted without opening its menu, the arrows moving along the bar,
// Down or Enter opening a menu; when the bar is highlighted already, it is
// left. Leaving gives the keyboard back to the control that had it.
void HighlightMenuBar(QMenuBar* bar);
