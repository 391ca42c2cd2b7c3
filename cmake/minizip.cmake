# minizip (zlib's contrib/minizip), compiled from the source package that
# scripts/setup.sh fetches; the same code serves both builds.
if(NOT EXISTS "${QM_MINIZIP_DIR}/unzip.c")
  message(FATAL_ERROR "minizip sources missing in ${QM_MINIZIP_DIR}: run scripts/setup.sh")
endif()
find_package(ZLIB REQUIRED)
add_library(qm_minizip STATIC
  "${QM_MINIZIP_DIR}/unzip.c"
  "${QM_MINIZIP_DIR}/zip.c"
  "${QM_MINIZIP_DIR}/ioapi.c")
target_include_directories(qm_minizip SYSTEM PUBLIC "${QM_MINIZIP_DIR}")
target_compile_definitions(qm_minizip PUBLIC NOCRYPT NOUNCRYPT)
target_compile_options(qm_minizip PRIVATE -w)
if(WIN32)
  # Linked in: an imported zlib1.dll would be missing on Windows and, found
  # beside the program first, could be swapped for another before start-up.
  find_library(QM_ZLIB_STATIC NAMES libz.a REQUIRED)
  target_include_directories(qm_minizip SYSTEM PUBLIC ${ZLIB_INCLUDE_DIRS})
  target_link_libraries(qm_minizip PUBLIC "${QM_ZLIB_STATIC}")
else()
  target_link_libraries(qm_minizip PUBLIC ZLIB::ZLIB)
endif()
