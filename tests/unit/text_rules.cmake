larkspan_test(text_rules_test LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TextRulesTest.cpp
  LIBS larkspan_core)
