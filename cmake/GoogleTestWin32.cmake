# GoogleTest cross-built from Debian's sources (package googletest), for tests run under Wine.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Linked into every Windows test program (see the file).
add_library(kavlin_quiet_debug_output OBJECT ${KAVLIN_ROOT}/tests/win32/quiet_debug_output.cpp)
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
  $<TARGET_OBJECTS:kavlin_ui_texts>)
# The main function of the GoogleTest programs (see the file).
add_library(kavlin_test_main OBJECT ${KAVLIN_ROOT}/tests/win32/test_main.cpp)
target_link_libraries(kavlin_test_main PRIVATE gtest)

# Tests run through Wine; the environment (prefix, display) comes from tools/with-wine.
set(KAVLIN_WINE_EXEC ${KAVLIN_ROOT}/tools/wine-exec)

# A GoogleTest program of Windows tests, run under Wine by ctest.
function(kavlin_win32_test name)
  add_executable(${name} ${ARGN} ${KAVLIN_TEST_SUPPORT_OBJECTS} $<TARGET_OBJECTS:kavlin_test_main>)
  target_link_libraries(${name} PRIVATE gtest)
  target_compile_definitions(${name} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400)
  target_link_options(${name} PRIVATE -static)
  kavlin_sound_stub_beside(${name})
  add_test(NAME ${name} COMMAND ${KAVLIN_WINE_EXEC} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS win32 TIMEOUT 300)
endfunction()
