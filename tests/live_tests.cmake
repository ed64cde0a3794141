# Tests of the live host against a real headless office, in a binary of their own: only builds
# with the office SDK link against it.
if(QUILMARK_BUILD_LIVE)
  add_library(quilmark_live_testing STATIC
    live/office_process.cpp
    live/office_documents.cpp)
  target_link_libraries(quilmark_live_testing PUBLIC quilmark_live quilmark_uno)
  target_include_directories(quilmark_live_testing PUBLIC ${PROJECT_SOURCE_DIR})

  add_executable(quilmark_live_tests
    live/live_main.cpp
    live/write_batch_test.cpp
    live/office_connection_test.cpp
    live/live_attach_test.cpp
    live/live_sheet_test.cpp
    live/live_run_test.cpp
    live/live_failure_test.cpp)
  target_link_libraries(quilmark_live_tests PRIVATE
    quilmark_live_testing quilmark_live quilmark_core GTest::gtest)
  target_compile_definitions(quilmark_live_tests PRIVATE QUILMARK_CLI="$<TARGET_FILE:quilmark>")
  add_dependencies(quilmark_live_tests quilmark)

  # One test per group, so each group starts one office rather than one per test.
  foreach(_group IN ITEMS GroupWrites:SortAndDeduplicate:ParseUnoAddress:MissingTypeLibraries:ErrorText
                          LiveAttach LiveSheetTest LiveRun LiveFailure)
    string(REGEX REPLACE ":.*" "" _name ${_group})
    string(REPLACE ":" ".*:" _filter "${_group}.*")
    add_test(NAME live.${_name} COMMAND quilmark_live_tests --gtest_filter=${_filter})
    set_tests_properties(live.${_name} PROPERTIES TIMEOUT 480)
  endforeach()
endif()
