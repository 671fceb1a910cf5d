// Long work off the window's thread: reading, writing and the commands on a
// large picture run on a worker while the window goes on painting. The call
// waits for the work (in an event loop) and returns only when it is over, so
// a handler stays the few lines of a plain call and commands never overlap.
#pragma once

#include <QString>

#include <functional>

class QWidget;
class TBitmap;
class TProgress;

// Runs work on a worker thread and returns once it has ended. Meanwhile the
// window paints and its timers run; input to it waits. When the work takes
// longer than BackgroundDialogDelay a progress dialog modal to the window
// shows text, the share done and Cancel.
//
// Returns true after the work completed and finish (optional) ran on this
// thread. Returns false when the user cancelled: the work threw TCancelled,
// or it completed after Cancel and its result is dropped (finish does not
// run). Whatever else the work throws is thrown again here, on the calling
// thread. A close of the window meanwhile waits until the work is over and
// then closes it.
bool RunInBackground(QWidget* window, const QString& text, const std::function<void(TProgress&)>& work,
                     const std::function<void()>& finish = {});

// Runs command on a copy of bitmap off the window's thread; the copy takes
// the bitmap's place only once the command completed and was not cancelled,
// so the window never shows a half-changed picture and a cancelled command
// changes nothing. Returns what RunInBackground returns.
bool ChangeInBackground(QWidget* window, const QString& text, TBitmap& bitmap,
                        const std::function<void(TBitmap&, TProgress&)>& command);

// True while a RunInBackground waits for its work.
bool BackgroundWorkRunning();

// How long work runs before its progress dialog shows, in milliseconds.
extern int BackgroundDialogDelay;

// Runs on the worker before each work (tests hold the work here until they
// have done what they test meanwhile); empty in the program.
extern std::function<void(TProgress&)> BeforeBackgroundWork;
