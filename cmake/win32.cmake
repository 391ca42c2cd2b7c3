# Windows build (MinGW-w64 i686, static): the installer, the application stub
# and the programs the Wine tests run.
enable_testing()
set(QM_PAYLOAD_DIR "" CACHE PATH "Folder holding Payload.zip and ReleaseNotes.txt (GBK)")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tests/wine/wine-run.sh")
add_link_options(-static -static-libgcc -static-libstdc++)
# Size: each function and datum in a section of its own so the linker drops
# what nothing uses, and no symbols or debug data in the shipped files.
add_compile_options(-ffunction-sections -fdata-sections)
# Nothing in the Windows build catches an exception (the native build's
# memory backend does, and keeps them): without them the program carries no
# unwind tables for its own code, and no RTTI.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
                    -fno-asynchronous-unwind-tables)
add_link_options(-Wl,--gc-sections -s)

include(content/content.cmake)
include(runtime/runtime.cmake)
include(app/app.cmake)
include(tests/wine/wine.cmake)
