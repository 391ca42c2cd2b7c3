# Embedded content: the install constants, the two embedded blocks, and the
# payload they come from. Native: the payload generator makes the payload from
# the notes and QMV.exe (from the Windows build). Windows: QMV and friends, and
# the installer's resources; the payload comes from QM_PAYLOAD_DIR.
get_filename_component(QM_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

if(WIN32)
  enable_language(RC)
  include("${QM_ROOT}/qmv/qmv.cmake")
  set(QM_INSTALLER_RESOURCES "${QM_ROOT}/app/resources/installer.rc" CACHE INTERNAL "")
  if(QM_PAYLOAD_DIR STREQUAL "")
    set(QM_CONTENT_DIR "${QM_ROOT}/build/native/payload")
    message(STATUS "QM_PAYLOAD_DIR not set: embedding from ${QM_CONTENT_DIR}")
  else()
    set(QM_CONTENT_DIR "${QM_PAYLOAD_DIR}")
  endif()
else()
  if(QM_QMV_EXE STREQUAL "")
    set(QM_QMV_INPUT "${QM_ROOT}/build/win32/QMV.exe")
    message(STATUS "QM_QMV_EXE not set: the payload takes ${QM_QMV_INPUT}")
  else()
    set(QM_QMV_INPUT "${QM_QMV_EXE}")
  endif()
  get_filename_component(qm_qmv_dir "${QM_QMV_INPUT}" DIRECTORY)

  add_executable(make_payload "${QM_ROOT}/tools/make_payload.cpp")
  target_link_libraries(make_payload PRIVATE qm_minizip)

  set(QM_CONTENT_DIR "${CMAKE_BINARY_DIR}/payload")
  add_custom_command(
    OUTPUT "${QM_CONTENT_DIR}/Payload.zip" "${QM_CONTENT_DIR}/ReleaseNotes.txt"
    COMMAND make_payload "${QM_ROOT}/payload/ReleaseNotes.txt" "${QM_QMV_INPUT}" "${QM_CONTENT_DIR}"
    DEPENDS make_payload "${QM_ROOT}/payload/ReleaseNotes.txt" "${QM_QMV_INPUT}"
      "${qm_qmv_dir}/QMRuntime.dll" "${qm_qmv_dir}/Spell.dll" "${qm_qmv_dir}/Export.dll"
      "${qm_qmv_dir}/Outline.dll" "${qm_qmv_dir}/Uninstall.exe"
    COMMENT "Making the payload archive"
    VERBATIM)
  add_custom_target(qm_payload DEPENDS "${QM_CONTENT_DIR}/Payload.zip" "${QM_CONTENT_DIR}/ReleaseNotes.txt")
endif()

enable_language(ASM)
add_library(qm_content STATIC "${QM_ROOT}/content/embedded.cpp" "${QM_ROOT}/content/blocks.S")
target_include_directories(qm_content PUBLIC "${QM_ROOT}")
target_compile_definitions(qm_content PRIVATE
  QM_NOTES_FILE="${QM_CONTENT_DIR}/ReleaseNotes.txt"
  QM_PAYLOAD_FILE="${QM_CONTENT_DIR}/Payload.zip")
set_source_files_properties("${QM_ROOT}/content/blocks.S" PROPERTIES OBJECT_DEPENDS
  "${QM_CONTENT_DIR}/ReleaseNotes.txt;${QM_CONTENT_DIR}/Payload.zip")
if(NOT WIN32)
  add_dependencies(qm_content qm_payload)
  include("${QM_ROOT}/tests/content/content_tests.cmake")
endif()
