# The verification path under the sanitizers: the capture readers, the MAT
# file reader, the receiver and the transmit chain it takes its training
# sequences and tables from, and the FFT plans they share, are compiled into the target; nothing comes from
# an unsanitized library.
file(GLOB verify_fuzz_rx CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/rx/*.cpp)
file(GLOB verify_fuzz_phy CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/phy/*.cpp
  ${CMAKE_SOURCE_DIR}/src/fft/*.cpp)
dot11a_fuzz_target(verify ${fuzz_dir}/verify_fuzz.cpp
  ${CMAKE_SOURCE_DIR}/src/io/capture.cpp ${CMAKE_SOURCE_DIR}/src/io/files.cpp
  ${CMAKE_SOURCE_DIR}/src/io/sha512.cpp ${CMAKE_SOURCE_DIR}/src/io/sigmf_pair.cpp
  ${CMAKE_SOURCE_DIR}/src/model/parameter_bounds.cpp ${CMAKE_SOURCE_DIR}/src/core/matfile.cpp
  ${CMAKE_SOURCE_DIR}/src/core/mat5_check.cpp
  ${CMAKE_SOURCE_DIR}/src/mac/bits.cpp ${verify_fuzz_rx} ${verify_fuzz_phy} ${fuzz_core})
target_link_libraries(fuzz_verify PRIVATE PkgConfig::fftw3 PkgConfig::fftw3f PkgConfig::matio PkgConfig::zlib
  PkgConfig::nettle nlohmann_json::nlohmann_json ${CMAKE_DL_LIBS})
target_compile_definitions(fuzz_verify PRIVATE DOT11A_MATIO_SONAME="${DOT11A_MATIO_SONAME}")
set_tests_properties(fuzz_verify_corpus PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=allocator_may_return_null=1")
