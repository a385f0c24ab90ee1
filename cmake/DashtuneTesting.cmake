# One GoogleTest executable per library. Test suites whose name contains "Integration" start a
# real engine (GStreamer, ALSA, a pseudo-terminal peer, Xvfb) and carry the extra label
# "integration"; everything else carries only the library's label.
function(dashtune_add_test_executable name label)
  add_executable(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock Threads::Threads)
  gtest_discover_tests(${name}
    TEST_FILTER "-*Integration*"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${label}" TIMEOUT 300)
  gtest_discover_tests(${name}
    TEST_FILTER "*Integration*"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    TEST_SUFFIX ".integration"
    PROPERTIES LABELS "${label};integration" TIMEOUT 600)
endfunction()
