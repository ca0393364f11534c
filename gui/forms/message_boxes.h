// Shows the program's messages in real message boxes: an OK button, the program's title and
// the icon the message asks for. Installed once at start; tests install their own handler.
#pragma once

namespace forms {

void InstallMessageBoxes();

}  // namespace forms
