// The configuration program ZOR17-RS485: sets its defaults and shows the start form; the
// program ends when its last window closes.
#include "gui/forms/program_main.h"

#include <QApplication>

int main(int argc, char** argv)
{
  QApplication app(argc, argv);
  app.setApplicationName("ZOR17-RS485");
  global::Main();
  return app.exec();
}
