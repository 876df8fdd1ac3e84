# One ctest test per GoogleTest suite of a test program, its cases run in one process
# (--gtest_filter=<suite>.*): under Wine a process start costs more than most cases (seconds in
# the emulated machine), and a suite's cases share their fixture anyway. The suites are read from
# the program's sources (TEST and TEST_F declarations, one a line). A suite passes only when
# GoogleTest ran and passed exactly as many cases as its sources declare: a stale build would
# otherwise pass as "0 tests". Each test requires FIXTURE and may take LIMIT seconds
# (qx_limit_<suite> keeps it for a later scaling): a suite hung on a box nobody expected is ended
# soon enough to run once more within the emulated machine's bound. It carries the label quick
# unless it is one of WINDOW_SUITES. TESTS names the variable that receives the suites.
#   qx_add_test_suites(TARGET <program> FIXTURE <name> LIMIT <s> TESTS <var> WINDOW_SUITES <suite>...)
function(qx_add_test_suites)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;FIXTURE;LIMIT;TESTS" "WINDOW_SUITES")
  set(suites)
  get_target_property(sources ${arg_TARGET} SOURCES)
  foreach(source IN LISTS sources)
    if(NOT source MATCHES "\\.cpp$")
      continue()
    endif()
    # A case added to a source changes the count the suite must pass with: the build reads again.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    file(STRINGS ${source} declarations REGEX "^TEST(_F)?\\(")
    foreach(declaration IN LISTS declarations)
      if(NOT declaration MATCHES "^TEST(_F)?\\(([A-Za-z0-9_]+), *[A-Za-z0-9_]+\\)")
        message(FATAL_ERROR "${source}: cannot read the test declaration \"${declaration}\"")
      endif()
      set(suite ${CMAKE_MATCH_2})
      if(NOT suite IN_LIST suites)
        list(APPEND suites ${suite})
        set(cases_${suite} 0)
      endif()
      math(EXPR cases_${suite} "${cases_${suite}} + 1")
    endforeach()
  endforeach()
  foreach(suite IN LISTS arg_WINDOW_SUITES)
    if(NOT suite IN_LIST suites)
      message(FATAL_ERROR "WINDOW_SUITES names ${suite}, which no source of ${arg_TARGET} declares")
    endif()
  endforeach()
  foreach(suite IN LISTS suites)
    set(n ${cases_${suite}})
    set(qx_limit_${suite} ${arg_LIMIT} PARENT_SCOPE)
    set(passed "${n} tests")
    if(n EQUAL 1)
      set(passed "1 test")
    endif()
    add_test(NAME ${suite} COMMAND ${arg_TARGET} --gtest_filter=${suite}.*)
    set_tests_properties(${suite} PROPERTIES FIXTURES_REQUIRED ${arg_FIXTURE} TIMEOUT ${arg_LIMIT}
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] ${passed}\\." FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
    if(NOT suite IN_LIST arg_WINDOW_SUITES)
      set_tests_properties(${suite} PROPERTIES LABELS quick)
    endif()
  endforeach()
  set(${arg_TESTS} ${suites} PARENT_SCOPE)
endfunction()
