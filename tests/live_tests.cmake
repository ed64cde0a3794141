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
    live/call_watch_test.cpp
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
  foreach(_group IN ITEMS GroupWrites:SortAndDeduplicate:ParseUnoAddress:MissingTypeLibraries:ErrorText:CallWatch
                          LiveAttach LiveSheetTest LiveRun LiveFailure)
    string(REGEX REPLACE ":.*" "" _name ${_group})
    string(REPLACE ":" ".*:" _filter "${_group}.*")
    add_test(NAME live.${_name} COMMAND quilmark_live_tests --gtest_filter=${_filter})
    set_tests_properties(live.${_name} PROPERTIES TIMEOUT 480)
  endforeach()
endif()

# The programs need none of the office's libraries; only the plugin does.
find_program(QUILMARK_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(QUILMARK_SYSTEM_PYTHON AND TARGET quilmark)
  set(_programs $<TARGET_FILE:quilmark>)
  if(TARGET quilmark-gui)
    list(APPEND _programs $<TARGET_FILE:quilmark-gui>)
  endif()
  if(TARGET quilmark_live_plugin)
    list(APPEND _programs --plugin $<TARGET_FILE:quilmark_live_plugin>)
  endif()
  add_test(NAME office_free_programs
    COMMAND ${QUILMARK_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/cli/live_plugin_test.py
            ${_programs})
endif()
