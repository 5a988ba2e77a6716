# The Winsock tests that hold for any Winsock, here against the real
# wsock32.dll under Wine (the stand-in's own promises stay in the Linux build).
include(${PROJECT_SOURCE_DIR}/tests/support/windows/support.cmake)
set(VORLANX_WINSOCK_TESTS ${PROJECT_SOURCE_DIR}/tests/platform/winsock)

add_executable(winsock_tests
  ${VORLANX_WINSOCK_TESTS}/async_lookup_test.cpp
  ${VORLANX_WINSOCK_TESTS}/async_select_test.cpp
  ${VORLANX_WINSOCK_TESTS}/read_ahead_test.cpp
  ${VORLANX_WINSOCK_TESTS}/winsock_test.cpp
)
target_link_libraries(winsock_tests PRIVATE vorlanx_winsock vorlanx_test_resolver_main)
vorlanx_private_gtest(winsock_tests)
