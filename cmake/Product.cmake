# Compile and link settings of the installer's own code: small, no C runtime, no exceptions,
# ANSI Win32 only, runs on Windows 95 and NT 4.0. The code keeps to the 80386's instructions
# (the compiler's default, the Pentium Pro, has CMOV, which a 486, Pentium or K6 lacks), tuned
# for the Pentium; tools/check-instructions.py checks the linked programs.
set(KAVLIN_PRODUCT_CXX_FLAGS
  -march=i386 -mtune=pentium
  -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -ffunction-sections -fdata-sections -fno-stack-protector -fno-ident -fno-threadsafe-statics
  -Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
set(KAVLIN_PRODUCT_DEFINES WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400 _WIN32_IE=0x0400)
# Link settings of the installer and of the payload's program: no C runtime (each names its own
# entry point), unused sections dropped, stripped, GUI subsystem 4.0, and no link time in the PE
# header (it stays 0), so that the same sources link to the same bytes.
set(KAVLIN_PRODUCT_LINK_OPTIONS -nostdlib -nostartfiles -Wl,--gc-sections -s
  -Wl,--subsystem,windows:4.0 -Wl,--no-insert-timestamp)

# Stops the configuration, naming what is missing, unless every target named exists: a missing
# piece must fail the build, never drop the tests that need it.
function(kavlin_require_targets)
  foreach(target ${ARGN})
    if(NOT TARGET ${target})
      message(FATAL_ERROR "${CMAKE_CURRENT_LIST_FILE}: needs the target ${target}, which is not defined")
    endif()
  endforeach()
endfunction()

# Applies the product's compile settings to a library or executable of the installer.
function(kavlin_product_target target)
  target_compile_options(${target} PRIVATE ${KAVLIN_PRODUCT_CXX_FLAGS})
  target_compile_definitions(${target} PRIVATE ${KAVLIN_PRODUCT_DEFINES})
endfunction()

# An installer executable carrying the ZIP archive `zip_file` (made by target `zip_target`) as
# its payload, linked with the product's settings and its own entry point. The linker's map
# (TARGET.map beside it) names the functions at the executable's addresses.
function(kavlin_installer target zip_file zip_target output_dir)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-payload.rc)
  file(WRITE ${rc} "// The payload archive that the installer unpacks.\nIDR_ZIP RCDATA \"${zip_file}\"\n")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${zip_file})
  add_executable(${target} WIN32 ${rc} $<TARGET_OBJECTS:kavlin_shell> $<TARGET_OBJECTS:kavlin_resources>)
  add_dependencies(${target} ${zip_target})
  target_link_libraries(${target} PRIVATE kavlin_archive kavlin_netif kavlin_app_core kavlin_inflate kavlin_base
    kernel32 user32 gdi32 shell32 advapi32 gcc)
  target_link_options(${target} PRIVATE ${KAVLIN_PRODUCT_LINK_OPTIONS} -Wl,-e,_kavlin_start@0
    -Wl,-Map,${output_dir}/${target}.map -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,--major-image-version,1 -Wl,--minor-image-version,0)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${output_dir})
endfunction()
