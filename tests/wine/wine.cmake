# End-to-end tests: the installer run under Wine on a private X display and
# worked through qmdriver, as a person would.
set(QM_WINE_DIR "${CMAKE_CURRENT_LIST_DIR}")

add_executable(qmdriver
  "${QM_WINE_DIR}/driver/main.cpp"
  "${QM_WINE_DIR}/driver/commands.cpp"
  "${QM_WINE_DIR}/driver/window_query.cpp"
  "${QM_WINE_DIR}/driver/input.cpp"
  "${QM_WINE_DIR}/driver/json.cpp")
target_compile_definitions(qmdriver PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
target_link_libraries(qmdriver PRIVATE user32 gdi32 shell32)

# A window named like the installer's, so the driver is tested on its own.
add_executable(qmsample WIN32 "${QM_WINE_DIR}/driver/sample_window.cpp")
target_compile_definitions(qmsample PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601)
target_link_options(qmsample PRIVATE -municode)
target_link_libraries(qmsample PRIVATE user32 gdi32 shell32 ole32)

find_package(Python3 COMPONENTS Interpreter REQUIRED)

# Every test here shares the build's prefix and display: one at a time, and
# the display is stopped after the last one.
add_test(NAME wine_session_end
  COMMAND bash -c "source '${QM_WINE_DIR}/wine-env.sh' && qm_wine_stop")
set_tests_properties(wine_session_end PROPERTIES
  FIXTURES_CLEANUP wine_session RESOURCE_LOCK wine_desktop)

# Arguments after the program go to the script.
function(qm_wine_test name script exe)
  add_test(NAME ${name}
    COMMAND ${Python3_EXECUTABLE} "${QM_WINE_DIR}/${script}"
            --exe "${exe}" --driver $<TARGET_FILE:qmdriver> ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_session RESOURCE_LOCK wine_desktop TIMEOUT 180)
endfunction()

qm_wine_test(wine_driver test_driver.py $<TARGET_FILE:qmsample>)
if(TARGET QuillmereSetup)
  qm_wine_test(wine_host test_host.py $<TARGET_FILE:QuillmereSetup>)
  qm_wine_test(wine_install test_install.py $<TARGET_FILE:QuillmereSetup>
               --payload "${QM_CONTENT_DIR}/Payload.zip")
  qm_wine_test(wine_browse test_browse.py $<TARGET_FILE:QuillmereSetup>)
  qm_wine_test(wine_wizard_layout test_wizard_layout.py $<TARGET_FILE:QuillmereSetup>)
  qm_wine_test(wine_codepage test_codepage.py $<TARGET_FILE:QuillmereSetup>)
endif()

if(TARGET QuillmereSetup)
  # Faults injected into real installs; mounts small tmpfs drives when allowed.
  qm_wine_test(wine_faults test_faults.py $<TARGET_FILE:QuillmereSetup>)
endif()

# The Windows test programs of other folders run in the same prefix and display.
foreach(t files_test qmv_command_line)
  if(TEST ${t})
    set_tests_properties(${t} PROPERTIES FIXTURES_REQUIRED wine_session RESOURCE_LOCK wine_desktop)
  endif()
endforeach()
if(TARGET QuillmereSetup)
  add_test(NAME installer_embedded_blocks
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/content/check_embedded.py
            $<TARGET_FILE:QuillmereSetup> ${QM_PAYLOAD_DIR}/ReleaseNotes.txt ${QM_PAYLOAD_DIR}/Payload.zip)
endif()

# Planted-DLL check: a DLL that marks its own loading, and a program without
# the installer's DLL search hardening to show such a DLL is picked up.
add_library(qmplanted SHARED "${QM_WINE_DIR}/planted/marker_dll.c")
set_target_properties(qmplanted PROPERTIES PREFIX "")
add_executable(qmloader "${QM_WINE_DIR}/planted/loader.c")
target_compile_definitions(qmloader PRIVATE UNICODE _UNICODE)
target_link_options(qmloader PRIVATE -municode)
if(TARGET QuillmereSetup)
  qm_wine_test(wine_paths test_paths.py $<TARGET_FILE:QuillmereSetup>)
  qm_wine_test(wine_dll_planting test_dll_planting.py $<TARGET_FILE:QuillmereSetup>
               --planted $<TARGET_FILE:qmplanted> --loader $<TARGET_FILE:qmloader>)
endif()
