target_sources(quilmark_tests PRIVATE
  core/cell_value_test.cpp
  core/atomic_file_test.cpp
  core/cell_number_shortcut_test.cpp
  core/utf16_test.cpp
  core/text_encoding_test.cpp
  core/columns_test.cpp
  core/summary_tables_test.cpp
  core/area_check_test.cpp
  core/run_driver_test.cpp
  core/run_request_test.cpp
  core/watched_rows_test.cpp
  core/data_check_test.cpp
  core/tree_rounding_test.cpp)
