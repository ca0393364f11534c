// Puts the program's language into effect: normalises the language code, fills the text
// table, gives loaded forms their English captions (which: 0 the start form and the
// configuration window, 3 the status window, else the table only) and lets Qt's own dialogs
// and context menus speak German from Debian's translations. User-interface thread only.
#pragma once

namespace global {

void SetEnglishTexts(int which);

// Qt's own texts (file dialogs, message box buttons, context menus) in German unless the
// language code is "1033". True when they speak the program's language.
bool ApplyQtLanguage();

}  // namespace global
