# The HTTP client: its rules on scripted in-memory bytes, and the real client with the system's
# transport against raw (and hostile) servers on 127.0.0.1.
larkspan_test(http_memory_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/HttpMemoryTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HttpCookiesTest.cpp
  LIBS larkspan_core)
if(WIN32)
  # The vendor stand-in is a program of the build machine (tests/support/CMakeLists.txt).
  larkspan_test(http_loopback_tests LABEL unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/HttpLoopbackTest.cpp
    LIBS larkspan_http_servers larkspan_platform)
else()
  larkspan_test(http_loopback_tests LABEL unit
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/HttpLoopbackTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/VendorStandInTest.cpp
    LIBS larkspan_http_servers larkspan_platform
    DEPENDS vendor-standin)
endif()
