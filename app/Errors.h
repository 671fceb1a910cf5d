// What the user is told when something fails, and what libraries print kept
// off the terminal.
#pragma once

#include <QString>

class QWidget;

// The message of the exception being handled, as a full sentence for the
// user: the text of the picture layer's exceptions, a plain statement for a
// failed allocation, a readable sentence for any other kind. Call only inside
// a catch block.
QString ExceptionMessage();

// The standard error display: a message box over parent with the message.
void ShowErrorBox(QWidget* parent, const QString& message);

// Routes what the picture libraries print (Qt's image plugins' warnings,
// the TIFF library's own errors and warnings) to the logging category
// "imagebench.libraries", which is off unless QT_LOGGING_RULES turns its
// debug level on: the failure itself reaches the user as a message naming
// the file. Everything else goes where it went before. Call once, early.
void RouteLibraryMessages();
