# The win32 service's and rtl's tests that hold on both platforms, here on the
# real Win32 under Wine (the Linux-only cases live in the linux/ folders).
set(VORLANX_WIN32_TESTS ${PROJECT_SOURCE_DIR}/tests/platform/win32)

add_executable(rtl_tests ${PROJECT_SOURCE_DIR}/tests/rtl/rtl_test.cpp)
target_link_libraries(rtl_tests PRIVATE vorlanx_rtl vorlanx_test_main)
gtest_discover_tests(rtl_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS windows)

# The real library the library tests load, beside the test program.
add_library(answers SHARED ${VORLANX_WIN32_TESTS}/windows/answers.cpp)
set_target_properties(answers PROPERTIES PREFIX "" OUTPUT_NAME answers)

add_executable(win32_tests
  ${VORLANX_WIN32_TESTS}/keyboard_hooks_test.cpp
  ${VORLANX_WIN32_TESTS}/library_test.cpp
  ${VORLANX_WIN32_TESTS}/profile_test.cpp
  ${VORLANX_WIN32_TESTS}/queue_test.cpp
  ${VORLANX_WIN32_TESTS}/timer_test.cpp
  ${VORLANX_WIN32_TESTS}/windows/AnswersLibrary.cpp
)
target_link_libraries(win32_tests PRIVATE vorlanx_win32 vorlanx_test_main)
add_dependencies(win32_tests answers)
gtest_discover_tests(win32_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS windows)

# Each public header alone and among <windows.h> and <winsock.h> (built by default).
add_subdirectory(${PROJECT_SOURCE_DIR}/tests/headers ${PROJECT_BINARY_DIR}/tests/headers)
