# The online parts of the program against a scripted vendor server on 127.0.0.1: the installer
# download window, the background update and tutorial check, and "Start Pro version".
larkspan_test(online_widget_tests LABEL widgets
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/OnlineTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DownloadFormTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UpdateCheckTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartProTest.cpp
  LIBS larkspan_gui larkspan_gui_seams larkspan_http_servers larkspan_test_pdfs)
