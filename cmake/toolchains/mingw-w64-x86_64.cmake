# Cross-build for 64-bit Windows on Debian 12 with mingw-w64 (package g++-mingw-w64-x86-64-posix).
#
#   cmake -S . -B build-win -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
#
# LARKSPAN_WIN_DEPS names the folder that holds the Windows builds of the dependencies: the
# libraries qt/, poppler/ and qpdf/ and the tools pdftoppm/ and tesseract/
# (scripts/windows/setup.sh prepares it); it defaults to deps/ in the build folder.
# Programs built for the target run under wine, so CTest and test discovery work unchanged.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# Qt 6 needs the posix thread model (std::thread, std::mutex); the win32 model lacks them.
set(LARKSPAN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LARKSPAN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LARKSPAN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LARKSPAN_MINGW_TRIPLE}-windres)
# The gcc- wrappers of ar and ranlib understand the objects of a link-time-optimised build too.
set(CMAKE_AR /usr/bin/${LARKSPAN_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB /usr/bin/${LARKSPAN_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

# The toolchain file is read again for every try_compile project, whose binary folder is
# elsewhere: the first reading fixes the folder and hands it on.
if(NOT LARKSPAN_WIN_DEPS)
  if(DEFINED ENV{LARKSPAN_WIN_DEPS})
    set(LARKSPAN_WIN_DEPS "$ENV{LARKSPAN_WIN_DEPS}")
  else()
    set(LARKSPAN_WIN_DEPS "${CMAKE_BINARY_DIR}/deps")
  endif()
endif()
set(LARKSPAN_WIN_DEPS "${LARKSPAN_WIN_DEPS}" CACHE PATH "Folder with the Windows builds of the dependencies (qt/, poppler/, qpdf/, pdftoppm/, tesseract/)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LARKSPAN_WIN_DEPS)

# Appended, so that a root given on the command line (a dependency being built) comes first.
list(APPEND CMAKE_FIND_ROOT_PATH
  /usr/${LARKSPAN_MINGW_TRIPLE}
  ${LARKSPAN_WIN_DEPS}/qt
  ${LARKSPAN_WIN_DEPS}/poppler
  ${LARKSPAN_WIN_DEPS}/qpdf)
list(APPEND CMAKE_PREFIX_PATH ${LARKSPAN_WIN_DEPS}/qt ${LARKSPAN_WIN_DEPS}/poppler
  ${LARKSPAN_WIN_DEPS}/qpdf)
# Programs that run during the build are the host's; libraries, headers and packages must be the
# target's, never the host's of the same name.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt for Windows was built without its host tools: moc, rcc and uic come from Debian's own Qt of
# the same version.
set(QT_HOST_PATH /usr CACHE PATH "Host Qt for moc, rcc and uic")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "CMake packages of the host Qt")

# wine64 itself rather than /usr/bin/wine, whose wrapper warns on every run that the 32-bit
# half is missing, behind a script that keeps the program's output away from the wine processes
# it starts. The wine environment (prefix, DLL folders) comes from scripts/windows/wine-env.sh.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/windows/wine-run.sh)
