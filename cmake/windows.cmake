# The Windows configuration: the program, its class library and the tests that run under Wine.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0A00 WINVER=0x0A00 _WIN32_IE=0x0A00)
add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers
  -Wno-cast-function-type)
# 32-bit programs get 4 GiB of address space on 64-bit Windows only when they say they can use
# it: the results of a terabyte disk do not fit in the 2 GiB a program gets otherwise.
add_link_options(-Wl,--large-address-aware)

if(CMAKE_CROSSCOMPILING)
  set(ZR_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()

add_library(zr_pure STATIC ${ZR_PURE_SOURCES})
target_include_directories(zr_pure PUBLIC ${ZR_PURE_INCLUDES})

# The class library: thin classes over the Windows API.
file(GLOB ZR_FRAMEWORK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/framework/*.cpp)
add_library(zr_framework STATIC ${ZR_FRAMEWORK_SOURCES})
target_include_directories(zr_framework PUBLIC ${CMAKE_SOURCE_DIR}/framework ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(zr_framework PUBLIC zr_pure comctl32 gdiplus shlwapi shell32
  ole32 oleaut32 uuid msvfw32 avifil32 comdlg32 gdi32 user32 kernel32 advapi32)

# The layers of the program, each a library of its own that links only the layers below it:
# framework <- storage <- look <- app <- (fsrecovery, sigrecovery). A call that runs upward does
# not link. zr_core is everything but the program's entry point, so that tests can link it.
function(zr_layer name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/app/main\\.cpp$")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()
# The destination check asks who this machine is on the network, what a share of it serves and
# which share a mapped letter stands for.
zr_layer(zr_storage storage zr_framework ws2_32 iphlpapi mpr netapi32)
zr_layer(zr_look look zr_storage)
zr_layer(zr_app app zr_look)
zr_layer(zr_fsrecovery fsrecovery zr_app)
zr_layer(zr_sigrecovery sigrecovery zr_app)
add_library(zr_core INTERFACE)
target_link_libraries(zr_core INTERFACE zr_fsrecovery zr_sigrecovery)

set(ZR_RC ${CMAKE_SOURCE_DIR}/resources/app.rc)
file(GLOB ZR_RC_DEPENDS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
set_property(SOURCE ${ZR_RC} APPEND PROPERTY OBJECT_DEPENDS ${ZR_RC_DEPENDS})

add_executable(ZembrolixRecovery WIN32 app/main.cpp ${ZR_RC})
target_link_options(ZembrolixRecovery PRIVATE -municode)
target_link_libraries(ZembrolixRecovery PRIVATE zr_core)

# The signature data files ship beside the program.
file(GLOB ZR_SIGNATURE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/signatures/*.dll)
add_custom_command(TARGET ZembrolixRecovery POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ZR_SIGNATURE_FILES} $<TARGET_FILE_DIR:ZembrolixRecovery>)

# So does the help file, "Software Guide.chm": compiled from the pages in resources/help by chmcmd
# (Debian's fp-utils), in a copy of that folder so that the sources stay as they are.
find_program(ZR_CHMCMD chmcmd)
if(NOT ZR_CHMCMD)
  message(FATAL_ERROR "chmcmd is missing: run scripts/install-deps.sh (package fp-utils)")
endif()
file(GLOB ZR_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/help/*)
set(ZR_HELP_FILE "${CMAKE_BINARY_DIR}/Software Guide.chm")
add_custom_command(OUTPUT ${ZR_HELP_FILE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf help
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/resources/help help
  COMMAND ${CMAKE_COMMAND} -E chdir help ${ZR_CHMCMD} guide.hhp
  COMMAND ${CMAKE_COMMAND} -E copy "help/Software Guide.chm" ${ZR_HELP_FILE}
  DEPENDS ${ZR_HELP_SOURCES}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  VERBATIM)
add_custom_target(zr_help ALL DEPENDS ${ZR_HELP_FILE})
add_dependencies(ZembrolixRecovery zr_help)

add_subdirectory(tests)

# Benchmarks (bench/bench_NAME.cpp), optimised like the program and run by hand under Wine (which
# runs x86 code natively): built, never run by ctest.
file(GLOB ZR_WIN_BENCH CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/bench_*.cpp)
foreach(src ${ZR_WIN_BENCH})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_options(${name} PRIVATE -mconsole)
  target_link_libraries(${name} PRIVATE zr_core)
endforeach()

# The one benchmark CI runs, small: opening a folder after "Root" must not grow faster than Root's
# rows (1,000 and 10,000 folders, counted in control calls, not seconds).
add_test(NAME bench_opening_growth COMMAND bench_basicsearch growth WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(bench_opening_growth PROPERTIES TIMEOUT 300)
