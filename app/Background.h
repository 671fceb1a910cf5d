// Long work off the window's thread: reading, writing and the commands on a
// large picture run on the work pool while the window goes on painting. The
// call waits for the work (in an event loop) and returns only when it is over
// or cancelled, so a handler stays the few lines of a plain call and
// commands never overlap.
#pragma once

#include <QString>

#include <functional>

class QWidget;
class TBitmap;
class TProgress;

// Runs work on the work pool and returns once it has ended. Meanwhile the
// window paints and its timers run; input to it waits, and once the progress
// dialog shows it is dropped. When the work takes longer than the dialog's
// delay a progress dialog beside the window shows what is being done
// ("Saving “name”…", doing and file; a long name shortened in the middle,
// the whole path its tooltip), the share done and Cancel.
//
// Returns true after the work completed and finish (optional) ran on this
// thread. Returns false at once when the user cancelled: the work is left to
// stop on its own and its result is thrown away (finish does not run). What
// the work throws is thrown again here, on the calling thread. A close of
// the window meanwhile waits until the work is over or cancelled and then
// closes it. Work that needs what a cancelled work still holds waits for it
// to end first, so that at most one cancelled work runs.
bool RunInBackground(QWidget* window, const QString& doing, const QString& file,
                     std::function<void(TProgress&)> work, const std::function<void()>& finish = {});

// Runs command on a copy of bitmap on the work pool; the copy takes the
// bitmap's place only once the command completed and was not cancelled, so
// the window never shows a half-changed picture and a cancelled command
// changes nothing. Returns what RunInBackground returns.
bool ChangeInBackground(QWidget* window, const QString& doing, TBitmap& bitmap,
                        std::function<void(TBitmap&, TProgress&)> command);

// True while a RunInBackground waits for its work.
bool BackgroundWorkRunning();

// True while a cancelled work still runs to its end.
bool CancelledWorkRunning();
// Waits until no cancelled work runs: before the program ends.
void WaitForCancelledWork();

// What tests change to watch the work; the program keeps the defaults.
struct TBackgroundHooks {
    // How long work runs before its progress dialog shows, in milliseconds.
    int dialogDelay = 500;
    // Runs each work on the pool in its place: calls work, or not. Tests
    // hold the work here, set the progress's watch to hold it later, or run
    // it as another user.
    std::function<void(TProgress&, const std::function<void()>& work)> aroundWork;
};
extern TBackgroundHooks BackgroundHooks;
