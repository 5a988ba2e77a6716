# The socket component's tests that need no Linux-only tool, on the real
# Winsock under Wine: peers are Winsock 2 sockets inside the test program, and
# the SOCKS proxies run on the Linux side, started by the launcher.
include(${PROJECT_SOURCE_DIR}/tests/support/windows/support.cmake)
set(VORLANX_NET_TESTS ${PROJECT_SOURCE_DIR}/tests/net)

add_executable(net_tests
  ${VORLANX_NET_TESTS}/StreamPeer.cpp
  ${VORLANX_NET_TESTS}/binding_test.cpp
  ${VORLANX_NET_TESTS}/connect_test.cpp
  ${VORLANX_NET_TESTS}/dns_test.cpp
  ${VORLANX_NET_TESTS}/lifecycle_test.cpp
  ${VORLANX_NET_TESTS}/line_test.cpp
  ${VORLANX_NET_TESTS}/receive_alloc_test.cpp
  ${VORLANX_NET_TESTS}/receive_test.cpp
  ${VORLANX_NET_TESTS}/resolve_test.cpp
  ${VORLANX_NET_TESTS}/send_test.cpp
  ${VORLANX_NET_TESTS}/socks_scripted_test.cpp
  ${VORLANX_NET_TESTS}/socks_wire_test.cpp
  ${VORLANX_NET_TESTS}/wait_test.cpp
)
target_link_libraries(net_tests PRIVATE vorlanx_net vorlanx_test_support vorlanx_test_resolver_main)
vorlanx_private_gtest(net_tests)

# Through microsocks and danted on the Linux side.
add_executable(net_socks_tests
  ${VORLANX_NET_TESTS}/StreamPeer.cpp
  ${VORLANX_NET_TESTS}/windows/ProxyProcess.cpp
  ${VORLANX_NET_TESTS}/socks_proxy_test.cpp
)
target_include_directories(net_socks_tests PRIVATE ${VORLANX_NET_TESTS})
target_link_libraries(net_socks_tests PRIVATE vorlanx_net vorlanx_test_support vorlanx_test_resolver_main)
vorlanx_private_gtest(net_socks_tests --proxies)
