// The configuration program: sets its defaults and shows the start form.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("ZOR17-RS485");
  window.show();
  return app.exec();
}
