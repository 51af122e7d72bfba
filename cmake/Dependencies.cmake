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
# libmatio is opened when a MAT file is first read or written (see
# src/core/matfile.cpp), by the name of its run-time library (its SONAME);
# the Debian package names that library's package, which dpkg-shlibdeps
# cannot see.
find_library(DOT11A_MATIO_LIBRARY matio HINTS ${matio_LIBRARY_DIRS} REQUIRED)
find_program(DOT11A_OBJDUMP NAMES objdump REQUIRED)
execute_process(COMMAND ${DOT11A_OBJDUMP} -p ${DOT11A_MATIO_LIBRARY}
  OUTPUT_VARIABLE _matio_headers RESULT_VARIABLE _matio_dump)
string(REGEX MATCH "SONAME +([^ \n]+)" _matio_soname "${_matio_headers}")
set(DOT11A_MATIO_SONAME "${CMAKE_MATCH_1}")
if(NOT _matio_dump EQUAL 0 OR NOT DOT11A_MATIO_SONAME MATCHES "^lib[a-z]+\\.so\\.[0-9]+$")
  message(FATAL_ERROR "Cannot tell the run-time name of ${DOT11A_MATIO_LIBRARY}")
endif()
string(REGEX REPLACE "^lib([a-z]+)\\.so\\.([0-9]+)$" "lib\\1\\2" DOT11A_MATIO_PACKAGE
  "${DOT11A_MATIO_SONAME}")
pkg_check_modules(zlib REQUIRED IMPORTED_TARGET zlib)

# SHA-512 of SigMF data files, recorded in their metadata and checked on reading.
pkg_check_modules(nettle REQUIRED IMPORTED_TARGET nettle)
