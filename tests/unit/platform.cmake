# The POSIX platform layer: instance lock, installation records, shell opening, the console
# runner and file helpers, plus the record format they read; and the tools' command texts
# through the real /bin/sh.
larkspan_test(platform_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/platform/InstanceLockTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform/InstallRecordTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform/ShellOpenTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform/ConsoleRunnerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform/FilesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform/ShellRoundTripTest.cpp
  LIBS larkspan_platform)
