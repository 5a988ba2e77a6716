# The command-line tools under Wine, driven from Linux by scripts (peers on
# loopback, signals, the MIDI double's log).
set(VORLANX_WINE_RUN ${PROJECT_SOURCE_DIR}/scripts/wine-run)
set(VORLANX_TOOL_TESTS ${CMAKE_CURRENT_LIST_DIR}/tools)

if(TARGET vxmidi)
  add_test(NAME vxmidi_under_wine
           COMMAND bash ${VORLANX_TOOL_TESTS}/vxmidi.sh ${VORLANX_WINE_RUN} $<TARGET_FILE:vxmidi>)
  set_tests_properties(vxmidi_under_wine PROPERTIES LABELS windows TIMEOUT 180)
endif()

foreach(case udp_send udp_frames udp_receive tcp_connect tcp_listen tcp_interrupt peer_ends bad_port)
  add_test(NAME vxcat_under_wine_${case}
           COMMAND bash ${VORLANX_TOOL_TESTS}/vxcat.sh ${case} ${VORLANX_WINE_RUN}
                   $<TARGET_FILE:vxcat>)
  set_tests_properties(vxcat_under_wine_${case} PROPERTIES LABELS windows TIMEOUT 120)
endforeach()
