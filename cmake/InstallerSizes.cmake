# Prints the size of the Windows installer and of the program folder it installs (the payload,
# without the uninstaller Setup writes beside it, and the models of the components) with the
# components chosen by default and with every one, and keeps the lines in REPORT:
#   cmake -DSETUP=<Setup.exe> -DPAYLOAD=<payload folder> -DMODEL_COMPONENTS=<file>
#     -DREPORT=<file> -P InstallerSizes.cmake
# MODEL_COMPONENTS: lines "id|label|on or off|model files..." (tools/CMakeLists.txt).
file(SIZE "${SETUP}" setup_bytes)
file(GLOB_RECURSE payload_files LIST_DIRECTORIES false "${PAYLOAD}/*")
set(payload_bytes 0)
list(LENGTH payload_files payload_count)
foreach(payload_file IN LISTS payload_files)
  file(SIZE "${payload_file}" bytes)
  math(EXPR payload_bytes "${payload_bytes} + ${bytes}")
endforeach()
# The models of the components, which Setup carries beside the payload: those chosen by default
# and all of them.
set(default_bytes ${payload_bytes})
set(default_count ${payload_count})
file(STRINGS "${MODEL_COMPONENTS}" components)
foreach(component IN LISTS components)
  if(component MATCHES "^[^|]*\\|[^|]*\\|(on|off)\\|(.*)$")
    set(chosen ${CMAKE_MATCH_1})
    string(REPLACE " " ";" models "${CMAKE_MATCH_2}")
    foreach(model IN LISTS models)
      if(model)
        file(SIZE "${model}" bytes)
        math(EXPR payload_bytes "${payload_bytes} + ${bytes}")
        math(EXPR payload_count "${payload_count} + 1")
        if(chosen STREQUAL "on")
          math(EXPR default_bytes "${default_bytes} + ${bytes}")
          math(EXPR default_count "${default_count} + 1")
        endif()
      endif()
    endforeach()
  endif()
endforeach()

# Megabytes of a million bytes, with one decimal.
function(megabytes bytes out)
  math(EXPR tenths "(${bytes} + 50000) / 100000")
  math(EXPR whole "${tenths} / 10")
  math(EXPR decimal "${tenths} % 10")
  set(${out} "${whole}.${decimal} MB" PARENT_SCOPE)
endfunction()
megabytes(${setup_bytes} setup_size)
megabytes(${payload_bytes} payload_size)
megabytes(${default_bytes} default_size)
get_filename_component(setup_name "${SETUP}" NAME)
set(report "${setup_name}: ${setup_size} (${setup_bytes} bytes)
installs into Program Files\\Larkspan, besides its uninstaller:
  with the components chosen by default ${default_size} (${default_bytes} bytes) in ${default_count} files
  with every component ${payload_size} (${payload_bytes} bytes) in ${payload_count} files
")
file(WRITE "${REPORT}" "${report}")
message("${report}")
