# The stub is copied into every installer and into the Windows folder, so
# its own code is built for size (-Oz, GCC 12's smallest: 2 KB under -Os
# in the 32-bit stub, 3 KB in the 64-bit one);
# the host tools and test programs that link the same libraries get it too
# in a Windows build, which costs them nothing that matters.  The LZ and
# LZMA decoders, the x86 filter and the CRC-32 keep -O2: they run for
# every byte installed (the LZMA decoder at -Os takes some 40 % longer).
# The solid block stream only hands over pieces of 64 KiB and is built
# for size with the rest.
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
# Link-time optimisation, one partition: the stub's objects are compiled
# to GCC's intermediate form and optimised as one program when the stub is
# linked, so the code no caller reaches goes, functions called from one
# place are folded into it, and the local functions of the 32-bit stub
# take their arguments in registers.  Its unwind tables then come from one
# object: 78 CIEs where there were 821.  It took 91 KB off the 32-bit stub
# (620,544 to 529,408 bytes) and 82 KB off the 64-bit one (567,808 to
# 485,376); one partition gives another 4 to 6 KB over GCC's default of
# several and keeps the link's output the same whatever the machine.  The
# per-file options survive the link (GCC keeps each function's
# optimisation level): the decoders below stay at -O2.  Without the three
# -fno- options the stub grows by 8 KB.  (An earlier try of GCC 12's LTO
# failed with an internal compiler error; with the options below it links
# cleanly, 32 and 64-bit.)  The objects carry their ordinary code beside
# the intermediate form (-ffat-lto-objects), and every other program that
# links these libraries, the tools and test programs, links that code
# without link-time optimisation (-fno-lto, CMakeLists.txt): the 32-bit
# linker cannot mix the plugin's output with ordinary objects' shared
# template code (multiple definitions), and a tool's link stays quick.
#
# Measured before link-time optimisation, whose one object leaves the
# sections no part to play: --gc-sections dropped no code from the 32-bit
# stub: the unwind tables of
# i686 mingw-w64 refer to every function of an object, and the default
# linker script keeps every unwind table (KEEP(*(.eh_frame*))), so an
# object the link takes comes whole (a link that let them go found only
# some 10 KB unreachable, 3 KB of it ours: the LZ decoder's 64-bit loop,
# since in a file of its own, tsmufflz64.cpp).  So the 32-bit objects
# keep their functions in one section each object (-fno-function-sections,
# 1.5 KB).  Aligning the stack to 4 bytes (-mpreferred-stack-boundary=2)
# took another 1.5 KB off, but the 32-bit stub cannot be run on every
# build machine, and 1.5 KB does not pay for a change of the calling
# convention the runtime was built with: not used.
# -fno-asynchronous-unwind-tables takes nothing off.
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
# Where the bytes go, with link-time optimisation (2026-12-10): 32-bit
# stub 529,408 bytes, 64-bit 484,864; the bound is 500 KB, so the 32-bit
# stub is still some 30 KB over it.  32-bit sections: code 371 KB, unwind
# tables (.eh_frame) 57 KB, read-only data 37 KB, resources 44 KB (side
# picture 16 KB and language tables 16 KB, both LZMA-packed, icon
# 8.6 KB), base relocations 8 KB, imports 8 KB.  Of what the link puts in
# them, the stub's own code, data and tables are 408 KB; the runtime
# 30 KB, most of it the DWARF unwinder (libgcc_eh, 25 KB; the 64-bit
# stub unwinds through the system's tables, .pdata and .xdata, 50 KB).
# No one function is large: the largest are the wizard's start (12 KB,
# the start-up steps folded into it), the install record's writer, the
# install's and the uninstall's sequences and the declarations' reader
# (10 to 12 KB each).  What is left to cut is the stub's own code.
# Options given only at the link change nothing (-fno-inline-small-
# functions, -fno-jump-tables, ...): each function keeps the options it
# was compiled with.
#
# Before link-time optimisation (32-bit 620,544 bytes, 64-bit 567,808):
# by library (code, data and unwind tables) installengine 139 KB, payload
# 98 KB, installcore 60 KB, mainunit 50 KB, setuputil 45 KB, gui 25 KB,
# libstdc++ 18 KB, wizardcore 15 KB; largest objects tinstallengine
# 48 KB, triform 47 KB, declarations 25 KB, shellintegration 21 KB.
#
# Before link-time optimisation, of the 87 KB of unwind tables, 20 KB
# were 776 CIEs where two would do:
# 611 are one and the same, 165 differ only in which of some 80 copies of
# the pointer to the personality routine they name.  The assembler gives
# each inline or template function (a COMDAT section) an .eh_frame section
# with a CIE of its own, and GNU ld 2.40 merges CIEs only for ELF.  The
# link-time optimised stub has one object: 78 CIEs, 1.9 KB.
# -fno-dwarf2-cfi-asm (one table each object, written by the compiler)
# keeps the tables of every discarded COMDAT copy: 83 KB more.  A
# concatenation helper (one call over a list of pieces) in place of
# operator+ chains took 0.7 KB off 55 call sites: the chains' string code
# is shared already, only the temporaries at the call site go.  No base
# relocations (--disable-dynamicbase) would take 8.5 KB off but lose
# address-space layout randomisation: kept.  The file alignment is 512
# already.
#
# Included after the stub's targets exist (Windows builds only).
set(tallowin_stub_libraries setuputil payload installcore installengine wizardcore mainunit choosedir gui setup)
set(tallowin_stub_options -flto -ffat-lto-objects -Oz -fno-ipa-sra -fno-ipa-cp -fno-declone-ctor-dtor -fno-rtti)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND tallowin_stub_options -fno-function-sections)
endif()
foreach(lib IN LISTS tallowin_stub_libraries)
  target_compile_options(${lib} PRIVATE ${tallowin_stub_options})
endforeach()
# Full paths: a relative name would be taken from this file's folder, not
# payload's, and match nothing.
set(tallowin_hot_sources tsmufflz.cpp tsmufflz64.cpp crc32.cpp lzmadecoder.cpp x86filter.cpp)
list(TRANSFORM tallowin_hot_sources PREPEND ${PROJECT_SOURCE_DIR}/payload/)
set_source_files_properties(${tallowin_hot_sources} DIRECTORY ${PROJECT_SOURCE_DIR}/payload PROPERTIES COMPILE_OPTIONS -O2)
target_link_options(setup PRIVATE ${tallowin_stub_options} -flto-partition=one)
string(REGEX REPLACE "-posix$" "-win32" tallowin_win32_model_cxx "${CMAKE_CXX_COMPILER}")
if(NOT tallowin_win32_model_cxx STREQUAL CMAKE_CXX_COMPILER AND EXISTS "${tallowin_win32_model_cxx}")
  execute_process(COMMAND ${tallowin_win32_model_cxx} -print-libgcc-file-name
    OUTPUT_VARIABLE tallowin_win32_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE tallowin_win32_status)
  if(tallowin_win32_status EQUAL 0 AND EXISTS "${tallowin_win32_libgcc}")
    get_filename_component(tallowin_win32_runtime_dir "${tallowin_win32_libgcc}" DIRECTORY)
    target_link_directories(setup BEFORE PRIVATE "${tallowin_win32_runtime_dir}")
  endif()
endif()
