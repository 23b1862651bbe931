# GoogleTest: Debian's library natively; for the cross builds (Windows,
# 32-bit Linux) built with their compiler from the sources Debian ships in
# /usr/src/googletest.
if(WIN32 OR CMAKE_CROSSCOMPILING)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  set(TALLOWIN_GTEST gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  set(TALLOWIN_GTEST GTest::gtest GTest::gtest_main)
endif()

# tallowin_unit_test(NAME sources...): one test program linked with the
# libraries it needs through target_link_libraries afterwards.  On Linux it is
# registered with CTest under the label `unit` (the 32-bit build's under its
# emulator, when it has one).
function(tallowin_unit_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE ${TALLOWIN_GTEST})
  target_compile_options(${name} PRIVATE -UNDEBUG)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY TALLOWIN_UNIT_PROGRAMS ${name})
  if(NOT WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS unit)
  endif()
endfunction()
