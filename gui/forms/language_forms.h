// Puts the program's language into effect: normalises the language code, fills the text
// table and, for English, gives the loaded forms their English captions. which: 0 the start
// form and the configuration window; 2 the About form; 3 the status window; other values
// the text table only. Qt's own dialogs and context menus follow the language too, with the
// translations of Debian's Qt package. User-interface thread only.
#pragma once

namespace global {

void SetEnglishTexts(int which);

// Qt's own texts (file dialogs, message box buttons, context menus) in German unless the
// language code is "1033". True when they speak the program's language.
bool ApplyQtLanguage();

}  // namespace global
