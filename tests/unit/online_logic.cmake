# Pure rules of the online part: form bodies, the installer answer, version numbers.
larkspan_test(online_logic_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/OnlineLogicTest.cpp
  LIBS larkspan_core)
