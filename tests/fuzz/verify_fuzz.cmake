# The verification path under the sanitizers: the capture readers and the
# receiver are compiled into the target with them; the rest (synthesis tables,
# MAT files) comes from the library. With Clang a libFuzzer target
# (build/bin/fuzz_verify CORPUS_DIR), otherwise a driver that replays the corpus.
file(GLOB verify_fuzz_rx CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/rx/*.cpp)
set(verify_fuzz_sources ${CMAKE_SOURCE_DIR}/tests/fuzz/verify_fuzz.cpp
  ${CMAKE_SOURCE_DIR}/src/io/capture.cpp ${verify_fuzz_rx})
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_verify ${verify_fuzz_sources})
  target_compile_options(fuzz_verify PRIVATE ${fuzz_flags} -fsanitize=fuzzer)
  target_link_options(fuzz_verify PRIVATE ${fuzz_flags} -fsanitize=fuzzer)
else()
  add_executable(fuzz_verify ${verify_fuzz_sources} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
  target_compile_options(fuzz_verify PRIVATE ${fuzz_flags})
  target_link_options(fuzz_verify PRIVATE ${fuzz_flags})
endif()
target_include_directories(fuzz_verify PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(fuzz_verify PRIVATE Dot11a_b_lib PkgConfig::fftw3 nlohmann_json::nlohmann_json)
set_target_properties(fuzz_verify PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_test(NAME fuzz_verify_corpus
  COMMAND fuzz_verify ${fuzz_replay_args} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus-verify)
set_tests_properties(fuzz_verify_corpus PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=allocator_may_return_null=1")
