# The run time: the platform-neutral window model and services, the file and
# archive services, and the backends that realise them.
add_library(qm_runtime_core STATIC
  runtime/core/run_time.cpp
  runtime/core/services.cpp)
target_include_directories(qm_runtime_core PUBLIC ${CMAKE_SOURCE_DIR})

include(runtime/files/files.cmake OPTIONAL)

if(NOT WIN32)
  add_library(qm_memory_backend STATIC runtime/memory/memory_backend.cpp)
  target_link_libraries(qm_memory_backend PUBLIC qm_runtime_core Threads::Threads)
endif()

if(WIN32)
  add_library(qm_win32_backend STATIC runtime/win32/backend_win32.cpp runtime/win32/lean_runtime.cpp)
  target_compile_definitions(qm_win32_backend PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601)
  target_link_libraries(qm_win32_backend PUBLIC qm_runtime_core user32 gdi32 comctl32 ole32)
endif()
