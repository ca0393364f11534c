// Puts the program's language into effect: normalises the language code, fills the text
// table and, for English, gives the loaded forms their English captions. which: 0 the start
// form and the configuration window; 3 the status window; other values the text table only.
#pragma once

namespace global {

void SetEnglishTexts(int which);

}  // namespace global
