# The installer's own logic and the window layouts it binds to.
add_library(qm_app STATIC
  app/centring.cpp
  app/handlers.cpp
  app/host.cpp
  app/wizard.cpp
  app/worker.cpp
  layouts/host_window.cpp
  layouts/wizard_window.cpp)
target_link_libraries(qm_app PUBLIC qm_runtime_core qm_content)

if(NOT WIN32)
  add_executable(runtime_test
    tests/native/run_time_test.cpp
    tests/native/wizard_test.cpp
    tests/native/centring_test.cpp)
  target_link_libraries(runtime_test PRIVATE qm_app qm_memory_backend qm_sandbox GTest::gtest_main)
  include(GoogleTest)
  gtest_discover_tests(runtime_test DISCOVERY_TIMEOUT 30)
endif()

if(WIN32)
  add_executable(QuillmereSetup WIN32 app/main_win32.cpp)
  if(QM_INSTALLER_RESOURCES AND EXISTS "${QM_INSTALLER_RESOURCES}")
    target_sources(QuillmereSetup PRIVATE "${QM_INSTALLER_RESOURCES}")
  endif()
  target_compile_definitions(QuillmereSetup PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601)
  target_link_options(QuillmereSetup PRIVATE -municode)
  target_link_libraries(QuillmereSetup PRIVATE qm_app qm_win32_backend qm_win32_platform qm_content)
  set_target_properties(QuillmereSetup PROPERTIES
    OUTPUT_NAME QuillmereSetup
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")
endif()
