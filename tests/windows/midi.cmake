# MIDI under Wine: the test double of winmm.dll and the binding's tests
# (winmm/), and the registry's own rules against the in-process double.
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/winmm ${CMAKE_CURRENT_BINARY_DIR}/winmm)

add_executable(midi_registry_tests
  ${PROJECT_SOURCE_DIR}/tests/midi/FakeWinmm.cpp
  ${PROJECT_SOURCE_DIR}/tests/midi/RegistryTest.cpp
)
target_link_libraries(midi_registry_tests PRIVATE vorlanx_midi vorlanx_options vorlanx_test_main)
# The program imports winmm like every user of the registry.
add_dependencies(midi_registry_tests winmm_double)
gtest_discover_tests(midi_registry_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS windows TIMEOUT 60)

# The MIDI headers compile after the whole of <windows.h> and <mmsystem.h>
# (their macros of the same names kept aside) and before them. Building the
# target is the check.
set(midi_header_sources "")
foreach(header platform/winmm/winmm.h midi/Midi.h)
  string(MAKE_C_IDENTIFIER "${header}" id)
  set(system "#undef WIN32_LEAN_AND_MEAN\n#include <windows.h>\n#include <mmsystem.h>\n")
  foreach(order after before)
    if(order STREQUAL "after")
      set(text "${system}#include \"${header}\"\n")
    else()
      set(text "#include \"${header}\"\n${system}")
    endif()
    set(file ${CMAKE_CURRENT_BINARY_DIR}/midi_headers/${id}_${order}.cpp)
    file(CONFIGURE OUTPUT ${file} CONTENT "// Generated: ${header}, ${order}.\n${text}" @ONLY)
    list(APPEND midi_header_sources ${file})
  endforeach()
endforeach()
add_library(midi_header_checks OBJECT ${midi_header_sources})
target_link_libraries(midi_header_checks PRIVATE vorlanx_options)
