# Tests of the installer shell: strings and message boxes, the file operations, start-up, and
# the installer itself started as a child process; and the check that the installer loads on
# Windows 95 and NT 4.0 (its import table, read on the build machine).
kavlin_require_targets(KavlinSetup kavlin_robot)

kavlin_win32_test(kavlin_app_tests
  app_support.cpp app_strings_test.cpp app_state_test.cpp app_startup_test.cpp
  ${KAVLIN_ROOT}/app/startup.cpp $<TARGET_OBJECTS:kavlin_resources>)
target_link_libraries(kavlin_app_tests PRIVATE kavlin_app_core kavlin_robot)
target_compile_definitions(kavlin_app_tests PRIVATE
  KAVLIN_SETUP_EXE="$<TARGET_FILE:KavlinSetup>")
add_dependencies(kavlin_app_tests KavlinSetup)
# Tests that show message boxes (the installer's own included) run apart from the rest: the
# box of the message box with sound follows its asynchronous sound at once, and that pair is the
# part most sensitive to the sound set-up of the machine.
set(app_box_tests "Strings.MessageBox*:Staging.AMissing*:WholeInstaller.*")
# Each run owns the mutex "Kavlin" and the message boxes on the display for its duration.
set_tests_properties(kavlin_app_tests PROPERTIES
  ENVIRONMENT "LANG=en_US.UTF-8;LC_ALL=en_US.UTF-8;KAVLIN_TEST_LANGUAGE=en;GTEST_FILTER=-${app_box_tests}"
  RESOURCE_LOCK kavlin_installer)

foreach(language en_US cs_CZ sk_SK)
  string(SUBSTRING ${language} 0 2 short)
  add_test(NAME kavlin_app_boxes_${short}
    COMMAND ${KAVLIN_WINE_EXEC} $<TARGET_FILE:kavlin_app_tests> --gtest_filter=${app_box_tests})
  set_tests_properties(kavlin_app_boxes_${short} PROPERTIES
    LABELS win32 TIMEOUT 300 RESOURCE_LOCK kavlin_installer
    ENVIRONMENT "LANG=${language}.UTF-8;LC_ALL=${language}.UTF-8;KAVLIN_TEST_LANGUAGE=${short}")
endforeach()
# The loader through Wine's locale, in Czech and in Slovak.
foreach(language cs_CZ sk_SK)
  string(SUBSTRING ${language} 0 2 short)
  add_test(NAME kavlin_app_strings_${short}
    COMMAND ${KAVLIN_WINE_EXEC} $<TARGET_FILE:kavlin_app_tests> --gtest_filter=Strings.*-${app_box_tests})
  set_tests_properties(kavlin_app_strings_${short} PROPERTIES
    LABELS win32 TIMEOUT 300
    ENVIRONMENT "LANG=${language}.UTF-8;LC_ALL=${language}.UTF-8;KAVLIN_TEST_LANGUAGE=${short}")
endforeach()

# The import check, and the same check shown to reject a program that imports the C runtime
# and is no GUI program.
add_test(NAME kavlin_app_imports
  COMMAND python3 ${KAVLIN_ROOT}/tools/check-imports.py $<TARGET_FILE:KavlinSetup>
    ${KAVLIN_ROOT}/tools/win95-imports.txt)
add_test(NAME kavlin_app_imports_rejects
  COMMAND python3 ${KAVLIN_ROOT}/tools/check-imports.py $<TARGET_FILE:robot>
    ${KAVLIN_ROOT}/tools/win95-imports.txt)
set_tests_properties(kavlin_app_imports_rejects PROPERTIES
  PASS_REGULAR_EXPRESSION "subsystem 3, not the Windows GUI(.|\n)*imports the C runtime DLL msvcrt")

# The instruction check: the installer and the payload's Kavlin.exe use only instructions of the
# 80386 and 80387; and the check shown to name each newer instruction of a sample program with
# its function, and none of the 80386 instructions beside them. (A "." of ctest's expressions
# matches line ends too; they allow only a few groups.)
add_test(NAME kavlin_app_instructions
  COMMAND python3 ${KAVLIN_ROOT}/tools/check-instructions.py --objdump ${CMAKE_OBJDUMP}
    $<TARGET_FILE:KavlinSetup> $<TARGET_FILE:kavlin_program>)
# The sample: the default compile settings, no C runtime, its linker map beside it.
add_executable(kavlin_instruction_sample instruction_sample.cpp)
target_compile_options(kavlin_instruction_sample PRIVATE -ffunction-sections)
target_link_libraries(kavlin_instruction_sample PRIVATE kernel32)
target_link_options(kavlin_instruction_sample PRIVATE -nostdlib -nostartfiles
  -Wl,-e,_instruction_sample_start@0 -s -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/instruction_sample.map)
set_target_properties(kavlin_instruction_sample PROPERTIES OUTPUT_NAME instruction_sample
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_test(NAME kavlin_app_instructions_rejects
  COMMAND python3 ${KAVLIN_ROOT}/tools/check-instructions.py --objdump ${CMAKE_OBJDUMP}
    $<TARGET_FILE:kavlin_instruction_sample>)
set(refused "in scale_with_sse\\(float\\*\\) [^\n]*: movss +xmm0")
foreach(instruction "cmove " "fcmove " "fcomi " "fucomip " "bswap " "cmpxchg " "xadd " "cpuid"
                    "rdtsc" "cmpxchg8b " "sysenter" "syscall" "paddb +mm0" "nop +DWORD" "ud2")
  string(APPEND refused ".*in newer_instructions[^\n]*: ${instruction}")
endforeach()
set_tests_properties(kavlin_app_instructions_rejects PROPERTIES
  PASS_REGULAR_EXPRESSION "${refused}.*\n18 instruction\\(s\\) that the 80386/80387 lacks"
  FAIL_REGULAR_EXPRESSION "only_80386_instructions")
