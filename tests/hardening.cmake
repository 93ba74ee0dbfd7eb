# Tovinel: the hardening runs as tests of the native build: the unit tests again under ASan and UBSan,
# each fuzz target for FUZZ_SECONDS (default 15) from its seeds, clang-tidy and cppcheck.
# Each run builds in a folder of its own (build/sanitize, build/fuzz) with clang-14.
option(TOVINEL_HARDENING_TESTS "Register the sanitizer, fuzzing and static-analysis runs as tests" ON)
if(NOT TOVINEL_HARDENING_TESTS)
    return()
endif()

set(tools ${PROJECT_SOURCE_DIR}/tools/dev)
add_test(NAME sanitized_unit_tests COMMAND ${tools}/sanitize.sh)

add_test(NAME fuzz_build COMMAND ${tools}/fuzz.sh --build-only)
set_tests_properties(fuzz_build PROPERTIES FIXTURES_SETUP fuzz_targets)
foreach(target command_line_tail launcher_folder ini_reader launch_decision check_lines check_autorun udf_image)
    add_test(NAME fuzz_${target} COMMAND ${tools}/fuzz.sh --no-build ${target})
    set_tests_properties(fuzz_${target} PROPERTIES FIXTURES_REQUIRED fuzz_targets TIMEOUT 900)
endforeach()

add_test(NAME clang_tidy COMMAND ${tools}/static_analysis.sh clang-tidy ${CMAKE_BINARY_DIR})
add_test(NAME cppcheck COMMAND ${tools}/static_analysis.sh cppcheck)

# The executable's hardening facts must be able to fail: each is taken away in turn from a copy.
if(TOVINEL_EXE)
    add_test(NAME exe_facts_can_fail COMMAND /usr/bin/python3 ${tools}/check_exe_mutants.py ${TOVINEL_EXE})
endif()
