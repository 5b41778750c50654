# The include-layer check on a made-up tree with one fault of every kind it knows, and the
# includes it must let through: it names exactly these, each with its file and include.
#   cmake -DCHECK=<check_layers.cmake> -DFIXTURE=<faulty tree> -DCLEAN=<sound tree> -P check_layers_test.cmake

execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${FIXTURE} -P ${CHECK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\n" " " text "${out}${err}")
string(REGEX REPLACE "[ \t]+" " " text "${text}")
if(rc EQUAL 0)
  message(FATAL_ERROR "the check passed a tree that breaks the ranks:\n${out}${err}")
endif()
set(expected
  "6 include(s) against the folder ranks"
  "fixture/core/model/object.h: #include \"render/painter.h\" (model -> render: render is above model)"
  "fixture/core/component/facade.h: #include \"widget.h\" (component -> qt: qt is above component)"
  "fixture/core/editor/tool.h: folder 'editor' has no rank"
  "fixture/qt/widget.h: #include \"../win32/shell.h\" (qt -> win32: qt and win32 must not include each other)"
  "fixture/plugin/viewer_form.h: #include \"commands.h\" (plugin -> app: plugin and app must not include each other)"
  "fixture/app/view_command.cpp: #include \"balloon.h\" (app -> plugin: app and plugin must not include each other)")
foreach(line IN LISTS expected)
  string(FIND "${text}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "not reported: ${line}\nthe check said:\n${out}${err}")
  endif()
endforeach()
# Let through: a lower folder, the includer's own folder, a generated header, the allowed
# viewer window, and a platform layer on the component.
foreach(fine IN ITEMS "painter_detail.h" "generated_table.h" "open_viewer.h\" (" "fixture/win32/shell.h:"
                      "fixture/core/render/painter.h:")
  string(FIND "${text}" "${fine}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "reported though allowed: ${fine}\nthe check said:\n${out}${err}")
  endif()
endforeach()

# A tree that keeps the ranks passes, and says how much it looked at.
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CLEAN} -P ${CHECK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT "${out}${err}" MATCHES "4 includes between files")
  message(FATAL_ERROR "a tree that keeps the ranks did not pass cleanly:\n${out}${err}")
endif()
