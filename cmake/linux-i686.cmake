# Cross-compilation to 32-bit Linux with Debian's crossbuild-essential-i386:
# the portable code, the tallowin command and the unit tests at the word
# size of the shipped stub, runnable without Wine and without the host's
# i386 architecture.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TOOLCHAIN_PREFIX i686-linux-gnu)
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)

set(tallowin_sysroot /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH ${tallowin_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs load the cross compiler's C library and libstdc++ from its
# sysroot, directly and under qemu alike: an i386 C library of the host
# mixed with them hangs every program that starts a thread.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--dynamic-linker=${tallowin_sysroot}/lib/ld-linux.so.2 -Wl,-rpath,${tallowin_sysroot}/lib")

# Where the kernel runs no 32-bit programs, CTest runs them under qemu-i386
# (tests/linux32/run32.sh decides, TALLOWIN_LINUX32 chooses).
execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../tests/linux32/run32.sh --emulator
                OUTPUT_VARIABLE tallowin_emulator OUTPUT_STRIP_TRAILING_WHITESPACE)
if(tallowin_emulator)
  separate_arguments(CMAKE_CROSSCOMPILING_EMULATOR UNIX_COMMAND "${tallowin_emulator}")
endif()
