# GoogleTest for all three configurations and the helpers that declare tests.
#
#   vel_add_gtest(NAME name SOURCES ... [LIBS ...])
#       a GoogleTest program; its test runs natively or under Wine and
#       writes its results to test-results/<name>.xml for the summary.
#   vel_add_script_test(NAME name COMMAND ...)
#       a test that is a command of its own (a shell script, say); counts as
#       one test in the summary.
#   vel_gui_tests(test...)
#       tests whose programs open windows, dialogs or message boxes: they
#       run one at a time.
#
# Every configuration runs its tests: natively, under the host's wine64
# (win64), or under Wine 10's WoW64 mode in a Debian trixie root (win32,
# the product; see cmake/wine.sh).

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
# The trixie root of the i686 build's Wine, made on first use and shared by
# the win32 build folder and the demo.
set(VEL_WOW64_ROOT ${PROJECT_SOURCE_DIR}/build/wow64 CACHE PATH
    "Debian trixie root whose Wine 10 runs the i686 programs (made on first use)")

enable_testing()

if(VEL_WINDOWS)
    set(VEL_WINE_SH ${CMAKE_CURRENT_LIST_DIR}/wine.sh)
    set(VEL_WINE_OPTIONS)
    set(fixture_timeout 300)
    if(VEL_PRODUCT)
        # The root shows the folders that test programs name, at their own
        # paths; one inside another is shown with it.
        set(VEL_WINE_OPTIONS --root ${VEL_WOW64_ROOT})
        set(shown)
        set(folders ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
        if(IS_DIRECTORY ${VEL_CORPUS})
            list(APPEND folders ${VEL_CORPUS})
        endif()
        foreach(folder ${folders})
            set(inside OFF)
            foreach(other ${shown})
                cmake_path(IS_PREFIX other ${folder} NORMALIZE inside)
                if(inside)
                    break()
                endif()
            endforeach()
            if(NOT inside)
                list(APPEND shown ${folder})
                list(APPEND VEL_WINE_OPTIONS --share ${folder})
            endif()
        endforeach()
        # The first run makes the root: a few minutes of downloads.
        set(fixture_timeout 1200)
    endif()
    list(JOIN VEL_WINE_OPTIONS " " wine_options)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                   @ONLY)
    set(VEL_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
    # Read when targets are created: every test program runs through it.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEL_WINE_RUN})
    add_test(NAME wine_fixture_setup
             COMMAND ${VEL_WINE_SH} ${VEL_WINE_OPTIONS} ${VEL_WINE_STATE} start)
    add_test(NAME wine_fixture_cleanup
             COMMAND ${VEL_WINE_SH} ${VEL_WINE_OPTIONS} ${VEL_WINE_STATE} stop)
    set_tests_properties(wine_fixture_setup PROPERTIES FIXTURES_SETUP wine
                         TIMEOUT ${fixture_timeout})
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
    vel_test_path(xml ${VEL_TEST_RESULTS}/${T_NAME}.xml)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_output=xml:${xml})
    _vel_test_properties(${T_NAME})
endfunction()

function(vel_add_script_test)
    cmake_parse_arguments(T "" "NAME" "COMMAND" ${ARGN})
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
    _vel_test_properties(${T_NAME})
endfunction()

# Tests whose programs open windows, dialogs or message boxes share the Wine
# desktop (a broadcast waits for every top-level window there): they run one
# at a time.
function(vel_gui_tests)
    set_tests_properties(${ARGN} PROPERTIES RESOURCE_LOCK vel_wine_desktop)
endfunction()
