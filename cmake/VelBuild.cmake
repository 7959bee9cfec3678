# Compiler settings shared by every target of ours.
#
#   VEL_WINDOWS  - building for Windows (win32 or win64 configuration)
#   VEL_PRODUCT  - the configuration that makes the shipped 32-bit programs
#   vel_strict   - interface library: our warnings-as-errors set; every target
#                  of ours links it (third-party code does not)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    set(VEL_WINDOWS ON)
else()
    set(VEL_WINDOWS OFF)
endif()
if(VEL_WINDOWS AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(VEL_PRODUCT ON)
else()
    set(VEL_PRODUCT OFF)
endif()

option(VEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(vel_strict INTERFACE)
target_compile_options(vel_strict INTERFACE -Wall -Wextra -Werror)

if(VEL_WINDOWS)
    # Resource scripts (dialog templates, bitmaps, icons) compile with windres.
    enable_language(RC)
    # Small, self-contained programs: no DLL of the compiler's runtime beside
    # them, and unused functions dropped at link time. Not -fdata-sections:
    # on PE targets GCC then gives every zero-initialised variable a section
    # ".data$name", so buffers that .bss would hold for free take their full
    # size in the file (1.5 KB of the i686 stub).
    # The linker's time stamp in the PE header would make every link differ:
    # without it the same sources give the same programs (and the same
    # Windows zip of velpack).
    add_compile_options(-ffunction-sections)
    add_link_options(-static -Wl,--gc-sections -Wl,--no-insert-timestamp)
    # Windows headers: ANSI entry points, no min/max macros.
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
endif()

if(VEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# The code of the 32-bit stub has a tight size budget. Every library the stub
# links neither throws nor catches (the decoder reports damage by return
# value; a division by zero in the text routines aborts there), so in the
# Windows builds it is built without exception tables and run-time type
# information (the win64 build mirrors the product). velpack and the tests
# keep both.
function(vel_lean_code target)
    if(VEL_WINDOWS)
        target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti
                               -fno-asynchronous-unwind-tables)
    endif()
endfunction()
