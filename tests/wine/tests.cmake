# Tovinel: the Wine runs, registered in the native build: the built tovinel.exe and the helpers of
# the cross build (this folder's CMakeLists.txt) under Wine. One 64-bit (WOW64) prefix per test run,
# booted by the fixture's set-up and removed by its clean-up.
set(wine_tests ${CMAKE_CURRENT_LIST_DIR})
# How the Wine runner's default cover of the table is chosen; needs no Wine.
add_test(NAME wine_scenario_cover COMMAND /usr/bin/python3 ${wine_tests}/test_scenario_cover.py)
if(TOVINEL_EXE AND TOVINEL_WINE_HELPERS)
    set(wine_prefix ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix)
    add_test(NAME wine_prefix_boot COMMAND /usr/bin/python3 ${wine_tests}/wine_session.py boot ${wine_prefix})
    add_test(NAME wine_prefix_remove COMMAND /usr/bin/python3 ${wine_tests}/wine_session.py remove ${wine_prefix})
    # A cover of the table by default, chosen with the emulated runner (scenario_cover.py);
    # TOVINEL_WINE_ALL=1 in the environment plays every scenario.
    add_test(NAME wine_scenarios COMMAND /usr/bin/python3 ${wine_tests}/run_scenarios.py
             --ini-library $<TARGET_FILE:emulated_ini> ${TOVINEL_SCENARIO_TABLE} ${TOVINEL_EXE}
             ${TOVINEL_WINE_HELPERS} ${wine_prefix} ${CMAKE_CURRENT_BINARY_DIR}/wine-scenarios)
    add_test(NAME wine_ini_differential COMMAND /usr/bin/python3 ${wine_tests}/ini_differential.py
             $<TARGET_FILE:ini_query> ${TOVINEL_WINE_HELPERS}/profile_reader.exe ${wine_prefix}
             ${CMAKE_CURRENT_BINARY_DIR}/wine-ini ${wine_tests}/ini_differences.txt)
    set_tests_properties(wine_prefix_boot PROPERTIES FIXTURES_SETUP wine TIMEOUT 300 RESOURCE_LOCK wine)
    set_tests_properties(wine_prefix_remove PROPERTIES FIXTURES_CLEANUP wine RESOURCE_LOCK wine)
    set_tests_properties(wine_scenarios wine_ini_differential PROPERTIES
                         FIXTURES_REQUIRED wine TIMEOUT 300 RESOURCE_LOCK wine)
    # Where the kernel runs no 32-bit x86 programs, tools/setup.sh test hands them to qemu-i386; where
    # it could not, these tests say why and count as skipped (wine_session.py, why_wine_cannot_run).
    set_tests_properties(wine_prefix_boot wine_scenarios wine_ini_differential PROPERTIES SKIP_RETURN_CODE 77)
    # Wine never refuses a start for elevation, so the hand-over to the shell is played directly.
    add_test(NAME wine_shell_start COMMAND /usr/bin/python3 ${wine_tests}/run_shell_start.py
             ${TOVINEL_WINE_HELPERS} ${wine_prefix} ${CMAKE_CURRENT_BINARY_DIR}/wine-shell-start)
    set_tests_properties(wine_shell_start PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 RESOURCE_LOCK wine
                         SKIP_RETURN_CODE 77)
    # tovinel-brand.exe, whose PNG decoder is Windows' (WIC): the same branded file as the Linux tool's.
    if(TOVINEL_BRAND_EXE)
        add_test(NAME brand_wine_32 COMMAND /usr/bin/python3 ${wine_tests}/brand_wine.py ${TOVINEL_BRAND_EXE}
                 $<TARGET_FILE:tovinel-brand> ${TOVINEL_EXE} ${wine_prefix} ${CMAKE_CURRENT_BINARY_DIR}/brand-wine)
        set_tests_properties(brand_wine_32 PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 RESOURCE_LOCK wine
                             SKIP_RETURN_CODE 77)
    endif()
endif()

# tovinel-check.exe (build/win32) in a win64 prefix of its own. The clean medium first: the
# --this-machine cases play on a copy of it.
if(TOVINEL_CHECK_EXE)
    add_test(NAME check_wine_32 COMMAND /usr/bin/python3 ${wine_tests}/check_wine.py
             ${TOVINEL_CHECK_EXE} $<TARGET_FILE:tovinel-check> ${TOVINEL_WINE_HELPERS}/window_holder.exe
             ${CMAKE_CURRENT_BINARY_DIR}/check-wine-prefix-32 ${CMAKE_CURRENT_BINARY_DIR}/check-wine-32
             ${PROJECT_SOURCE_DIR}/tests/checker/check_media/clean ${sample_media})
    set_tests_properties(check_wine_32 PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine SKIP_RETURN_CODE 77)
endif()
