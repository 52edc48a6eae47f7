# Tests of the interface selection: the enumeration, and the setup dialog in each language. They
# run with the test agent installed as the prefix's inetmib1.dll, and drive the dialog with the
# robot.
foreach(needed kavlin_netif kavlin_app_core kavlin_robot kavlin_agent kavlin_agent_noinit)
  if(NOT TARGET ${needed})
    message(FATAL_ERROR "The interface selection tests need the target ${needed}")
  endif()
endforeach()

kavlin_win32_test(netif_tests
  netif_support.cpp netif_enumeration.cpp netif_dialog.cpp $<TARGET_OBJECTS:kavlin_resources>
  LIBRARIES kavlin_netif kavlin_app_core kavlin_robot
  DEPENDS kavlin_agent kavlin_agent_noinit
  LAUNCHER ${KAVLIN_ROOT}/tools/agent/install-agent $<TARGET_FILE:kavlin_agent>
  NO_TEST)

kavlin_win32_test_run(netif_enumeration netif_tests
  ARGS --gtest_filter=Enumeration.*
  ENVIRONMENT "KAVLIN_AGENT_NOINIT=Z:$<TARGET_FILE:kavlin_agent_noinit>")

foreach(language cs_CZ sk_SK en_US)
  string(SUBSTRING ${language} 0 2 short)
  kavlin_win32_test_run(netif_dialog_${short} netif_tests
    ARGS --gtest_filter=SetupDialog.*
    ENVIRONMENT LANG=${language}.UTF-8 LC_ALL=${language}.UTF-8 KAVLIN_TEST_LANGUAGE=${short})
endforeach()
