# Quillmere itself, as the installer carries it: QMV.exe, its run-time library,
# plug-ins and uninstaller. Small and reproducible (no link time stamp), since
# their bytes go into the payload. Building QMV builds them all, because the
# payload generator takes them from QMV.exe's folder.
set(QMV_FLAGS -Os)
set(QMV_LINK -s -Wl,--no-insert-timestamp)

function(qmv_output target name)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")
  target_compile_options(${target} PRIVATE ${QMV_FLAGS})
  target_link_options(${target} PRIVATE ${QMV_LINK})
endfunction()

add_library(qmv_runtime SHARED "${QM_ROOT}/qmv/runtime.c")
qmv_output(qmv_runtime QMRuntime)

set(number 0)
foreach(plugin IN ITEMS Spell Export Outline)  # QM_PLUGIN 1, 2, 3
  math(EXPR number "${number} + 1")
  add_library(qmv_plugin_${plugin} SHARED "${QM_ROOT}/qmv/plugin.c")
  target_compile_definitions(qmv_plugin_${plugin} PRIVATE QM_PLUGIN=${number})
  qmv_output(qmv_plugin_${plugin} ${plugin})
endforeach()

add_executable(qmv_uninstall WIN32 "${QM_ROOT}/qmv/uninstall.cpp")
target_link_options(qmv_uninstall PRIVATE -municode)
qmv_output(qmv_uninstall Uninstall)

add_executable(QMV WIN32 "${QM_ROOT}/qmv/qmv.cpp" "${QM_ROOT}/qmv/qmv.rc")
target_link_options(QMV PRIVATE -municode)
qmv_output(QMV QMV)
add_dependencies(QMV qmv_runtime qmv_plugin_Spell qmv_plugin_Export qmv_plugin_Outline qmv_uninstall)

# QMV shows exactly the command line it was given (run under Wine).
add_executable(qmv_test "${QM_ROOT}/tests/content/qmv_test.cpp")
target_link_options(qmv_test PRIVATE -municode)
add_test(NAME qmv_command_line COMMAND qmv_test $<TARGET_FILE:QMV>)
