// The desktop application: starts the library, runs the main window until the
// user closes it, and stops the library. Runs on a desktop, under Xvfb and on
// Qt's offscreen platform.
#include <QApplication>
#include <QCommandLineParser>
#include <exception>
#include <iostream>

#include "dot11a/library.hpp"
#include "dot11a/window_pictures.hpp"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Veltora 802.11a");

  // --family chooses the signal generator family the window serves: "b"
  // (RS232 and GPIB) or "c" (GPIB and TCP/IP, baseband generator options).
  // (Qt itself takes -platform, the display platform, before this parser.)
  QCommandLineParser parser;
  parser.setApplicationDescription("Edit, calculate, plot and download IEEE 802.11a frames.");
  parser.addHelpOption();
  const QCommandLineOption family(
      "family", "Signal generator family: b (RS232, GPIB) or c (GPIB, TCP/IP).", "b|c", "b");
  parser.addOption(family);
  // --plot-spectrum CAPTURE OUT.png draws the capture's averaged spectrum with
  // the mask as the window's view does, saves it and ends (with
  // QT_QPA_PLATFORM=offscreen it needs no display).
  const QCommandLineOption spectrum(
      "plot-spectrum",
      "Save the averaged spectrum of CAPTURE with the transmit mask as the PNG named after it, "
      "and end.",
      "CAPTURE");
  parser.addOption(spectrum);
  parser.addPositionalArgument("OUT.png", "The picture --plot-spectrum writes.");
  parser.process(app);
  if (parser.isSet(spectrum)) {
    if (parser.positionalArguments().size() != 1) {
      std::cerr << "dot11a_b: --plot-spectrum CAPTURE takes the picture's file name after it.\n";
      return 2;
    }
    const std::string out = parser.positionalArguments().front().toStdString();
    dot11a::LibrarySession library;
    try {
      const std::string mask =
          dot11a::saveAveragedSpectrumPicture(parser.value(spectrum).toStdString(), out);
      std::cout << out << ": " << mask << "\n";
      return 0;
    } catch (const std::exception& e) {
      std::cerr << "dot11a_b: " << e.what() << "\n";
      return 1;
    }
  }
  const QString chosen = parser.value(family);
  if (chosen != "b" && chosen != "c") {
    std::cerr << "dot11a_b: --family must be b or c, not \"" << chosen.toStdString() << "\".\n";
    return 2;
  }
  if (parser.isSet(family)) qputenv("DOT11A_PLATFORM", chosen.toUtf8());

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
