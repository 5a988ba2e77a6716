# How the test programs run their tests (RunTests.h): vorlanx_test_run for a
# main() of its own, vorlanx_test_main for a program that needs none.
include_guard(GLOBAL)
add_library(vorlanx_test_run STATIC ${CMAKE_CURRENT_LIST_DIR}/RunTests.cpp)
target_link_libraries(vorlanx_test_run PUBLIC vorlanx_options GTest::gtest)
add_library(vorlanx_test_main STATIC ${CMAKE_CURRENT_LIST_DIR}/TestMain.cpp)
target_link_libraries(vorlanx_test_main PUBLIC vorlanx_test_run)
