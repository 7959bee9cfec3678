# GoogleTest for all three configurations and the helpers that declare tests.
#
#   vel_add_gtest(NAME name SOURCES ... [LIBS ...])
#       a GoogleTest program; its test runs natively or under wine64 and
#       writes its results to test-results/<name>.xml for the summary.
#   vel_add_script_test(NAME name COMMAND ...)
#       a test that is a command of its own (a shell script, say); counts as
#       one test in the summary.
#   vel_gui_tests(test...)
#       tests whose programs open windows, dialogs or message boxes: they
#       run one at a time.
#
# VEL_RUN_TESTS is off in the win32 configuration: its programs are built and
# linked but cannot run on these machines.

if(VEL_WINDOWS)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(t gtest gtest_main)
        target_compile_options(${t} PUBLIC
            -include ${CMAKE_CURRENT_LIST_DIR}/gtest-win32-threads.h)
        target_compile_options(${t} PRIVATE -w)
    endforeach()
    set(VEL_GTEST_MAIN gtest_main)
else()
    find_package(GTest REQUIRED)
    set(VEL_GTEST_MAIN GTest::gtest_main)
endif()

if(VEL_WINDOWS AND NOT VEL_PRODUCT)
    set(VEL_RUN_TESTS ON)
elseif(NOT VEL_WINDOWS)
    set(VEL_RUN_TESTS ON)
else()
    set(VEL_RUN_TESTS OFF)
endif()

set(VEL_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)

# The benchmark corpus (scripts/make-corpus.sh; `make bench` makes it in
# build/corpus). The tests that read it run only where it is. VEL_CORPUS in
# the environment at the first configure chooses another folder.
if(DEFINED ENV{VEL_CORPUS})
    set(vel_corpus_default $ENV{VEL_CORPUS})
else()
    set(vel_corpus_default ${CMAKE_SOURCE_DIR}/build/corpus)
endif()
set(VEL_CORPUS ${vel_corpus_default} CACHE PATH "Benchmark corpus that tests use when present")
set(VEL_WINE_STATE ${CMAKE_BINARY_DIR}/wine)

if(VEL_RUN_TESTS)
    enable_testing()
endif()

if(VEL_RUN_TESTS AND VEL_WINDOWS)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                   @ONLY)
    set(VEL_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
    # Read when targets are created: every test program runs through it.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEL_WINE_RUN})
    add_test(NAME wine_fixture_setup
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-fixture.sh start ${VEL_WINE_STATE})
    add_test(NAME wine_fixture_cleanup
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-fixture.sh stop ${VEL_WINE_STATE})
    set_tests_properties(wine_fixture_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
    set_tests_properties(wine_fixture_cleanup PROPERTIES FIXTURES_CLEANUP wine)
endif()

# Path of a file as a test program sees it: Wine maps the Unix root to Z:.
function(vel_test_path out path)
    if(VEL_WINDOWS)
        set(${out} "Z:${path}" PARENT_SCOPE)
    else()
        set(${out} "${path}" PARENT_SCOPE)
    endif()
endfunction()

function(_vel_test_properties name)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    if(VEL_WINDOWS)
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
                             ENVIRONMENT "VEL_WINE_RUN=${VEL_WINE_RUN}")
    endif()
endfunction()

function(vel_add_gtest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${VEL_GTEST_MAIN} vel_strict)
    if(VEL_RUN_TESTS)
        vel_test_path(xml ${VEL_TEST_RESULTS}/${T_NAME}.xml)
        add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_output=xml:${xml})
        _vel_test_properties(${T_NAME})
    endif()
endfunction()

function(vel_add_script_test)
    cmake_parse_arguments(T "" "NAME" "COMMAND" ${ARGN})
    if(VEL_RUN_TESTS)
        add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
        _vel_test_properties(${T_NAME})
    endif()
endfunction()

# Tests whose programs open windows, dialogs or message boxes share the Wine
# desktop (a broadcast waits for every top-level window there): they run one
# at a time.
function(vel_gui_tests)
    if(VEL_RUN_TESTS)
        set_tests_properties(${ARGN} PROPERTIES RESOURCE_LOCK vel_wine_desktop)
    endif()
endfunction()
