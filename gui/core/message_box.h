// The one road by which the configuration program tells the user something: every message
// box goes through MsgBox with the program's title. The forms install the handler that shows
// a real box; tests install one that records the texts. Runs on the user-interface thread;
// holds no widget itself, so the core stays usable without a display.
#pragma once

#include <QString>
#include <functional>

enum class MsgIcon { None, Exclamation, Critical, Information };

// Title of every message box of the program.
inline constexpr const char* ProgramTitle = "ZOR17-RS485";

using MessageHandler = std::function<void(const QString& title, const QString& text, MsgIcon icon)>;

// Shows the text with an OK button; without a handler the text goes to the error output.
void MsgBox(const QString& text, MsgIcon icon = MsgIcon::None);

// Installs a handler and returns the one it replaces.
MessageHandler SetMessageHandler(MessageHandler handler);
