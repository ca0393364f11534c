#include "gui/core/language_texts.h"

#include "gui/core/program_state.h"

namespace global {
namespace {

struct TextRow {
  const char* german;
  const char* english;
};

// Fan stages (0..7), room occupancy (8, 9), header texts of the parameter file (10..15).
const TextRow kTextTable[] = {
    {"Aus", "Off"},
    {"1. Stufe", "Stage 1"},
    {"2. Stufe", "Stage 2"},
    {"3. Stufe", "Stage 3"},
    {"Auto Aus", "Auto Off"},
    {"Auto 1. Stufe", "Auto Stage 1"},
    {"Auto 2. Stufe", "Auto Stage 2"},
    {"Auto 3. Stufe", "Auto Stage 3"},
    {"Raum nicht belegt", "Room unoccupied"},
    {"Raum belegt", "Room occupied"},
    {"Als Trennzeichen Semikolon ; verwenden!", "Use ; as seperator!"},
    {"Konfigurationsbit", "Configuration bit"},
    {"Baudrate: ", "Baud rate: "},
    {"Modus: ", "Mode: "},
    {"Parität: ", "Parity: "},
    {"Adresse: ", "Address: "},
};

void fill_text_table(bool english)
{
  int i = 0;
  for (const TextRow& row : kTextTable)
    TextTable[i++] = QString::fromUtf8(english ? row.english : row.german);
}

}  // namespace

void FillGermanTextTable()
{
  TextTable.fill(QString());
  fill_text_table(false);
}

bool ApplyLanguageCode()
{
  if (LanguageCode != "1033" && LanguageCode != "1031")
    LanguageCode = "1031";
  fill_text_table(IsEnglish());
  return IsEnglish();
}

bool IsEnglish() { return LanguageCode == "1033"; }

QString InLanguage(const char* german, const char* english)
{
  return QString::fromUtf8(IsEnglish() ? english : german);
}

}  // namespace global
