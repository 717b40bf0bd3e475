# Checks the layers by folder. Every file under src/<layer>/ belongs to that layer, and includes
# name the layer they reach ("core/text/TextRules.h"):
#   core      (larkspan_core)      includes only core, and of the system only the C++ standard
#                                  library: no Qt, no header with ".h" or "/" in its name
#   platform  (larkspan_platform)  includes core and platform; no Qt
#   gui       (larkspan_gui)       includes core, platform and gui
#   app       (larkspan_app)       includes everything
#   tools/    (the adapters)       include core, platform and their own files; no Qt
# Each library is built from sources in its own folder only, and every source in a layer's
# folder is built into that layer's library. Run by CTest as
#   cmake -DSOURCE_DIR=<top> -DLISTS=<file> -P CheckLayers.cmake
# where LISTS holds one line per library: "<layer>;<source>;<source>..."

cmake_minimum_required(VERSION 3.25)

set(layers core platform gui app)
set(rank_core 0)
set(rank_platform 1)
set(rank_gui 2)
set(rank_app 3)
set(failures "")

file(STRINGS ${LISTS} lines)
set(built_layers "")
foreach(line IN LISTS lines)
  list(POP_FRONT line layer)
  list(APPEND built_layers ${layer})
  set(${layer}_sources "")
  foreach(source IN LISTS line)
    list(APPEND ${layer}_sources ${source})
    string(FIND "${source}" "${SOURCE_DIR}/src/${layer}/" at)
    if(NOT at EQUAL 0)
      list(APPEND failures "larkspan_${layer} is built from ${source}, outside src/${layer}/")
    endif()
  endforeach()
endforeach()

# check_file(<file> <layer> <rank>): its includes reach no higher layer.
function(check_file file layer rank)
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  cmake_path(GET file PARENT_PATH folder)
  foreach(include IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" include "${include}")
    if(include MATCHES "^<([^>]+)>")
      set(name ${CMAKE_MATCH_1})
      if(NOT layer MATCHES "^(gui|app)$" AND name MATCHES "^Q")
        list(APPEND failures "${file} (${layer}) includes Qt: <${name}>")
      elseif(layer STREQUAL "core" AND name MATCHES "[./]")
        list(APPEND failures "${file} (core) includes a system header: <${name}>")
      endif()
    elseif(include MATCHES "^\"([^\"]+)\"")
      set(name ${CMAKE_MATCH_1})
      if(name MATCHES "^(core|platform|gui|app)/")
        set(reached ${CMAKE_MATCH_1})
        if(${rank_${reached}} GREATER ${rank})
          list(APPEND failures "${file} (${layer}) includes ${name} (${reached})")
        endif()
      elseif(layer STREQUAL "tools" AND (EXISTS ${folder}/${name} OR EXISTS ${SOURCE_DIR}/tools/${name}))
        # The adapters' own files.
      elseif(name MATCHES "\\.moc$")
        # What moc generates for the file itself.
      else()
        list(APPEND failures "${file} (${layer}) includes \"${name}\", which names no layer")
      endif()
    endif()
  endforeach()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

set(checked 0)
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE files ${SOURCE_DIR}/src/${layer}/*.h ${SOURCE_DIR}/src/${layer}/*.cpp)
  foreach(file IN LISTS files)
    check_file(${file} ${layer} ${rank_${layer}})
    math(EXPR checked "${checked} + 1")
    if(file MATCHES "\\.cpp$" AND layer IN_LIST built_layers AND NOT file IN_LIST ${layer}_sources)
      # The other system's folder of the platform layer is not built here.
      cmake_path(GET file PARENT_PATH folder)
      set(built_here ${${layer}_sources})
      list(FILTER built_here INCLUDE REGEX "^${folder}/")
      if(built_here OR NOT folder MATCHES "/src/platform/(posix|win32)$")
        list(APPEND failures "${file} lies in src/${layer}/ but larkspan_${layer} is not built from it")
      endif()
    endif()
  endforeach()
endforeach()
# The adapters stand beside the platform: core and platform, nothing with Qt.
file(GLOB_RECURSE files ${SOURCE_DIR}/tools/*.h ${SOURCE_DIR}/tools/*.cpp)
foreach(file IN LISTS files)
  check_file(${file} tools ${rank_platform})
  math(EXPR checked "${checked} + 1")
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "Layering broken:\n  ${text}")
endif()
message(STATUS "Layers hold: ${checked} files include nothing above their layer")
