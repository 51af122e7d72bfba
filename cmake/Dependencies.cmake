# Libraries the components link, found once.

# The graphics layer, the windows and the host program: Qt 6 Widgets with the
# Designer layout loader, printing (plot export) and QCustomPlot for the axes.
# Without DOT11A_GUI nothing of Qt is looked for.
if(DOT11A_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets UiTools PrintSupport Test)
  find_package(QCustomPlotQt6 QUIET)
  if(TARGET QCustomPlotQt6::QCustomPlotQt6)
    set(DOT11A_QCUSTOMPLOT QCustomPlotQt6::QCustomPlotQt6)
  else()
    find_library(DOT11A_QCUSTOMPLOT_LIB NAMES qcustomplot-qt6 qcustomplotqt6 REQUIRED)
    set(DOT11A_QCUSTOMPLOT ${DOT11A_QCUSTOMPLOT_LIB})
  endif()
endif()

# The inverse FFT of the OFDM symbols; single precision for the receiver's
# spectrum estimates (part of the same Debian package).
pkg_check_modules(fftw3 REQUIRED IMPORTED_TARGET fftw3)
pkg_check_modules(fftw3f REQUIRED IMPORTED_TARGET fftw3f)

# MAT version 5 files: parameter files, the stored configuration, waveform
# containers.
pkg_check_modules(matio REQUIRED IMPORTED_TARGET matio)
pkg_check_modules(zlib REQUIRED IMPORTED_TARGET zlib)

# SHA-512 of SigMF data files, recorded in their metadata and checked on reading.
pkg_check_modules(nettle REQUIRED IMPORTED_TARGET nettle)
