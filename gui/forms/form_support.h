// Small helpers every form uses: centring a form on the screen when it loads (a form that
// was given a size keeps it), and setting captions from a table of control names (the empty
// name stands for the form itself).
#pragma once

#include <span>

class QWidget;

namespace forms {

struct Caption {
  const char* control;
  const char* text;  // UTF-8
};

void CentreOnScreen(QWidget* form);
void ApplyCaptions(QWidget* form, std::span<const Caption> captions);

}  // namespace forms
