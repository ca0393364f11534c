#include "gui/forms/language_forms.h"

#include "gui/core/language_texts.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_start.h"
#include "gui/forms/frm_status.h"

#include <QLabel>

namespace global {

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
