# The library's components and their one-way dependencies:
#
#   gui    graphics layer, windows, shell (Qt)           -> ops
#   ops    operation table, entry points, Value adapters, -> io model impair rx phy mac core per
#          options by name, sequences from a parameter set
#   io     files, SigMF, PCAP, instrument control          -> model core
#   model  frame jobs and make(): parameter set, bounds,   -> impair phy mac core
#          payload, MAC header, sequences
#   per    the packet-error-rate bench: sweeps of frames  -> rx impair model io
#          made, impaired, decoded and counted
#   rx     the receiver: search, decoding, measurements   -> phy fft mac base
#   impair impairments, channels, frame sequences         -> phy mac base
#   phy    the typed 802.11a chain (std + FFTW)           -> fft mac base
#   fft    FFTW plans (one planning lock), aligned buffers -> base
#   mac    typed bits, checksums (zlib's CRC), payloads  -> base
#   core   Value, MAT files, JSON, dialog service         -> base
#   base   errors and warnings, the vector loops' instruction set
#
# Each is a static library of position-independent code built with hidden
# visibility; Dot11a_b_lib links them all whole and exports the entry points
# and the API the public headers declare. phy, rx and mac see no Value, call by
# name or Qt: the layer check below links each component under the GUI on its
# own and fails on any symbol from a component it does not depend on.

