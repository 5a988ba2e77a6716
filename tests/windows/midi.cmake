# MIDI under Wine: the test double of winmm.dll and the binding's tests
# (winmm/), and the registry's own rules against the in-process double.
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/winmm ${CMAKE_CURRENT_BINARY_DIR}/winmm)

add_executable(midi_registry_tests
  ${PROJECT_SOURCE_DIR}/tests/midi/FakeWinmm.cpp
  ${PROJECT_SOURCE_DIR}/tests/midi/RegistryTest.cpp
)
target_link_libraries(midi_registry_tests PRIVATE vorlanx_midi vorlanx_options GTest::gtest_main)
# The program imports winmm like every user of the registry.
add_dependencies(midi_registry_tests winmm_double)
gtest_discover_tests(midi_registry_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS windows TIMEOUT 60)
