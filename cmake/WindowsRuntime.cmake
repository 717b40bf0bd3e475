# The Windows program folder (the same in the build's bin/ and in an installation):
#   larkspan.exe, textract.bin, pdfi.bin, pdftotext.exe, pdfinfo.exe (tools/CMakeLists.txt),
#   Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll, the mingw runtime libstdc++-6.dll,
#   libgcc_s_seh-1.dll and libwinpthread-1.dll, platforms/qwindows.dll and
#   styles/qwindowsvistastyle.dll; the build's bin/ also holds platforms/qoffscreen.dll for tests
#   that run without a display. Qt finds its plugins in these folders beside the program.
# The DLLs are copied stripped: Debian's libstdc++-6.dll alone carries some 20 MB of debug
# information.

set(qt_prefix ${LARKSPAN_WIN_DEPS}/qt)
set(runtime_files
  "${qt_prefix}/bin/Qt6Core.dll|."
  "${qt_prefix}/bin/Qt6Gui.dll|."
  "${qt_prefix}/bin/Qt6Widgets.dll|."
  "${qt_prefix}/plugins/platforms/qwindows.dll|platforms"
  "${qt_prefix}/plugins/platforms/qoffscreen.dll|platforms"
  "${qt_prefix}/plugins/styles/qwindowsvistastyle.dll|styles")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" REALPATH)
  list(APPEND runtime_files "${path}|.")
endforeach()

set(runtime_copies)
foreach(entry ${runtime_files})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 source)
  list(GET entry 1 folder)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${source} is missing: scripts/windows/setup.sh prepares Qt for "
      "Windows, and g++-mingw-w64-x86-64-posix brings the runtime DLLs")
  endif()
  get_filename_component(name ${source} NAME)
  set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}/${name})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}
    COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${copy} ${source}
    DEPENDS ${source}
    COMMENT "Copying ${name} (stripped) into the program folder"
    VERBATIM)
  list(APPEND runtime_copies ${copy})
  if(NOT name STREQUAL "qoffscreen.dll")
    install(FILES ${copy} DESTINATION ${LARKSPAN_PROGRAM_DIR}/${folder})
  endif()
endforeach()
add_custom_target(larkspan_windows_runtime ALL DEPENDS ${runtime_copies})
add_dependencies(larkspan larkspan_windows_runtime)

install(TARGETS larkspan RUNTIME DESTINATION ${LARKSPAN_PROGRAM_DIR})

# The installer (packaging/windows/installer.nsi around a stripped installation of this build):
#   cmake --build <build> --target larkspan_setup   gives <build>/Larkspan-<version>-Setup.exe
# scripts/windows/build-installer.sh makes the one that ships, from a build without the tests
# and without the vendor-host override.
find_program(LARKSPAN_MAKENSIS makensis)
if(LARKSPAN_MAKENSIS)
  set(LARKSPAN_SETUP ${CMAKE_BINARY_DIR}/Larkspan-${PROJECT_VERSION}-Setup.exe)
  set(payload ${CMAKE_BINARY_DIR}/payload)
  add_custom_target(larkspan_setup
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${payload}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${payload} --strip
    COMMAND ${LARKSPAN_MAKENSIS} -V2 -DPAYLOAD_DIR=${payload} -DVERSION=${PROJECT_VERSION}
      -DWEBSITE=${LARKSPAN_WEBSITE_URL} -DOUTFILE=${LARKSPAN_SETUP}
      ${CMAKE_SOURCE_DIR}/packaging/windows/installer.nsi
    DEPENDS larkspan textract.bin pdfi.bin larkspan_windows_runtime larkspan_shipped_tools
    BYPRODUCTS ${LARKSPAN_SETUP}
    COMMENT "Packing ${LARKSPAN_SETUP}"
    VERBATIM)
endif()