function(dot11a_component name)
  cmake_parse_arguments(C "" "" "SOURCES;DEPENDS;LIBS" ${ARGN})
  add_library(dot11a_${name} STATIC ${C_SOURCES})
  # Hidden by default: the shared library exports what the public headers mark
  # (include/dot11a/export.hpp) and nothing of the components' internals.
  set_target_properties(dot11a_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(dot11a_${name}
    PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
    PRIVATE ${CMAKE_SOURCE_DIR}/src)
  foreach(dep IN LISTS C_DEPENDS)
    target_link_libraries(dot11a_${name} PUBLIC dot11a_${dep})
  endforeach()
  if(C_LIBS)
    target_link_libraries(dot11a_${name} PUBLIC ${C_LIBS})
  endif()
  # Every product and sum rounded as written: no multiply-add contraction,
  # which the AVX-512 copies of the vector loops could otherwise use, so that
  # each copy gives the plain build's results.
  target_compile_options(dot11a_${name} PRIVATE -ffp-contract=off)
  # Below the GUI a shadowed name is a warning, and with DOT11A_WERROR (CI) any
  # warning fails the build.
  if(NOT name STREQUAL "gui")
    target_compile_options(dot11a_${name} PRIVATE -Wshadow $<$<BOOL:${DOT11A_WERROR}>:-Werror>)
  endif()
endfunction()

# The sources of a component folder (recursively).
function(dot11a_glob out dir)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

dot11a_glob(core_sources core)
list(REMOVE_ITEM core_sources ${CMAKE_SOURCE_DIR}/src/core/error.cpp
  ${CMAKE_SOURCE_DIR}/src/core/vector_dispatch.cpp)
dot11a_glob(mac_sources mac)
dot11a_glob(fft_sources fft)
dot11a_glob(phy_sources phy)
dot11a_glob(rx_sources rx)
dot11a_glob(impair_sources impair)
dot11a_glob(model_sources model)
dot11a_glob(io_sources io)
dot11a_glob(ops_sources ops)
dot11a_glob(per_sources per)
list(REMOVE_ITEM ops_sources ${CMAKE_SOURCE_DIR}/src/ops/opgen.cpp)

dot11a_component(base SOURCES ${CMAKE_SOURCE_DIR}/src/core/error.cpp
  ${CMAKE_SOURCE_DIR}/src/core/vector_dispatch.cpp)
dot11a_component(core SOURCES ${core_sources} DEPENDS base
  LIBS PkgConfig::zlib nlohmann_json::nlohmann_json ${CMAKE_DL_LIBS})
# matio's declarations; the library itself is opened on first use.
target_include_directories(dot11a_core PRIVATE ${matio_INCLUDE_DIRS})
target_compile_definitions(dot11a_core PRIVATE DOT11A_MATIO_SONAME="${DOT11A_MATIO_SONAME}")
dot11a_component(mac SOURCES ${mac_sources} DEPENDS base LIBS PkgConfig::zlib)
dot11a_component(fft SOURCES ${fft_sources} DEPENDS base LIBS PkgConfig::fftw3 PkgConfig::fftw3f)
dot11a_component(phy SOURCES ${phy_sources} DEPENDS fft mac base LIBS PkgConfig::fftw3)
set(DOT11A_COMPONENTS base core mac fft phy)
if(rx_sources)
  # The receiver: typed, on the phy level.
  dot11a_component(rx SOURCES ${rx_sources} DEPENDS phy fft mac base
    LIBS nlohmann_json::nlohmann_json)
  # The per-symbol loops choose between values by comparisons; the compiler
  # runs them as vector code only when comparisons may not trap. Nothing
  # there reads the floating-point exception flags, and no value changes.
  set_source_files_properties(${CMAKE_SOURCE_DIR}/src/rx/symbol_pass.cpp
    PROPERTIES COMPILE_OPTIONS -fno-trapping-math)
  list(APPEND DOT11A_COMPONENTS rx)
endif()
# Receiver-test impairments: typed, on the phy level, seeded, no Value.
dot11a_component(impair SOURCES ${impair_sources} DEPENDS phy mac base)
list(APPEND DOT11A_COMPONENTS impair)
dot11a_component(model SOURCES ${model_sources} DEPENDS impair phy mac core)
dot11a_component(io SOURCES ${io_sources} DEPENDS model core LIBS ${CMAKE_DL_LIBS}
  PkgConfig::nettle)
# The library finds the gateway plugin beside itself, then in the installed
# library folder.
target_compile_definitions(dot11a_io PRIVATE
  DOT11A_INSTALL_LIBDIR="${CMAKE_INSTALL_FULL_LIBDIR}")
dot11a_component(ops SOURCES ${ops_sources} ${DOT11A_GEN_DIR}/entry_points.cpp
  DEPENDS io model impair phy mac core)
target_include_directories(dot11a_ops PUBLIC $<BUILD_INTERFACE:${DOT11A_GEN_DIR}/include>)
if(rx_sources)
  target_link_libraries(dot11a_ops PUBLIC dot11a_rx)
endif()
list(APPEND DOT11A_COMPONENTS model io ops)
if(rx_sources)
  # The packet-error-rate bench: frames through make(), the impairments and
  # the receiver (or the ideal one), counted on threads.
  dot11a_component(per SOURCES ${per_sources} DEPENDS rx impair model io
    LIBS nlohmann_json::nlohmann_json)
  list(APPEND DOT11A_COMPONENTS per)
  # The PER bench's options (dot11a-per, Python and the window) make the
  # sweep from a frame job of the options.
  target_link_libraries(dot11a_ops PUBLIC dot11a_per)
endif()

if(DOT11A_GUI)
  # The window layouts and pictures are compiled in as resources.
  dot11a_glob(gui_sources gui)
  # The window operations are bound into the operation table from here, so a
  # build without Qt leaves them unbound ("not available in this build").
  dot11a_component(gui SOURCES ${gui_sources} ${CMAKE_SOURCE_DIR}/layouts/layouts.qrc
    ${DOT11A_GEN_DIR}/window_bindings.cpp
    DEPENDS ops LIBS Qt6::Widgets Qt6::UiTools Qt6::PrintSupport ${DOT11A_QCUSTOMPLOT})
  set_target_properties(dot11a_gui PROPERTIES AUTOMOC ON AUTORCC ON AUTOUIC OFF)
  list(APPEND DOT11A_COMPONENTS gui)
endif()

# Every component whole: modules register their local functions and the GUI
# binds its window operations from static initializers.
set(DOT11A_WHOLE_COMPONENTS -Wl,--whole-archive)
foreach(c IN LISTS DOT11A_COMPONENTS)
  list(APPEND DOT11A_WHOLE_COMPONENTS dot11a_${c})
endforeach()
list(APPEND DOT11A_WHOLE_COMPONENTS -Wl,--no-whole-archive)

# A source file is needed for the shared library; the components bring the rest.
file(WRITE ${CMAKE_BINARY_DIR}/gen/library.cpp
  "// The shared library is assembled from the component libraries.\n")
add_library(Dot11a_b_lib SHARED ${CMAKE_BINARY_DIR}/gen/library.cpp)
set_target_properties(Dot11a_b_lib PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 0)
target_link_libraries(Dot11a_b_lib PRIVATE ${DOT11A_WHOLE_COMPONENTS})
target_link_options(Dot11a_b_lib PRIVATE -Wl,--no-undefined)
target_include_directories(Dot11a_b_lib
  PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
         $<BUILD_INTERFACE:${DOT11A_GEN_DIR}/include>
         $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

# The layer check: each component under the GUI linked on its own, whole, into
# a shared object that may leave nothing undefined. A call from phy into Value,
# from io into a call by name, or from anything here into Qt fails at link time.
# model and io hold Value records only at their edges (the files, the gateway's
# values); the adapters that take a Call live in ops.
foreach(c IN ITEMS base core mac fft phy rx impair model io ops per)
  if(NOT TARGET dot11a_${c})
    continue()
  endif()
  add_library(dot11a_layer_check_${c} SHARED ${CMAKE_BINARY_DIR}/gen/library.cpp)
  target_link_libraries(dot11a_layer_check_${c} PRIVATE
    -Wl,--whole-archive dot11a_${c} -Wl,--no-whole-archive)
  target_link_options(dot11a_layer_check_${c} PRIVATE -Wl,--no-undefined)
  set_target_properties(dot11a_layer_check_${c} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layer-check)
  list(APPEND DOT11A_LAYER_CHECKS dot11a_layer_check_${c})
endforeach()
add_custom_target(dot11a_layer_checks ALL DEPENDS ${DOT11A_LAYER_CHECKS})
