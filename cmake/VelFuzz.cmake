# libFuzzer targets, and the replay of their corpora as ordinary tests.
#
#   vel_add_fuzz_target(NAME name SOURCES ... [LIBS ...])
#       SOURCES define LLVMFuzzerTestOneInput. The seed corpus lives in
#       fuzz/corpus/<name>/ and crash reproducers in fuzz/crashes/<name>/
#       (one file per input, any names; either folder may be missing).
#
#       - Fuzz preset (VEL_FUZZ=ON, clang): the libFuzzer program
#         <build>/fuzzers/fuzz_<name>, built by the target vel_fuzzers and
#         listed, one name a line, in <build>/fuzz-targets.txt, which
#         `make fuzz` (fuzz/run-fuzzers.sh) runs through.
#       - Native configuration (host compiler, ASan and UBSan): the program
#         fuzz_<name>_replay, which feeds every file of both folders to
#         LLVMFuzzerTestOneInput once, registered as the test
#         fuzz_<name>_replay.
#       - Windows configurations: nothing.
#
# VEL_FUZZ also instruments every other target for coverage
# (-fsanitize=fuzzer-no-link), so that the fuzzers see into the libraries.

option(VEL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

set(VEL_FUZZ_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../fuzz)
get_filename_component(VEL_FUZZ_SOURCE_DIR ${VEL_FUZZ_SOURCE_DIR} ABSOLUTE)

if(VEL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VEL_FUZZ needs clang (use the fuzz preset)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
    add_custom_target(vel_fuzzers)
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz-targets.txt "")
endif()

function(vel_add_fuzz_target)
    cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
    if(VEL_FUZZ)
        add_executable(fuzz_${F_NAME} ${F_SOURCES})
        target_link_libraries(fuzz_${F_NAME} PRIVATE ${F_LIBS} vel_strict)
        set_target_properties(fuzz_${F_NAME} PROPERTIES
                              RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
        target_link_options(fuzz_${F_NAME} PRIVATE -fsanitize=fuzzer)
        add_dependencies(vel_fuzzers fuzz_${F_NAME})
        file(APPEND ${CMAKE_BINARY_DIR}/fuzz-targets.txt "${F_NAME}\n")
    elseif(NOT VEL_WINDOWS)
        add_executable(fuzz_${F_NAME}_replay ${F_SOURCES} ${VEL_FUZZ_SOURCE_DIR}/FuzzReplay.cpp)
        target_link_libraries(fuzz_${F_NAME}_replay PRIVATE ${F_LIBS} vel_strict)
        vel_add_script_test(NAME fuzz_${F_NAME}_replay
                            COMMAND fuzz_${F_NAME}_replay ${VEL_FUZZ_SOURCE_DIR}/corpus/${F_NAME}
                                    ${VEL_FUZZ_SOURCE_DIR}/crashes/${F_NAME})
    endif()
endfunction()
