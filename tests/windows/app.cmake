# The relay and its window under Wine (tests/windows/app/).
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/app ${CMAKE_CURRENT_BINARY_DIR}/app)
