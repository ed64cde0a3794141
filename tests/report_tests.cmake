# The survey reports: their rules, their figures and their tables.
target_sources(quilmark_tests PRIVATE report/report_test.cpp)
