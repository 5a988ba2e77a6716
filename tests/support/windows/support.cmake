# The tests' helpers for the Windows build: peers on Winsock 2 inside the test
# program, and the private resolver that the launcher run-private.sh makes
# (the program runs in its mount namespace under Wine, proxies beside it).
include_guard(GLOBAL)
set(VORLANX_SUPPORT ${PROJECT_SOURCE_DIR}/tests/support)
include(${VORLANX_SUPPORT}/TestMain.cmake)

add_library(vorlanx_test_support STATIC ${VORLANX_SUPPORT}/windows/Loopback.cpp)
target_link_libraries(vorlanx_test_support PUBLIC vorlanx_options ws2_32)

file(READ ${VORLANX_SUPPORT}/test-hosts VORLANX_TEST_HOSTS)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VORLANX_SUPPORT}/test-hosts)
configure_file(${VORLANX_SUPPORT}/TestHosts.cpp.in ${CMAKE_CURRENT_BINARY_DIR}/TestHosts.cpp @ONLY)
add_library(vorlanx_test_resolver STATIC ${VORLANX_SUPPORT}/windows/PrivateResolver.cpp
                                         ${CMAKE_CURRENT_BINARY_DIR}/TestHosts.cpp)
target_link_libraries(vorlanx_test_resolver PUBLIC vorlanx_options ws2_32)
add_library(vorlanx_test_resolver_main STATIC ${VORLANX_SUPPORT}/ResolverTestMain.cpp)
target_link_libraries(vorlanx_test_resolver_main PUBLIC vorlanx_test_resolver vorlanx_test_run)

# ctest's emulator for programs that look names up: the launcher, then scripts/wine-run.
set(VORLANX_PRIVATE_RUN bash ${VORLANX_SUPPORT}/windows/run-private.sh ${VORLANX_SUPPORT}/test-hosts)

# Registers a gtest program that runs through the launcher (extra launcher
# options, such as --proxies, after the target).
# Wine's departures from Winsock are left out (tests/windows/wine-departures.cmake).
include(${PROJECT_SOURCE_DIR}/tests/windows/wine-departures.cmake)
function(vorlanx_private_gtest target)
  set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR ${VORLANX_PRIVATE_RUN} ${ARGN})
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       TEST_FILTER "${VORLANX_WINE_FILTER}"
                       PROPERTIES LABELS windows TIMEOUT 120)
endfunction()
