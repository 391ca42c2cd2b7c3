# Windows build (MinGW-w64 i686, static): the installer, the application stub
# and the programs the Wine tests run.
enable_testing()
set(QM_PAYLOAD_DIR "" CACHE PATH "Folder holding Payload.zip and ReleaseNotes.txt (GBK)")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tests/wine/wine-run.sh")
add_link_options(-static -static-libgcc -static-libstdc++)

include(content/content.cmake)
include(runtime/runtime.cmake)
include(app/app.cmake)
include(tests/wine/wine.cmake)
