# Checks that the layers include only downwards: the core (pure C++) includes no Qt, no
# operating-system header of its own choosing and nothing of the platform or GUI layers; the
# platform layer includes no Qt and nothing of the GUI layer. Run by CTest as
#   cmake -DSOURCE_DIR=<top> -DLISTS=<file> -P CheckLayers.cmake
# where LISTS holds one line per layer: "<layer>;<source>;<source>..." (core, platform, gui).

cmake_minimum_required(VERSION 3.25)

file(STRINGS ${LISTS} lines)
set(layers core platform gui)
foreach(line IN LISTS lines)
  list(POP_FRONT line layer)
  set(${layer}_files ${line})
endforeach()

# The layer of every file under src/: a source by the library it is built into, a header by its
# source of the same name, or (header-only) by what it includes itself: Qt makes it GUI.
function(header_layer header out)
  string(REGEX REPLACE "\\.h$" ".cpp" source ${header})
  foreach(layer IN LISTS layers)
    if(${source} IN_LIST ${layer}_files)
      set(${out} ${layer} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  file(STRINGS ${header} qt REGEX "^#include <Q")
  if(qt)
    set(${out} gui PARENT_SCOPE)
  elseif(header MATCHES "/src/platform/")
    set(${out} platform PARENT_SCOPE)
  else()
    set(${out} core PARENT_SCOPE)
  endif()
endfunction()

set(rank_core 0)
set(rank_platform 1)
set(rank_gui 2)
set(failures "")
foreach(layer core platform)
  set(files ${${layer}_files})
  # The headers that belong to this layer's sources are checked with them.
  foreach(file IN LISTS ${layer}_files)
    string(REGEX REPLACE "\\.cpp$" ".h" header ${file})
    if(EXISTS ${header})
      list(APPEND files ${header})
    endif()
  endforeach()
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include [<\"]")
    foreach(include IN LISTS includes)
      if(include MATCHES "^#include <Q")
        list(APPEND failures "${file} (${layer}) includes Qt: ${include}")
      elseif(include MATCHES "^#include \"([^\"]+)\"")
        set(target ${SOURCE_DIR}/src/${CMAKE_MATCH_1})
        if(EXISTS ${target})
          header_layer(${target} included)
          if(${rank_${included}} GREATER ${rank_${layer}})
            list(APPEND failures "${file} (${layer}) includes ${CMAKE_MATCH_1} (${included})")
          endif()
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "Includes that reach a higher layer:\n  ${text}")
endif()
list(LENGTH core_files core_count)
list(LENGTH platform_files platform_count)
message(STATUS "Layers hold: ${core_count} core and ${platform_count} platform sources include "
               "nothing above them")
