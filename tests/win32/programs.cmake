# Test programs that exist only in the Windows build (they exercise Win32
# services).  The native build registers each to run under Wine.
set(TALLOWIN_WIN32_TEST_PROGRAMS)
list(APPEND TALLOWIN_WIN32_TEST_PROGRAMS win32_registry_tests win32_shell_tests win32_services_tests)
list(APPEND TALLOWIN_WIN32_TEST_PROGRAMS win32_gui_tests win32_sidepicture_tests)
list(APPEND TALLOWIN_WIN32_TEST_PROGRAMS win32_engine_tests)
list(APPEND TALLOWIN_WIN32_TEST_PROGRAMS win32_stub_tests)
