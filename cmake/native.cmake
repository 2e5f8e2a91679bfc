# The native configuration: the pure code alone, built with clang under AddressSanitizer and
# UBSan, with its unit tests and libFuzzer targets. No Windows header is reachable from here.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "the native configuration needs clang (configure with CXX=clang++ CC=clang)")
endif()
set(ZR_SAN -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
add_compile_options(-g -O1 ${ZR_SAN} -Wall -Wextra -Wno-unused-parameter)
add_link_options(${ZR_SAN})
set(ZR_FUZZ_SECONDS 10 CACHE STRING "seconds each fuzz target runs under ctest")

add_library(zr_pure STATIC ${ZR_PURE_SOURCES})
target_include_directories(zr_pure PUBLIC ${ZR_PURE_INCLUDES})
target_compile_options(zr_pure PRIVATE -fsanitize=fuzzer-no-link)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB ZR_PURE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/pure/*.cpp)
add_executable(test_pure_native ${ZR_PURE_TESTS})
target_compile_definitions(test_pure_native PRIVATE ZR_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
target_link_libraries(test_pure_native PRIVATE zr_pure GTest::gtest_main)
add_test(NAME test_pure_native COMMAND test_pure_native --gtest_color=no)
set_tests_properties(test_pure_native PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED "images;sig_samples"
  ENVIRONMENT "ZR_IMAGES=${CMAKE_BINARY_DIR}/images;ZR_SIG_SAMPLES=${CMAKE_BINARY_DIR}/sig-samples")

# Sample files of the formats the signature files know, made by Debian's tools at test time.
# Debian's own python3 (its modules are what the samples are made with), not a user's shim.
find_program(ZR_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT ZR_PYTHON3)
  find_program(ZR_PYTHON3 python3 REQUIRED)
endif()
add_test(NAME signature_samples COMMAND ${ZR_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/make_signature_samples.py
  ${CMAKE_BINARY_DIR}/sig-samples)
set_tests_properties(signature_samples PROPERTIES FIXTURES_SETUP sig_samples TIMEOUT 300)

# The decoders are also checked against real file-system images, made here as for the Windows
# tests, and checked unchanged afterwards.
add_test(NAME setup_images COMMAND sh ${CMAKE_SOURCE_DIR}/tests/setup_images.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
set_tests_properties(setup_images PROPERTIES FIXTURES_SETUP images TIMEOUT 600)
add_test(NAME check_images COMMAND sh ${CMAKE_SOURCE_DIR}/tests/check_images.sh ${CMAKE_BINARY_DIR})
set_tests_properties(check_images PROPERTIES FIXTURES_CLEANUP images TIMEOUT 600)

# One libFuzzer target per fuzz/fuzz_NAME.cpp, seeded from fuzz/corpus/NAME. New inputs go to a
# corpus in the build folder so the repository's seeds stay as they are.
file(GLOB ZR_FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/fuzz_*.cpp)
foreach(src ${ZR_FUZZERS})
  get_filename_component(name ${src} NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" short ${name})
  add_executable(${name} ${src})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE zr_pure)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-corpus/${short} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${short})
  add_test(NAME ${name} COMMAND ${name} -max_total_time=${ZR_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
    -print_final_stats=0 ${CMAKE_BINARY_DIR}/fuzz-corpus/${short} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${short})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endforeach()


# The scan-log benchmark (bench/bench_scanlog.cpp), optimised and without the sanitizers: it is
# built from the few sources it needs rather than from the instrumented library above, and run by
# hand (build-native/bench_scanlog), never by ctest.
add_executable(bench_scanlog
  ${CMAKE_SOURCE_DIR}/bench/bench_scanlog.cpp
  ${CMAKE_SOURCE_DIR}/fsrecovery/pure/scan_log.cpp
  ${CMAKE_SOURCE_DIR}/app/pure/scan_log_header.cpp
  ${CMAKE_SOURCE_DIR}/app/pure/shell_rules.cpp
  ${CMAKE_SOURCE_DIR}/storage/pure/bootsector.cpp
  ${CMAKE_SOURCE_DIR}/storage/pure/drive_texts.cpp
  ${CMAKE_SOURCE_DIR}/storage/pure/size_text.cpp
  ${CMAKE_SOURCE_DIR}/framework/pure/archive.cpp
  ${CMAKE_SOURCE_DIR}/framework/pure/cstring.cpp
  ${CMAKE_SOURCE_DIR}/framework/pure/exceptions.cpp)
target_include_directories(bench_scanlog PRIVATE ${ZR_PURE_INCLUDES})
set_target_properties(bench_scanlog PROPERTIES COMPILE_OPTIONS "-O2" LINK_OPTIONS "")

# The include-direction checker (scripts/check_layers.py) on a small tree of its own.
add_test(NAME check_layers_selftest COMMAND ${ZR_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/check_layers_test.py)

# The Basic Search pipeline benchmark (bench/bench_basicscan.cpp) natively: the same pure code the
# program's scan worker runs, optimised and without the sanitizers, run by hand
# (build-native/bench_basicscan), never by ctest.
add_library(zr_pure_bench STATIC ${ZR_PURE_SOURCES})
target_include_directories(zr_pure_bench PUBLIC ${ZR_PURE_INCLUDES})
set_target_properties(zr_pure_bench PROPERTIES COMPILE_OPTIONS "-O2" LINK_OPTIONS "")
add_executable(bench_basicscan ${CMAKE_SOURCE_DIR}/bench/bench_basicscan.cpp)
target_include_directories(bench_basicscan PRIVATE ${ZR_PURE_INCLUDES})
target_link_libraries(bench_basicscan PRIVATE zr_pure_bench)
set_target_properties(bench_basicscan PROPERTIES COMPILE_OPTIONS "-O2" LINK_OPTIONS "")

# Benchmarks whose code is portable, built here too (with the sanitizers, like everything in this
# configuration, so their figures are only indicative; the Windows build's count). Run by hand.
foreach(name bench_deepscan)
  add_executable(${name} ${CMAKE_SOURCE_DIR}/bench/${name}.cpp)
  target_link_libraries(${name} PRIVATE zr_pure)
endforeach()
