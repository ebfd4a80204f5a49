# What both Windows toolchains share: the mingw-w64 cross compilers of Debian (the posix
# threading flavour, for std::thread), the programs' C++ runtime linked in so that nothing
# but system DLLs sits beside them, and a cross prefix under build/ for what Debian ships
# no mingw build of (GoogleTest, and the header-only CLI11 and nlohmann-json copied there).
# Expects KORVAX_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR to be set by the includer.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${KORVAX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVAX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${KORVAX_MINGW_TRIPLET}-windres)

get_filename_component(KORVAX_CROSS_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../../build/cross/${KORVAX_MINGW_TRIPLET}" ABSOLUTE)
# The host's /usr/include and its packages stay out of the search: only the mingw sysroot
# and the cross prefix.
set(CMAKE_FIND_ROOT_PATH /usr/${KORVAX_MINGW_TRIPLET} ${KORVAX_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC cannot align the stack beyond 16 bytes on Windows (its unwind data forbids it), so an
# AVX value it spills (the sweep's AVX2 kernel) may sit misaligned, and an aligned vector
# move of it would fault. The assembler turns every aligned vector move into an unaligned
# one, which costs the same on aligned data.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
