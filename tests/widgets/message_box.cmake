larkspan_test(message_box_tests LABEL widgets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MessageBoxTest.cpp
  LIBS larkspan_gui larkspan_gui_seams)
