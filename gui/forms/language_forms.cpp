#include "gui/forms/language_forms.h"

#include "gui/core/language_texts.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_start.h"

namespace global {

void SetEnglishTexts(int which)
{
  if (!ApplyLanguageCode())
    return;
  if (which == 0) {
    if (frm_start* start = frm_start::Loaded())
      start->SetEnglishTexts();
    frm_config::Instance()->SetEnglishTexts();
  }
}

}  // namespace global
