# Windows i686, the 32-bit target, cross-built with mingw-w64 (see mingw-common.cmake).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KORVAX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
