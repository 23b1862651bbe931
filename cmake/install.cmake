# Install rules: the tallowin command and its manual page, the stub it
# packs, the documentation, the sample product and the CMake package
# (find_package(Tallowin)).
#
# A host build installs the usual tree (bin/, share/tallowin/,
# share/doc/tallowin/), where tallowin finds its stub as
# ../share/tallowin/setup.exe (and setup64.exe); a Windows build puts
# tallowin.exe and both stubs side by side at the top, where tallowin looks
# first.
include(CMakePackageConfigHelpers)

if(WIN32)
  set(TALLOWIN_INSTALL_BINDIR .)
  set(TALLOWIN_INSTALL_STUBDIR .)
  set(TALLOWIN_INSTALL_DOCDIR doc)
  set(TALLOWIN_INSTALL_EXAMPLEDIR examples)
else()
  set(TALLOWIN_INSTALL_BINDIR bin)
  set(TALLOWIN_INSTALL_STUBDIR share/tallowin)
  set(TALLOWIN_INSTALL_DOCDIR share/doc/tallowin)
  set(TALLOWIN_INSTALL_EXAMPLEDIR share/tallowin/examples)
endif()
set(TALLOWIN_INSTALL_CMAKEDIR lib/cmake/Tallowin)

install(TARGETS tallowin RUNTIME DESTINATION ${TALLOWIN_INSTALL_BINDIR})

# The manual page, made at build time from the help text the tool prints
# (cmake/manpage.cmake), so the two never differ; where the built tool runs.
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  set(tallowin_manpage ${CMAKE_BINARY_DIR}/man/tallowin.1)
  add_custom_command(OUTPUT ${tallowin_manpage} ${tallowin_manpage}.gz
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:tallowin> -DVERSION=${PROJECT_VERSION}
            -DOUTPUT=${tallowin_manpage} -P ${PROJECT_SOURCE_DIR}/cmake/manpage.cmake
    COMMAND gzip -9 -n -f -k ${tallowin_manpage}
    DEPENDS tallowin ${PROJECT_SOURCE_DIR}/cmake/manpage.cmake)
  add_custom_target(tallowin_manpage ALL DEPENDS ${tallowin_manpage}.gz)
  install(FILES ${tallowin_manpage}.gz DESTINATION share/man/man1)
endif()

# The stubs: the 32-bit one as setup.exe, the 64-bit one (for products
# with architecture = "x64") as setup64.exe.  A Windows build installs its
# own under its name and the other one that TALLOWIN_STUB_EXE or
# TALLOWIN_STUB64_EXE names; a host build both named ones (the presets name
# build/windows/bin/setup.exe and build/windows64/bin/setup.exe).
set(TALLOWIN_STUB_EXE "" CACHE FILEPATH
    "The 32-bit stub (setup.exe of the windows preset) installed as setup.exe")
set(TALLOWIN_STUB64_EXE "" CACHE FILEPATH
    "The 64-bit stub (setup.exe of the windows64 preset) installed as setup64.exe")

# tallowin_install_stub(FILE NAME PRESET): the built stub FILE as NAME.
function(tallowin_install_stub file name preset)
  if(NOT file)
    message(STATUS "No stub to install as ${name}: tallowin build then needs --stub for that architecture")
    return()
  endif()
  install(CODE "
    if(NOT EXISTS \"${file}\")
      message(FATAL_ERROR \"The stub ${file} is missing: build the ${preset} preset first \"
                          \"(cmake --build --preset ${preset}) or point the cache variable at a built setup.exe\")
    endif()")
  install(FILES ${file} DESTINATION ${TALLOWIN_INSTALL_STUBDIR} RENAME ${name})
endfunction()

# The stubs go in as files, byte for byte as built: a target would be
# stripped again by CPack, which rewrites its time stamp and checksum.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  install(PROGRAMS $<TARGET_FILE:setup> DESTINATION ${TALLOWIN_INSTALL_STUBDIR} RENAME setup64.exe)
  tallowin_install_stub("${TALLOWIN_STUB_EXE}" setup.exe windows)
elseif(WIN32)
  install(PROGRAMS $<TARGET_FILE:setup> DESTINATION ${TALLOWIN_INSTALL_STUBDIR})
  tallowin_install_stub("${TALLOWIN_STUB64_EXE}" setup64.exe windows64)
else()
  tallowin_install_stub("${TALLOWIN_STUB_EXE}" setup.exe windows)
  tallowin_install_stub("${TALLOWIN_STUB64_EXE}" setup64.exe windows64)
endif()

# The sample product's two programs go into its files/ so that the installed
# sample builds as it stands: a Windows build's own, or those the windows
# preset made beside the 32-bit stub.
if(WIN32)
  install(TARGETS vantrell vantrelld RUNTIME DESTINATION ${TALLOWIN_INSTALL_EXAMPLEDIR}/vantrell/files)
elseif(TALLOWIN_STUB_EXE)
  get_filename_component(tallowin_stub_bin "${TALLOWIN_STUB_EXE}" DIRECTORY)
  set(tallowin_sample_programs ${tallowin_stub_bin}/vantrell.exe ${tallowin_stub_bin}/vantrelld.exe)
  install(CODE "
    foreach(file ${tallowin_sample_programs})
      if(NOT EXISTS \"\${file}\")
        message(FATAL_ERROR \"\${file} is missing: build the windows preset first (cmake --build --preset windows)\")
      endif()
    endforeach()")
  install(FILES ${tallowin_sample_programs} DESTINATION ${TALLOWIN_INSTALL_EXAMPLEDIR}/vantrell/files)
else()
  message(STATUS "TALLOWIN_STUB_EXE is not set: the install carries the sample product without its programs")
endif()

# README.md beside docs/, so its links hold.
install(FILES README.md cmake/copyright DESTINATION ${TALLOWIN_INSTALL_DOCDIR})
install(DIRECTORY docs DESTINATION ${TALLOWIN_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.md")
# The sample product's texts and art (its programs above); the programs'
# sources stay out.
install(DIRECTORY examples/vantrell DESTINATION ${TALLOWIN_INSTALL_EXAMPLEDIR} PATTERN src EXCLUDE)

configure_package_config_file(cmake/TallowinConfig.cmake.in ${CMAKE_BINARY_DIR}/TallowinConfig.cmake
  INSTALL_DESTINATION ${TALLOWIN_INSTALL_CMAKEDIR}
  PATH_VARS TALLOWIN_INSTALL_BINDIR)
# The tool is a program, usable from a project of any word size.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/TallowinConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/TallowinConfig.cmake ${CMAKE_BINARY_DIR}/TallowinConfigVersion.cmake
        DESTINATION ${TALLOWIN_INSTALL_CMAKEDIR})
