# The tests that run code on more than one thread (JACK's process thread and
# the MIDI ring, host lookups on workers, posting to another thread's queue),
# as ctest tests labelled "threads": the ThreadSanitizer
# build (VORLANX_SANITIZE=thread) runs just these, `ctest -L threads`.
# One line per test program: the program and a GoogleTest filter.
function(vorlanx_thread_tests program filter)
  if(TARGET ${program})
    add_test(NAME threads.${program} COMMAND ${program} --gtest_filter=${filter})
    set_tests_properties(threads.${program} PROPERTIES LABELS threads TIMEOUT 900)
  endif()
endfunction()

vorlanx_thread_tests(win32_tests "MessageQueue.*:KeyboardHooks.*:Windows.Lookups*")
vorlanx_thread_tests(winsock_tests "AsyncLookup.*")
vorlanx_thread_tests(net_tests "DnsLookups*:PrivateNames.*:SendQueue.FlushWaits*:SendQueue.PartialSends*:SocksScripted.StalledReply*:SocksProxy.*")
# The flood takes minutes under the checker and adds nothing the other sends
# do not. A session whose server was killed is kept, never freed, because its
# JACK thread is never joined: the checked run does not report that thread.
vorlanx_thread_tests(midi_tests "JackOutputTest.*-JackOutputTest.Flood*")
vorlanx_thread_tests(winmm_tests "HandleTable.*:MpscRing.*:WinmmThreads.*")
vorlanx_thread_tests(ui_tests "FrameworkTest.ClosingTheMainFormEndsTheRunLoop")
# vxcat runs lookup workers only for names.
vorlanx_thread_tests(tools_tests "VxcatLookup.*:Vxcat.RefusedAndUnresolvable")
