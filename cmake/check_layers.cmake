# Dependencies between the folders of src/ run one way. Run as
#   cmake -DSOURCE_DIR=<src folder> -P check_layers.cmake
# It reads every #include "..." of every source file, finds the file it names the way the
# compiler does (beside the includer first, then the include folders of the build), and fails
# naming each include that reaches a folder ranked above the includer's own, or a sibling
# folder the includer must not know (qt and win32; plugin and app).
#
# Ranks: the core's folders from the model up to the component, then the platform layers, then
# the programs built on them. A new folder must be given a rank here before it can be used.

cmake_minimum_required(VERSION 3.20)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<src folder> -P check_layers.cmake")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
# Files are named from the folder above, so that messages read "src/core/...".
get_filename_component(name_base "${SOURCE_DIR}" DIRECTORY)

set(rank_model 0)
set(rank_io 1)
set(rank_image 2)
set(rank_icons 3)
set(rank_import 4)
set(rank_view 5)
set(rank_render 6)
set(rank_interact 7)
set(rank_component 8)
set(rank_qt 9)
set(rank_win32 9)
set(rank_plugin 10)
set(rank_app 10)

# Deliberate exceptions, as "includer folder -> included path below src/". `kestrum view` opens
# the plug-in's own viewer window (the kestrum_viewer library), so the tool includes its two
# entry headers; nothing else of the plug-in, and the plug-in nothing of the tool.
set(allowed
  "app -> plugin/open_viewer.h"
  "app -> plugin/viewer_form.h")

# Where quoted includes are looked up after the includer's own folder (the build's include
# folders, in the order the targets add them).
set(search_dirs "${SOURCE_DIR}/core" "${SOURCE_DIR}/qt" "${SOURCE_DIR}/plugin" "${SOURCE_DIR}/app")

# The layer of a file below src/: a folder of the core, or a top folder beside it.
function(layer_of path out)
  file(RELATIVE_PATH rel "${SOURCE_DIR}" "${path}")
  if(rel MATCHES "^core/([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(rel MATCHES "^([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE sources LIST_DIRECTORIES false
  "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.hpp" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.cc" "${SOURCE_DIR}/*.inc")
list(SORT sources)

set(problems "")
set(checked 0)
foreach(file IN LISTS sources)
  layer_of("${file}" from)
  file(RELATIVE_PATH file_rel "${name_base}" "${file}")
  if(from STREQUAL "")
    continue() # a file directly in src/ or src/core/ belongs to no layer
  endif()
  if(NOT DEFINED rank_${from})
    list(APPEND problems "${file_rel}: folder '${from}' has no rank in cmake/check_layers.cmake")
    continue()
  endif()
  get_filename_component(own_dir "${file}" DIRECTORY)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      continue()
    endif()
    set(name "${CMAKE_MATCH_1}")
    set(target "")
    foreach(dir IN ITEMS "${own_dir}" ${search_dirs})
      if(EXISTS "${dir}/${name}" AND NOT IS_DIRECTORY "${dir}/${name}")
        get_filename_component(target "${dir}/${name}" ABSOLUTE)
        break()
      endif()
    endforeach()
    if(target STREQUAL "")
      continue() # generated in the build tree, or a system header written with quotes
    endif()
    math(EXPR checked "${checked} + 1")
    layer_of("${target}" to)
    if(to STREQUAL "" OR to STREQUAL from)
      continue()
    endif()
    file(RELATIVE_PATH target_rel "${SOURCE_DIR}" "${target}")
    if("${from} -> ${target_rel}" IN_LIST allowed)
      continue()
    endif()
    if(NOT DEFINED rank_${to})
      list(APPEND problems "${file_rel}: #include \"${name}\" reaches folder '${to}', which has no rank")
    elseif(rank_${to} GREATER rank_${from})
      list(APPEND problems "${file_rel}: #include \"${name}\" (${from} -> ${to}: ${to} is above ${from})")
    elseif(rank_${to} EQUAL rank_${from})
      list(APPEND problems "${file_rel}: #include \"${name}\" (${from} -> ${to}: ${from} and ${to} must not include each other)")
    endif()
  endforeach()
endforeach()

list(LENGTH problems count)
if(count GREATER 0)
  # The pairs first, for a reader who wants the shape; then every include, for the one who mends it.
  set(pairs "")
  foreach(p IN LISTS problems)
    if(p MATCHES "\\(([a-z0-9_]+ -> [a-z0-9_]+):")
      list(APPEND pairs "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES pairs)
  list(JOIN pairs ", " pair_text)
  list(JOIN problems "\n  " problem_text)
  message(FATAL_ERROR "${count} include(s) against the folder ranks (${pair_text}):\n  ${problem_text}")
endif()
message(STATUS "include layers: ${checked} includes between files of src/ follow the folder ranks")
