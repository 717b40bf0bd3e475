larkspan_test(help_texts_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/HelpTextsTest.cpp
  LIBS larkspan_core)
