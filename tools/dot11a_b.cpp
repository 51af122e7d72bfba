// The desktop application: starts the library, runs the main window until the
// user closes it, and stops the library. Runs on a desktop, under Xvfb and on
// Qt's offscreen platform.
#include <QApplication>
#include <exception>
#include <iostream>

#include "dot11a/library.hpp"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Veltora 802.11a");
  int status = 0;
  Dot11a_b_libInitialize();
  try {
    mlfDot11a_b();
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    status = 1;
  }
  Dot11a_b_libTerminate();
  return status;
}
