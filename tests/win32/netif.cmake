# Tests of the interface selection: the enumeration, and the setup dialog in each language. They
# run with the test agent installed as the prefix's inetmib1.dll, and need the robot.
if(NOT TARGET kavlin_robot OR NOT TARGET kavlin_agent)
  return()
endif()

add_executable(netif_tests netif_support.cpp netif_enumeration.cpp netif_dialog.cpp
  $<TARGET_OBJECTS:kavlin_resources> ${KAVLIN_TEST_SUPPORT_OBJECTS} $<TARGET_OBJECTS:kavlin_test_main>)
target_link_libraries(netif_tests PRIVATE kavlin_netif kavlin_robot gtest)
target_compile_definitions(netif_tests PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501)
target_link_options(netif_tests PRIVATE -static)
add_dependencies(netif_tests kavlin_agent kavlin_agent_noinit)

set(netif_agent_run ${KAVLIN_ROOT}/tools/agent/install-agent $<TARGET_FILE:kavlin_agent>
  ${KAVLIN_WINE_EXEC} $<TARGET_FILE:netif_tests>)

add_test(NAME netif_enumeration COMMAND ${netif_agent_run} --gtest_filter=Enumeration.*)
set_tests_properties(netif_enumeration PROPERTIES LABELS win32 TIMEOUT 300
  ENVIRONMENT "KAVLIN_AGENT_NOINIT=Z:$<TARGET_FILE:kavlin_agent_noinit>")

foreach(language cs_CZ sk_SK en_US)
  string(SUBSTRING ${language} 0 2 short)
  add_test(NAME netif_dialog_${short} COMMAND ${netif_agent_run} --gtest_filter=SetupDialog.*)
  set_tests_properties(netif_dialog_${short} PROPERTIES LABELS win32 TIMEOUT 300
    ENVIRONMENT "LANG=${language}.UTF-8;LC_ALL=${language}.UTF-8;KAVLIN_TEST_LANGUAGE=${short}")
endforeach()
