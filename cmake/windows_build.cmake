# A Windows build, cross-built on Linux (the windows-x64 and windows-x86 presets with the
# toolchains beside this file): its cross prefix filled once, and its programs run under
# Wine by ctest and by test discovery.
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KORVAX_WINE_ARCH x86_64)
else()
  set(KORVAX_WINE_ARCH i686)
endif()

# GoogleTest, CLI11 and nlohmann-json for the cross compiler (scripts/cross-deps.sh): made
# once, then found in the prefix the toolchain searches.
execute_process(
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/cross-deps.sh ${CMAKE_TOOLCHAIN_FILE} ${KORVAX_CROSS_PREFIX}
  RESULT_VARIABLE cross_deps_status)
if(NOT cross_deps_status EQUAL 0)
  message(FATAL_ERROR "scripts/cross-deps.sh could not fill ${KORVAX_CROSS_PREFIX}")
endif()

# Every program built from here on runs through Wine with this build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${KORVAX_WINE_ARCH} ${CMAKE_BINARY_DIR})
