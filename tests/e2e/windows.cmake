# The programs end to end on Windows, under Wine: korvax-scan.exe and kvdtool.exe started
# through their wide command line (run_program_win32.cpp). The POSIX tests' fixtures
# (FIFOs, devices, other users, links, a library preloaded to fail system calls) cannot
# exist there; windows_programs_test.cpp says what stands in for them.
find_package(nlohmann_json 3 REQUIRED)
add_executable(korvax_scan_e2e windows_programs_test.cpp run_program_win32.cpp)
target_link_libraries(korvax_scan_e2e PRIVATE korvax_test_support korvax_engine nlohmann_json::nlohmann_json)
target_compile_definitions(korvax_scan_e2e PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
# A small program to run while a check meets it.
add_executable(korvax_e2e_small_program small_program.c)
set_target_properties(korvax_e2e_small_program PROPERTIES OUTPUT_NAME korvax-e2e-small-program)
add_dependencies(korvax_scan_e2e korvax-scan kvdtool cpudll default_database korvax_e2e_small_program)
# Serial: korvax-scan adds workers by the processor load, and the tests start programs.
gtest_discover_tests(korvax_scan_e2e DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${KORVAX_DISCOVERY_MODE}
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
