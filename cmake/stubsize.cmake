# The stub is copied into every installer and into the Windows folder, so
# its own code is built for size (-Os); the host tools and test programs
# that link the same libraries get it too in a Windows build, which costs
# them nothing that matters.  The LZ and LZMA decoders, the x86 filter
# and the CRC-32 keep -O2: they run for every byte installed (the LZMA
# decoder at -Os takes some 40 % longer).  The solid block stream only
# hands over pieces of 64 KiB and stays at -Os.
#
# No run-time type information: the stub asks no object its type
# (no dynamic_cast, no typeid); the exceptions it throws still carry
# theirs.  Some 6 KB.
#
# -Os alone still copies the string and container code into every object
# that uses it: the specialised clones of inter-procedural optimisation
# (.isra, .constprop) and the one-body constructors and destructors -Os
# makes of a class's two (C4/D4) are local to their object, so the link
# cannot fold them; a stub took some 20 KB of such copies.  The three
# -fno- options keep one shared copy of each.
#
# Link-time optimisation would take a little more off, but the mingw-w64
# GCC 12 of Debian 12 fails with an internal compiler error in its alias
# pass on the GUI classes, so it stays off.
#
# --gc-sections drops no code from the 32-bit stub: the unwind tables of
# i686 mingw-w64 refer to every function of an object, and the default
# linker script keeps every unwind table (KEEP(*(.eh_frame*))), so an
# object the link takes comes whole (a link that let them go found only
# some 10 KB unreachable, 3 KB of it ours: the LZ decoder's 64-bit loop,
# since in a file of its own, tsmufflz64.cpp).  -Oz, -fno-function-sections
# and -fno-asynchronous-unwind-tables took 2, 1 and 0 KB off: not used.
# What keeps the stub small is what it takes:
# setup/libraryerrors.cpp keeps the library's throw helpers, and with them
# its old copy-on-write string, out; setuputil's errors are not
# std::runtime_error for the same reason (setuputil/error.hpp).
#
# The runtime pieces the stub links (libstdc++, libgcc_eh) come from the
# compiler's win32 thread model when it is installed beside the posix one:
# the posix model's exception code locks through winpthreads, which adds
# some 28 KB (its thread, mutex, condition and rwlock objects) to a stub
# that makes no thread through the standard library (its threads are
# Win32's, gui/thread.hpp and payload/solidstream.hpp).  The stub's own
# objects use nothing of either model (the link would fail if they did:
# no pthread symbol resolves from that folder); the tools and test
# programs keep the posix model for std::thread.
#
# Included after the stub's targets exist (Windows builds only).
set(tallowin_stub_libraries setuputil payload installcore installengine wizardcore mainunit choosedir gui setup)
foreach(lib IN LISTS tallowin_stub_libraries)
  target_compile_options(${lib} PRIVATE -Os -fno-ipa-sra -fno-ipa-cp -fno-declone-ctor-dtor -fno-rtti)
endforeach()
# Full paths: a relative name would be taken from this file's folder, not
# payload's, and match nothing.
set(tallowin_hot_sources tsmufflz.cpp tsmufflz64.cpp crc32.cpp lzmadecoder.cpp x86filter.cpp)
list(TRANSFORM tallowin_hot_sources PREPEND ${PROJECT_SOURCE_DIR}/payload/)
set_source_files_properties(${tallowin_hot_sources} DIRECTORY ${PROJECT_SOURCE_DIR}/payload PROPERTIES COMPILE_OPTIONS -O2)
target_link_options(setup PRIVATE -Os)
string(REGEX REPLACE "-posix$" "-win32" tallowin_win32_model_cxx "${CMAKE_CXX_COMPILER}")
if(NOT tallowin_win32_model_cxx STREQUAL CMAKE_CXX_COMPILER AND EXISTS "${tallowin_win32_model_cxx}")
  execute_process(COMMAND ${tallowin_win32_model_cxx} -print-libgcc-file-name
    OUTPUT_VARIABLE tallowin_win32_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE tallowin_win32_status)
  if(tallowin_win32_status EQUAL 0 AND EXISTS "${tallowin_win32_libgcc}")
    get_filename_component(tallowin_win32_runtime_dir "${tallowin_win32_libgcc}" DIRECTORY)
    target_link_directories(setup BEFORE PRIVATE "${tallowin_win32_runtime_dir}")
  endif()
endif()
