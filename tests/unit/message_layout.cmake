larkspan_test(message_layout_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MessageLayoutTest.cpp
  LIBS larkspan_core)
