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

# uninstall.exe of the program folder (packaging/windows/UninstallLauncher.cpp): the installer
# writes it beside the NSIS uninstaller, which it runs and waits for. A program of its own, with
# no DLL, the program's icon and version, and administrator rights (it removes the program
# folder).
set(launcher_dir ${CMAKE_BINARY_DIR}/packaging)
set(launcher_manifest ${launcher_dir}/uninstall.manifest)
file(GENERATE OUTPUT ${launcher_manifest} CONTENT [[<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
</assembly>
]])
larkspan_version_resource(launcher_version_info "Larkspan Uninstall" uninstall.exe)
set(launcher_rc ${launcher_dir}/uninstall.rc)
file(GENERATE OUTPUT ${launcher_rc} CONTENT "#include <winver.h>
1 ICON \"${CMAKE_BINARY_DIR}/resources/larkspan.ico\"
1 24 \"${launcher_manifest}\"
${launcher_version_info}")
add_executable(larkspan_uninstall_launcher WIN32
  ${CMAKE_SOURCE_DIR}/packaging/windows/UninstallLauncher.cpp ${launcher_rc})
set_source_files_properties(${launcher_rc} PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/resources/larkspan.ico;${launcher_manifest}")
add_dependencies(larkspan_uninstall_launcher larkspan_windows_icon)
target_compile_options(larkspan_uninstall_launcher PRIVATE -municode)
target_link_options(larkspan_uninstall_launcher PRIVATE -municode -static -s)
set_target_properties(larkspan_uninstall_launcher PROPERTIES
  OUTPUT_NAME uninstall RUNTIME_OUTPUT_DIRECTORY ${launcher_dir})
larkspan_warnings(larkspan_uninstall_launcher)

# The installer's licence page: the program's licence as packaging/copyright.in gives it (its
# Copyright line and the text of its License field).
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/copyright.in copyright_lines)
set(licence_text "Larkspan\r\n\r\n")
set(in_licence OFF)
foreach(copyright_line IN LISTS copyright_lines)
  if(copyright_line MATCHES "^Copyright: (.*)$")
    string(APPEND licence_text "Copyright ${CMAKE_MATCH_1}\r\n\r\n")
  elseif(copyright_line MATCHES "^License:")
    set(in_licence ON)
  elseif(in_licence AND copyright_line MATCHES "^ (.*)$")
    # " ." is an empty line in that format.
    if(CMAKE_MATCH_1 STREQUAL ".")
      string(APPEND licence_text "\r\n")
    else()
      string(APPEND licence_text "${CMAKE_MATCH_1}\r\n")
    endif()
  else()
    set(in_licence OFF)
  endif()
endforeach()
# The copyright notice as an NSIS definition, in ASCII: makensis takes the sign by its code.
string(REPLACE "©" "\${U+00A9}" nsis_copyright "${LARKSPAN_COPYRIGHT}")
set(LARKSPAN_COPYRIGHT_NSH ${launcher_dir}/copyright.nsh)
file(WRITE ${LARKSPAN_COPYRIGHT_NSH} "!define COPYRIGHT \"${nsis_copyright}\"\n")
set(LARKSPAN_LICENCE ${launcher_dir}/licence.txt)
file(WRITE ${LARKSPAN_LICENCE} "${licence_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/packaging/copyright.in)

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
      -DVERSION_MAJOR=${PROJECT_VERSION_MAJOR} -DVERSION_MINOR=${PROJECT_VERSION_MINOR}
      -DFILE_VERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0
      -DWEBSITE=${LARKSPAN_WEBSITE_URL} -DICON=${CMAKE_BINARY_DIR}/resources/larkspan.ico
      -DWIZARD_BITMAP=${LARKSPAN_WIZARD_BITMAP}
      -DLICENCE=${LARKSPAN_LICENCE} -DCOPYRIGHT_NSH=${LARKSPAN_COPYRIGHT_NSH}
      -DUNINSTALL_LAUNCHER=$<TARGET_FILE:larkspan_uninstall_launcher>
      -DOUTFILE=${LARKSPAN_SETUP} -DMODEL_COMPONENTS=${LARKSPAN_MODEL_COMPONENTS}
      ${CMAKE_SOURCE_DIR}/packaging/windows/installer.nsi
    # Both sizes, as the README tells where to find them.
    COMMAND ${CMAKE_COMMAND} -DSETUP=${LARKSPAN_SETUP} -DPAYLOAD=${payload}
      -DMODEL_COMPONENTS=${LARKSPAN_MODEL_COMPONENTS} -DREPORT=${CMAKE_BINARY_DIR}/installer-sizes.txt
      -P ${CMAKE_SOURCE_DIR}/cmake/InstallerSizes.cmake
    DEPENDS larkspan textract.bin pdfi.bin larkspan_windows_runtime larkspan_shipped_tools
      larkspan_windows_icon larkspan_icons larkspan_uninstall_launcher
    BYPRODUCTS ${LARKSPAN_SETUP}
    COMMENT "Packing ${LARKSPAN_SETUP}"
    VERBATIM)
endif()
