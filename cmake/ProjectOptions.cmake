# Compiler settings shared by every target of the project's own code.
add_library(sentrel_options INTERFACE)
target_compile_options(sentrel_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    -Wno-missing-field-initializers  # the Win32 idiom `STRUCT s{sizeof s};`
    -Werror)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports std::string copies as overlapping memcpy at -O3 (a known false positive).
    target_compile_options(sentrel_options INTERFACE -Wno-restrict)
endif()

if(WIN32)
    # ANSI Win32 functions throughout (byte strings in the system code page); Windows 7 and later.
    target_compile_definitions(sentrel_options INTERFACE
        WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

if(SENTREL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

if(SENTREL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "The fuzz build needs clang (use the 'fuzz' preset)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
