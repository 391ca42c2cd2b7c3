# Archive extraction and file services: the neutral core for both builds, the
# POSIX sandbox and its tests natively, the Win32 platform and its Wine test
# in the Windows build.
get_filename_component(QM_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)

add_library(qm_files STATIC
  ${QM_ROOT}/runtime/files/extract.cpp
  ${QM_ROOT}/runtime/files/temp_name.cpp
  ${QM_ROOT}/runtime/files/win_path.cpp
  ${QM_ROOT}/runtime/files/write_queue.cpp)
target_include_directories(qm_files PUBLIC "${QM_ROOT}")
if(NOT WIN32)
  target_link_libraries(qm_files PUBLIC Threads::Threads)
endif()
target_link_libraries(qm_files PUBLIC qm_minizip)
# minizip feeds inflate 16 KiB at a time by default, and zlib copies each
# call's output into its window: 64 KiB calls copy a third as much.
target_compile_definitions(qm_minizip PRIVATE UNZ_BUFSIZE=65536)

if(WIN32)
  add_library(qm_win32_platform STATIC
    ${QM_ROOT}/runtime/win32/platform_win32.cpp
    ${QM_ROOT}/runtime/win32/fs_win32.cpp)
  target_link_libraries(qm_win32_platform PUBLIC qm_files ole32 uuid)
  target_compile_definitions(qm_win32_platform PUBLIC UNICODE _UNICODE _WIN32_WINNT=0x0601)

  add_executable(files_test ${QM_ROOT}/tests/wine/files_test.cpp)
  target_link_libraries(files_test PRIVATE qm_win32_platform)
  add_test(NAME files_test COMMAND files_test)
else()
  add_library(qm_sandbox STATIC
    ${QM_ROOT}/runtime/memory/sandbox_platform.cpp
    ${QM_ROOT}/runtime/memory/fs_posix.cpp)
  target_link_libraries(qm_sandbox PUBLIC qm_files Threads::Threads)

  add_executable(extract_test ${QM_ROOT}/tests/native/extract_test.cpp ${QM_ROOT}/tests/native/zip_fixture.cpp)
  target_link_libraries(extract_test PRIVATE qm_sandbox GTest::gtest_main)
  add_test(NAME extract_test COMMAND extract_test)

  add_executable(files_test ${QM_ROOT}/tests/native/files_test.cpp ${QM_ROOT}/tests/native/zip_fixture.cpp)
  target_link_libraries(files_test PRIVATE qm_sandbox GTest::gtest_main)
  add_test(NAME files_test COMMAND files_test)

  add_executable(extract_cli ${QM_ROOT}/tools/extract_cli.cpp)
  target_link_libraries(extract_cli PRIVATE qm_sandbox)
  # Linked like the installer, without a shared C++ library to load.
  target_link_options(extract_cli PRIVATE -static-libstdc++ -static-libgcc)
  add_executable(bench_extract ${QM_ROOT}/tools/bench_extract.cpp)
  target_link_libraries(bench_extract PRIVATE qm_sandbox)
endif()

# Benchmark tools: a generated archive, the inflate-to-memory floor and, for
# Wine, a program that only shows one window.
if(WIN32)
  add_executable(bench_window WIN32 ${QM_ROOT}/tools/bench_window.cpp)
  target_compile_definitions(bench_window PRIVATE UNICODE _UNICODE)
  target_link_options(bench_window PRIVATE -municode)
  target_link_libraries(bench_window PRIVATE user32)
else()
  add_executable(make_big_archive ${QM_ROOT}/tools/make_big_archive.cpp)
  target_link_libraries(make_big_archive PRIVATE qm_minizip)
  add_executable(bench_inflate ${QM_ROOT}/tools/bench_inflate.cpp)
  target_link_libraries(bench_inflate PRIVATE ZLIB::ZLIB)
endif()
