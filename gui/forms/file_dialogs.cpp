#include "gui/forms/file_dialogs.h"

#include <QFileDialog>

namespace forms {
namespace {

FileDialogAnswer& answer()
{
  static FileDialogAnswer a;
  return a;
}

}  // namespace

void SetFileDialogAnswer(FileDialogAnswer a) { answer() = std::move(a); }

QString OpenFileName(QWidget* parent, const QString& filter)
{
  if (answer())
    return answer()(false, filter);
  return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString SaveFileName(QWidget* parent, const QString& filter, const QString& suffix)
{
  if (answer())
    return answer()(true, filter);
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(filter);
  dialog.setDefaultSuffix(suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return QString();
  return dialog.selectedFiles().constFirst();
}

}  // namespace forms
