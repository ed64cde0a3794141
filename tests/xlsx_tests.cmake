# The workbook-file host: unit tests in the shared binary, the corpus when it is beside the
# clone, and the command line end to end.
target_sources(quilmark_tests PRIVATE
  xlsx/xlsx_fixture.cpp
  xlsx/xlsx_read_test.cpp
  xlsx/xlsx_write_test.cpp
  xlsx/corpus_test.cpp)
target_link_libraries(quilmark_tests PRIVATE libzip::zip)
