# Test code is compiled without optimisation: under the sanitizers that halves its compile time,
# while the code under test keeps its libraries' level.
function(dashtune_compile_as_test_code target)
  if(DASHTUNE_SANITIZE)
    target_compile_options(${target} PRIVATE -O0)
  endif()
endfunction()

# One GoogleTest executable per library. Test suites whose name contains "Integration" start a
# real engine (GStreamer, ALSA, a pseudo-terminal peer, Xvfb) and carry the extra label
# "integration"; everything else carries only the library's label.
# PREFIX names the suites of an executable that runs tests another one runs too.
function(dashtune_add_test_executable name label)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "PREFIX" "")
  add_executable(${name})
  dashtune_compile_as_test_code(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock Threads::Threads)
  gtest_discover_tests(${name}
    TEST_PREFIX "${arg_PREFIX}"
    TEST_FILTER "-*Integration*"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${label}" TIMEOUT 300)
  gtest_discover_tests(${name}
    TEST_PREFIX "${arg_PREFIX}"
    TEST_FILTER "*Integration*"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    TEST_SUFFIX ".integration"
    TEST_LIST ${name}_INTEGRATION_TESTS
    PROPERTIES TIMEOUT 600)
  # A list of labels does not survive gtest_discover_tests' argument passing: label the
  # integration tests once ctest knows them.
  set(labels_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_integration_labels.cmake)
  file(WRITE ${labels_script}
    "if(${name}_INTEGRATION_TESTS)\n"
    "  set_tests_properties(\${${name}_INTEGRATION_TESTS} PROPERTIES LABELS \"${label};integration\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_script})
endfunction()
