larkspan_test(extraction_logic_test LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ExtractCommandTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShellQuotingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProbeLogicTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JobOutcomeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JobProgressTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PasswordPromptLayoutTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExtractionControllersTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextRecognitionTest.cpp
  LIBS larkspan_core)
