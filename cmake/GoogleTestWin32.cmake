# GoogleTest cross-built from Debian's sources (package googletest), for tests run under Wine.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Linked into every Windows test program (see the files): the silenced debugger output, and the
# removal of the tests' folders.
add_library(kavlin_quiet_debug_output OBJECT ${KAVLIN_ROOT}/tests/win32/quiet_debug_output.cpp)
add_library(kavlin_test_folders OBJECT ${KAVLIN_ROOT}/tests/win32/folders.cpp)
# The installer's texts for the tests, generated from the string table's source.
set(KAVLIN_UI_TEXTS_DATA ${CMAKE_BINARY_DIR}/generated/ui_texts_data.h)
add_custom_command(OUTPUT ${KAVLIN_UI_TEXTS_DATA}
  COMMAND python3 ${KAVLIN_ROOT}/tools/ui-texts.py ${KAVLIN_ROOT}/res/strings.rc
          ${KAVLIN_ROOT}/res/resource.h ${KAVLIN_UI_TEXTS_DATA}
  DEPENDS ${KAVLIN_ROOT}/tools/ui-texts.py ${KAVLIN_ROOT}/res/strings.rc ${KAVLIN_ROOT}/res/resource.h
  COMMENT "Taking the tests' texts from res/strings.rc")
add_library(kavlin_ui_texts OBJECT ${KAVLIN_ROOT}/tests/win32/ui_texts.cpp ${KAVLIN_UI_TEXTS_DATA})
target_include_directories(kavlin_ui_texts PRIVATE ${CMAKE_BINARY_DIR}/generated)
set(KAVLIN_TEST_SUPPORT_OBJECTS $<TARGET_OBJECTS:kavlin_quiet_debug_output>
  $<TARGET_OBJECTS:kavlin_test_folders> $<TARGET_OBJECTS:kavlin_ui_texts>)
# The main function of the GoogleTest programs (see the file).
add_library(kavlin_test_main OBJECT ${KAVLIN_ROOT}/tests/win32/test_main.cpp)
target_link_libraries(kavlin_test_main PRIVATE gtest)

# Tests run through Wine; the environment (prefix, display) comes from tools/with-wine.
set(KAVLIN_WINE_EXEC ${KAVLIN_ROOT}/tools/wine-exec)

# A GoogleTest program of Windows tests, run under Wine by ctest:
#   kavlin_win32_test(NAME SOURCE... [LIBRARIES LIBRARY...] [DEPENDS TARGET...]
#                     [LAUNCHER COMMAND...] [NO_TEST])
# SOURCE may also be $<TARGET_OBJECTS:...>. LIBRARIES are linked besides GoogleTest, DEPENDS are
# built first. LAUNCHER is a command that prepares the Wine prefix and then runs the command it
# is given (for example tools/agent/install-agent AGENT.dll): every run of the program goes
# through it. Without NO_TEST one test of the program's name runs all its tests; more runs, with
# other arguments or environments, come from kavlin_win32_test_run.
function(kavlin_win32_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_TEST" "" "LIBRARIES;DEPENDS;LAUNCHER")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS} ${KAVLIN_TEST_SUPPORT_OBJECTS}
    $<TARGET_OBJECTS:kavlin_test_main>)
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} gtest)
  target_compile_definitions(${name} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400)
  target_link_options(${name} PRIVATE -static)
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  set_property(TARGET ${name} PROPERTY KAVLIN_TEST_LAUNCHER "${arg_LAUNCHER}")
  if(NOT arg_NO_TEST)
    kavlin_win32_test_run(${name} ${name})
  endif()
endfunction()

# One ctest test that runs the program `program` of kavlin_win32_test under Wine, through its
# launcher:
#   kavlin_win32_test_run(TEST PROGRAM [ARGS ARGUMENT...] [ENVIRONMENT VARIABLE=VALUE...]
#                         [PROPERTIES PROPERTY VALUE...])
function(kavlin_win32_test_run test program)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "ARGS;ENVIRONMENT;PROPERTIES")
  get_property(launcher TARGET ${program} PROPERTY KAVLIN_TEST_LAUNCHER)
  add_test(NAME ${test} COMMAND ${launcher} ${KAVLIN_WINE_EXEC} $<TARGET_FILE:${program}> ${arg_ARGS})
  set_tests_properties(${test} PROPERTIES LABELS win32 TIMEOUT 300 ${arg_PROPERTIES})
  if(arg_ENVIRONMENT)
    set_property(TEST ${test} PROPERTY ENVIRONMENT ${arg_ENVIRONMENT})
  endif()
endfunction()
