// Ending the program, from "Beenden" or the configuration window's close box: a running
// backend job that reads or scans is cancelled first; a job that writes into the unit is let
// finish, so the unit is never left half-written, and its wait window says so and shows how
// the write went before the end. Then every window closes and the event loop ends.
// User-interface thread only.
#pragma once

#include <functional>

namespace forms {

void EndProgram();

// Called by a wait window once its job's outcome has been shown, messages included: an end
// that waited for the write takes place now.
void JobOutcomeShown();

// True from EndProgram until the windows have been closed.
bool ProgramEnding();

// What ends the event loop once the windows are closed; an empty function restores
// QCoreApplication::quit. Tests put a recorder here.
void SetEventLoopEnd(std::function<void()> end);

}  // namespace forms
