// The program's entry once the application object stands: message boxes, start values and
// working folders beside the program, then the start form.
#pragma once

namespace global {

void Main();

}  // namespace global
