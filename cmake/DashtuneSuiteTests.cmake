# Read by ctest before it runs (a test directory's TEST_INCLUDE_FILES): adds one test per
# GoogleTest suite of an executable, the integration suites left out (they run a test each).
# A process per suite, not per test: a sanitizer-built test process costs about 0.2 s of CPU to
# start and end, more than most tests take.
# Set by the including file: exe, label, prefix, work_dir, suites_file.
if(NOT EXISTS "${exe}")
  # Fails when run, naming the missing executable.
  add_test("${prefix}${label}_NOT_BUILT" "${exe}")
  return()
endif()

if(NOT EXISTS "${suites_file}" OR "${exe}" IS_NEWER_THAN "${suites_file}")
  execute_process(COMMAND "${exe}" --gtest_list_tests "--gtest_filter=-*Integration*"
                  WORKING_DIRECTORY "${work_dir}" OUTPUT_VARIABLE listing RESULT_VARIABLE result
                  TIMEOUT 120)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Listing the tests of ${exe} failed (${result}):\n${listing}")
  endif()
  # Suite lines end in a dot ("Name." or "Instance/Name." with a type comment after it); test
  # lines are indented.
  set(suites "")
  string(REPLACE "\n" ";" lines "${listing}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([^ #]+)\\.")
      list(APPEND suites "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  file(WRITE "${suites_file}" "${suites}")
endif()

file(READ "${suites_file}" suites)
foreach(suite IN LISTS suites)
  add_test("${prefix}${suite}" "${exe}" "--gtest_filter=${suite}.*:-*Integration*")
  set_tests_properties("${prefix}${suite}" PROPERTIES LABELS "${label}" TIMEOUT 300
                       WORKING_DIRECTORY "${work_dir}")
endforeach()
