// The display text table in German and English and the language code's normalisation.
// The forms apply their own English captions; this module only owns the shared table.
// User-interface thread only.
#pragma once

#include <QString>

namespace global {

// Fills entries 0..15 of the text table with the German texts and empties 16..20.
void FillGermanTextTable();

// Turns any language code other than "1031" and "1033" into "1031" and fills the text table
// in that language. True when the program speaks English.
bool ApplyLanguageCode();

bool IsEnglish();  // the language code is "1033"

// A message of the program's own beyond the designed texts: the German text, or the English
// one when the program speaks English. Both are UTF-8.
QString InLanguage(const char* german, const char* english);

}  // namespace global
