# The outputs besides the worksheet: widths, preview, CSV and the result workbook.
target_sources(quilmark_tests PRIVATE
  output/text_output_test.cpp
  output/new_workbook_test.cpp
  output/written_rows_test.cpp)
