# Pure rules of the online part (form bodies, the installer answer, version numbers) and its
# controllers (the download, the update check, Start Pro) over in-memory connections.
larkspan_test(online_logic_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/OnlineLogicTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OnlineControllersTest.cpp
  LIBS larkspan_core)
