// Starts Velmoth: the one window, filled before it is first shown; the program
// ends when the window closes. It takes no command-line arguments.
#include <QApplication>
#include <csignal>

#include "app/qt/frm_main.h"
#include "files/file_system.h"

int main(int argc, char* argv[]) {
  // A file-size limit shows up as a failed write that the operator is told
  // about, not as a killed process.
  std::signal(SIGXFSZ, SIG_IGN);
  // A requeue holds each batch's parked files open until they are deleted.
  velmoth::RaiseOpenFileLimit();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmoth"));
  QApplication::setDesktopFileName(QStringLiteral("velmoth"));
  const auto log = velmoth::OpenSystemLog();
  velmoth::qt::FrmMain window(log.get());
  window.Form_Load();
  window.show();
  return QApplication::exec();
}
