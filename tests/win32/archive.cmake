# Tests of the extraction: the archive walk, stored copy, output checks, install log, path
# helpers and CRC-32. Archives come from every ZIP writer Debian offers (made here, at build
# time) and from the tests' own small archive writer for the odd cases.
set(archive_fixtures ${CMAKE_CURRENT_BINARY_DIR}/archive-fixtures)
add_custom_command(
  OUTPUT ${archive_fixtures}/tree.zip ${archive_fixtures}/stored.zip
         ${archive_fixtures}/writers/infozip.zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${archive_fixtures}
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/archive_make_tree.py ${archive_fixtures}/tree
  COMMAND ${CMAKE_COMMAND} -E chdir ${archive_fixtures}/tree zip -q -r -X ../tree.zip .
  COMMAND ${CMAKE_COMMAND} -E chdir ${archive_fixtures}/tree zip -q -r -X -0 ../stored.zip .
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/archive_writers.py ${archive_fixtures}/tree
          ${archive_fixtures}/writers
  # A file name that leads to a full disk (/dev/full), for the failed-write test.
  COMMAND ${CMAKE_COMMAND} -E make_directory ${archive_fixtures}/full
  COMMAND ${CMAKE_COMMAND} -E create_symlink /dev/full ${archive_fixtures}/full/full.bin
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/archive_make_tree.py
          ${CMAKE_CURRENT_SOURCE_DIR}/archive_writers.py
  COMMENT "Packing the extraction tests' archives")
add_custom_target(kavlin_archive_fixtures
  DEPENDS ${archive_fixtures}/tree.zip ${archive_fixtures}/stored.zip)

kavlin_win32_test(kavlin_archive_tests
  archive_support.cpp archive_crc_test.cpp archive_paths_test.cpp archive_log_test.cpp
  archive_extract_test.cpp archive_bench.cpp ${KAVLIN_ROOT}/tests/support/zip_builder.cpp
  $<TARGET_OBJECTS:kavlin_resources>)
target_link_libraries(kavlin_archive_tests PRIVATE kavlin_archive kavlin_app_core)
target_compile_definitions(kavlin_archive_tests PRIVATE
  KAVLIN_ARCHIVE_FIXTURES="${archive_fixtures}")
add_dependencies(kavlin_archive_tests kavlin_archive_fixtures)
