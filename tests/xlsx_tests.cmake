# The workbook-file host: unit tests in the shared binary, the corpus when it is beside the
# clone, and the command line end to end.
target_sources(quilmark_tests PRIVATE
  xlsx/xlsx_fixture.cpp
  xlsx/xlsx_read_test.cpp
  xlsx/xlsx_write_test.cpp
  xlsx/corpus_test.cpp
  xlsx/row_chunks_test.cpp
  xlsx/tag_scan_test.cpp
  xlsx/parallel_deflate_test.cpp
  xlsx/round_trip.cpp
  xlsx/streamed_rows_test.cpp
  xlsx/fuzz_findings_test.cpp)
target_link_libraries(quilmark_tests PRIVATE libzip::zip EXPAT::EXPAT)

# Python with the two workbook libraries that are Debian packages (the system one, not a
# python3 earlier on PATH that lacks them).
find_program(QUILMARK_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(QUILMARK_SYSTEM_PYTHON AND TARGET quilmark)
  add_test(NAME cli_end_to_end
    COMMAND ${QUILMARK_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_test.py
            $<TARGET_FILE:quilmark>)
endif()
if(QUILMARK_SYSTEM_PYTHON AND TARGET quilmark)
  # The corpus of real workbooks beside the clone, read back by an independent reader.
  add_test(NAME corpus_independent_reader
    COMMAND ${QUILMARK_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/cli/corpus_reader_test.py
            $<TARGET_FILE:quilmark> ${PROJECT_SOURCE_DIR}/../shared/corpus)
  set_tests_properties(corpus_independent_reader PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
