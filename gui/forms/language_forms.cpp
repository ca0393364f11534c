#include "gui/forms/language_forms.h"

#include "gui/core/language_texts.h"
#include "gui/core/program_state.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_start.h"
#include "gui/forms/frm_status.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace global {

bool ApplyQtLanguage()
{
  static QTranslator german;
  static bool loaded = false;
  QCoreApplication::removeTranslator(&german);
  if (LanguageCode == "1033")
    return true;
  if (!loaded)
    loaded = german.load(QLocale(QLocale::German), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  return loaded && QCoreApplication::installTranslator(&german);
}

void SetEnglishTexts(int which)
{
  if (!ApplyLanguageCode()) {
    if (frmState* state = frmState::Existing())
      state->lblTxt->setText("Warten ...");
    return;
  }
  if (which == 0) {
    if (frm_start* start = frm_start::Loaded())
      start->SetEnglishTexts();
    frm_config::Instance()->SetEnglishTexts();
  } else if (which == 3) {
    if (frmState* state = frmState::Existing())
      state->SetEnglishTexts();
  }
}

}  // namespace global
