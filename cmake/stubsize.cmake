# The stub is copied into every installer and into the Windows folder, so
# its own code is built for size (-Os); the host tools and test programs
# that link the same libraries get it too in a Windows build, which costs
# them nothing that matters.  The LZ and LZMA decoders, the x86 filter,
# the solid block stream and the CRC-32 keep -O2: they run for every byte
# installed.
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
# i686 mingw-w64 refer to every function of an object, so an object the
# link takes comes whole.  What keeps the stub small is what it takes:
# setup/libraryerrors.cpp keeps the library's throw helpers, and with them
# its old copy-on-write string, out; setuputil's errors are not
# std::runtime_error for the same reason (setuputil/error.hpp).
#
# Included after the stub's targets exist (Windows builds only).
set(tallowin_stub_libraries setuputil payload installcore installengine wizardcore mainunit choosedir gui setup)
foreach(lib IN LISTS tallowin_stub_libraries)
  target_compile_options(${lib} PRIVATE -Os -fno-ipa-sra -fno-ipa-cp -fno-declone-ctor-dtor)
endforeach()
set_source_files_properties(tsmufflz.cpp crc32.cpp lzmadecoder.cpp x86filter.cpp solidstream.cpp DIRECTORY ${PROJECT_SOURCE_DIR}/payload PROPERTIES COMPILE_OPTIONS -O2)
target_link_options(setup PRIVATE -Os)
