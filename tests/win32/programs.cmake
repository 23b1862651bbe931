# Test programs that exist only in the Windows build (they exercise Win32
# services).  The native build registers each to run under Wine.
set(TALLOWIN_WIN32_TEST_PROGRAMS)
