larkspan_test(help_about_test LABEL widgets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/HelpAboutTest.cpp
  LIBS larkspan_gui larkspan_gui_seams)
