# Tests of the payload and of the embedded blocks (native build).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(QM_CONTENT_TESTS "${QM_ROOT}/tests/content")

add_test(NAME content_payload
  COMMAND Python3::Interpreter "${QM_CONTENT_TESTS}/check_payload.py"
    "${QM_CONTENT_DIR}/Payload.zip" "${QM_CONTENT_DIR}/ReleaseNotes.txt" "${QM_QMV_INPUT}")
add_test(NAME content_payload_reproducible
  COMMAND Python3::Interpreter "${QM_CONTENT_TESTS}/check_payload.py" --reproducible
    $<TARGET_FILE:make_payload> "${QM_ROOT}/payload/ReleaseNotes.txt" "${QM_QMV_INPUT}"
    "${QM_CONTENT_DIR}/Payload.zip")

add_executable(content_embedded_test "${QM_CONTENT_TESTS}/embedded_test.cpp")
target_link_libraries(content_embedded_test PRIVATE qm_content GTest::gtest_main)
target_compile_definitions(content_embedded_test PRIVATE
  QM_TEST_NOTES_FILE="${QM_CONTENT_DIR}/ReleaseNotes.txt"
  QM_TEST_PAYLOAD_FILE="${QM_CONTENT_DIR}/Payload.zip")
add_test(NAME content_embedded COMMAND content_embedded_test)

# The same check serves any executable that links qm_content (the installer
# too): pass its path as the first argument.
add_test(NAME content_embedded_blocks
  COMMAND Python3::Interpreter "${QM_CONTENT_TESTS}/check_embedded.py"
    $<TARGET_FILE:content_embedded_test> "${QM_CONTENT_DIR}/ReleaseNotes.txt" "${QM_CONTENT_DIR}/Payload.zip")
