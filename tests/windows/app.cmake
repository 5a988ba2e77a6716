# The relay end to end under Wine and Xvfb: vorlanx.exe with the winmm test
# double beside it, datagrams sent from Linux on loopback, its window, menu,
# dialogs and error boxes looked at with a small probe program in the same
# Wine session and driven with xdotool.
add_executable(winprobe ${CMAKE_CURRENT_LIST_DIR}/app/WindowProbe.cpp)
target_link_libraries(winprobe PRIVATE vorlanx_options)
add_dependencies(winprobe vorlanx winmm_double)

foreach(case play commands port_in_use)
  add_test(NAME relay_window_${case}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/app/relay.sh ${case} ${PROJECT_BINARY_DIR}
                   ${PROJECT_SOURCE_DIR})
  # One at a time: they click at points of one shared display.
  set_tests_properties(relay_window_${case} PROPERTIES LABELS windows TIMEOUT 120
                       RESOURCE_LOCK wine_display)
endforeach()

# The settings file on the system's own profile functions.
add_executable(app_windows_tests ${CMAKE_CURRENT_LIST_DIR}/app/SettingsTest.cpp)
target_link_libraries(app_windows_tests PRIVATE vorlanx_app GTest::gtest_main)
gtest_discover_tests(app_windows_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS windows TIMEOUT 60)

# The Win32 window backend in process: drawing, mouse, modal loops.
add_executable(ui_windows_tests ${PROJECT_SOURCE_DIR}/tests/ui/win32/BackendTest.cpp)
target_link_libraries(ui_windows_tests PRIVATE vorlanx_ui GTest::gtest_main)
gtest_discover_tests(ui_windows_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS windows TIMEOUT 60 RESOURCE_LOCK wine_display)
