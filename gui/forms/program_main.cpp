#include "gui/forms/program_main.h"

#include "gui/core/program_state.h"
#include "gui/forms/frm_start.h"
#include "gui/forms/message_boxes.h"

#include <QCoreApplication>

namespace global {

void Main()
{
  forms::InstallMessageBoxes();
  StartUp(QCoreApplication::applicationDirPath());
  auto* start = new frm_start;
  start->show();
}

}  // namespace global
