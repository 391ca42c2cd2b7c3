# Native Linux build: everything platform-neutral, the in-memory backend, the
# build-time tools and the tests.
enable_testing()
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

# QMV.exe from the Windows build goes into the payload the tools generate.
set(QM_QMV_EXE "" CACHE FILEPATH "QMV.exe built by the Windows build")

include(content/content.cmake)
include(runtime/runtime.cmake)
include(app/app.cmake)
