// The file dialogs of the configuration window: open and save, with a name filter such as
// "Textfile (*.txt)". They return the chosen path, or an empty text when the user cancels.
// Tests answer them in place of a user. User-interface thread only.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace forms {

QString OpenFileName(QWidget* parent, const QString& filter);
// A name without a suffix gets the filter's suffix.
QString SaveFileName(QWidget* parent, const QString& filter, const QString& suffix);

// Answers every dialog from now on (save tells which one asks); an empty function brings
// the real dialogs back.
using FileDialogAnswer = std::function<QString(bool save, const QString& filter)>;
void SetFileDialogAnswer(FileDialogAnswer answer);

}  // namespace forms
