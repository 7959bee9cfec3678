# Zstandard, the codec of methods 4 and 5, through its reference library.
#
#   vel_zstd_decoder - what vel_archive decodes with
#   vel_zstd_encoder - what vel_compress compresses with (the decoder too)
#
# On the host both are Debian's libzstd (libzstd-dev). Debian ships no build
# for Windows, so the Windows configurations build the library from Debian's
# own source package of the same version, fetched once into the build root
# by scripts/fetch-source.sh through the machine's apt (see docs/codec.md):
#
# - the decoder as the stub carries it: the decoding files only, at -Os,
#   with one Huffman decoder (single-symbol tables) and one sequence decoder
#   (the short-offset one, which reads every frame), nothing inlined by
#   force, no error texts, no assembly, no legacy formats, no unwind tables;
#   the link's --gc-sections keeps what the stub calls;
# - the compressor beside it for velpack.exe, at -O2, single-threaded
#   (velpack compresses several entries at once), using the decoder's
#   common files.

set(VEL_ZSTD_DEBIAN_VERSION 1.5.4+dfsg2-5)

if(NOT VEL_WINDOWS)
    find_path(VEL_ZSTD_INCLUDE zstd.h REQUIRED)
    find_library(VEL_ZSTD_LIBRARY zstd REQUIRED)
    add_library(vel_zstd_decoder INTERFACE)
    target_include_directories(vel_zstd_decoder SYSTEM INTERFACE ${VEL_ZSTD_INCLUDE})
    target_link_libraries(vel_zstd_decoder INTERFACE ${VEL_ZSTD_LIBRARY})
    add_library(vel_zstd_encoder INTERFACE)
    target_link_libraries(vel_zstd_encoder INTERFACE vel_zstd_decoder)
    return()
endif()

set(VEL_ZSTD_SOURCE ${PROJECT_SOURCE_DIR}/build/libzstd-${VEL_ZSTD_DEBIAN_VERSION} CACHE PATH
    "Debian's libzstd source, unpacked (fetched there when missing)")
if(NOT EXISTS ${VEL_ZSTD_SOURCE}/lib/zstd.h)
    execute_process(COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/fetch-source.sh ${VEL_ZSTD_SOURCE}
                            libzstd ${VEL_ZSTD_DEBIAN_VERSION}
                    RESULT_VARIABLE fetched)
    if(NOT fetched EQUAL 0 OR NOT EXISTS ${VEL_ZSTD_SOURCE}/lib/zstd.h)
        message(FATAL_ERROR "Debian's source of libzstd ${VEL_ZSTD_DEBIAN_VERSION} could not "
                            "be fetched into ${VEL_ZSTD_SOURCE}")
    endif()
endif()

set(zstd_lib ${VEL_ZSTD_SOURCE}/lib)
add_library(vel_zstd_decoder STATIC
    ${zstd_lib}/common/entropy_common.c ${zstd_lib}/common/error_private.c
    ${zstd_lib}/common/fse_decompress.c ${zstd_lib}/common/xxhash.c
    ${zstd_lib}/common/zstd_common.c ${zstd_lib}/decompress/huf_decompress.c
    ${zstd_lib}/decompress/zstd_ddict.c ${zstd_lib}/decompress/zstd_decompress.c
    ${zstd_lib}/decompress/zstd_decompress_block.c)
target_include_directories(vel_zstd_decoder SYSTEM PUBLIC ${zstd_lib})
target_compile_definitions(vel_zstd_decoder PRIVATE HUF_FORCE_DECOMPRESS_X1
    ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT ZSTD_NO_INLINE ZSTD_STRIP_ERROR_STRINGS
    ZSTD_DISABLE_ASM ZSTD_LEGACY_SUPPORT=0)
target_compile_options(vel_zstd_decoder PRIVATE -Os -fno-asynchronous-unwind-tables -w)

add_library(vel_zstd_encoder STATIC
    ${zstd_lib}/compress/fse_compress.c ${zstd_lib}/compress/hist.c
    ${zstd_lib}/compress/huf_compress.c ${zstd_lib}/compress/zstd_compress.c
    ${zstd_lib}/compress/zstd_compress_literals.c ${zstd_lib}/compress/zstd_compress_sequences.c
    ${zstd_lib}/compress/zstd_compress_superblock.c ${zstd_lib}/compress/zstd_double_fast.c
    ${zstd_lib}/compress/zstd_fast.c ${zstd_lib}/compress/zstd_lazy.c
    ${zstd_lib}/compress/zstd_ldm.c ${zstd_lib}/compress/zstd_opt.c)
target_link_libraries(vel_zstd_encoder PUBLIC vel_zstd_decoder)
target_compile_options(vel_zstd_encoder PRIVATE -O2 -w)
