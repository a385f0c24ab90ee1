# Test code is compiled without optimisation: under the sanitizers that halves its compile time,
# while the code under test keeps its libraries' level. UndefinedBehaviourSanitizer checks the
# code under test only: on the test code it would take another third of the build time to check
# the tests' own arithmetic. (AddressSanitizer and ThreadSanitizer stay on the test code: the
# tests' buffers are checked, and their atomics and locks are the synchronisation ThreadSanitizer
# must see.)
function(dashtune_compile_as_test_code target)
  if(DASHTUNE_SANITIZE)
    target_compile_options(${target} PRIVATE -O0)
  endif()
  if(DASHTUNE_SANITIZE MATCHES "undefined")
    target_compile_options(${target} PRIVATE -fno-sanitize=undefined)
  endif()
endfunction()

set(dashtune_suite_tests_script ${CMAKE_CURRENT_LIST_DIR}/DashtuneSuiteTests.cmake)

# One GoogleTest executable per library. Test suites whose name contains "Integration" start a
# real engine (GStreamer, ALSA, a pseudo-terminal peer, Xvfb), run a test per ctest test and
# carry the extra label "integration"; the other suites run a suite per ctest test and carry
# only the library's label.
# PREFIX names the suites of an executable that runs tests another one runs too.
function(dashtune_add_test_executable name label)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "PREFIX" "")
  add_executable(${name})
  dashtune_compile_as_test_code(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock Threads::Threads)
  set(suites_include ${CMAKE_CURRENT_BINARY_DIR}/${name}_suites.cmake)
  string(CONCAT suites_settings
    "set(exe \"$<TARGET_FILE:${name}>\")\n"
    "set(label \"${label}\")\n"
    "set(prefix \"${arg_PREFIX}\")\n"
    "set(work_dir \"${CMAKE_CURRENT_BINARY_DIR}\")\n"
    "set(suites_file \"${CMAKE_CURRENT_BINARY_DIR}/${name}_suites.txt\")\n"
    "include(\"${dashtune_suite_tests_script}\")\n")
  file(GENERATE OUTPUT ${suites_include} CONTENT "${suites_settings}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${suites_include})
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
