# Runs one Qt Test program, the command after this script's name, and judges
# from Qt Test's own JUnit report whether any test function of its own
# passed: in a program whose every function skipped, initTestCase and
# cleanupTestCase still pass, and its totals read "2 passed". Such a program
# says so on a line of its own, which the tests' SKIP_REGULAR_EXPRESSION
# matches, so that CTest counts it skipped, not passed. Its exit status is the
# program's.
# Usage: cmake -DREPORT=FILE [-DREPORT_NAME=NAME] -P run-qtest.cmake PROGRAM [ARGUMENT...]
# REPORT_NAME is the report's path as the program names it (Wine's Z:...).
cmake_minimum_required(VERSION 3.25)
if(NOT REPORT_NAME)
    set(REPORT_NAME "${REPORT}")
endif()
set(command "")
set(taking FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE ${last})
    if(taking)
        list(APPEND command "${CMAKE_ARGV${index}}")
    elseif(CMAKE_ARGV${index} STREQUAL "-P")
        math(EXPR script "${index} + 1")
        set(taking_after ${script})
    endif()
    if(DEFINED taking_after AND index EQUAL taking_after)
        set(taking TRUE)
    endif()
endforeach()

file(REMOVE "${REPORT}")
execute_process(COMMAND ${command} -o "${REPORT_NAME},junitxml" -o -,txt RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${command} ended with ${status}")
endif()
if(NOT EXISTS "${REPORT}")
    message(FATAL_ERROR "${command} wrote no report to ${REPORT_NAME}")
endif()

# One element a test case (a data row counts as one); what the list would
# take for separators or brackets is of no concern here.
file(READ "${REPORT}" xml)
string(REGEX REPLACE "[][;]" "" xml "${xml}")
string(REPLACE "<testcase " ";" cases "${xml}")
list(POP_FRONT cases)
set(passed 0)
foreach(case IN LISTS cases)
    if(NOT case MATCHES "^name=\"(initTestCase|cleanupTestCase)\"" AND
       NOT case MATCHES "<(skipped|failure|error)")
        math(EXPR passed "${passed} + 1")
    endif()
endforeach()
if(passed EQUAL 0)
    message("Larkspur tests: skipped, as no test function of its own passed")
endif()
