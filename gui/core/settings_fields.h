// The numeric fields of the settings dialogs (network scan range, BACnet settings): a text
// box of digits with an up/down pair whose limits are the field's range. An emptied field
// becomes the lower limit; a value beyond a limit becomes the limit, with "Wert zu niedrig"
// or "Wert zu hoch". Pure functions; the dialogs show the messages and write the texts.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace settings_fields {

struct Correction {
  QString text;  // what the field must show instead
  const char* message;  // "Wert zu niedrig", "Wert zu hoch", or null for none
};

// The correction for a field's new text, nothing when the text stands. A text that is not a
// number (pasted past the key filter) is treated like an emptied field.
std::optional<Correction> Check(const QString& text, int64_t lower, int64_t upper);

// The number a checked field holds; the lower limit for a text that holds none.
int64_t Value(const QString& text, int64_t lower);

// One click on the up/down pair; nothing when the text holds no number.
std::optional<QString> StepUp(const QString& text, int64_t lower, int64_t upper);
std::optional<QString> StepDown(const QString& text, int64_t lower, int64_t upper);

// Digits, Backspace (8) and 127 pass; every other key is discarded.
bool KeyAllowed(int key);

}  // namespace settings_fields
