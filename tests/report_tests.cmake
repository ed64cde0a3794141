# The survey reports: their rules, their figures and their tables.
target_sources(quilmark_tests PRIVATE report/report_test.cpp)

# The command line on the generated survey layer in every format, each table checked by hand.
find_program(QUILMARK_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(QUILMARK_SYSTEM_PYTHON AND TARGET quilmark)
  add_test(NAME report_cli_end_to_end
    COMMAND ${QUILMARK_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/report/report_cli_test.py
            $<TARGET_FILE:quilmark>)
  set_tests_properties(report_cli_end_to_end PROPERTIES TIMEOUT 300)
endif()
