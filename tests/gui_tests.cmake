# The window's tests: a Qt Test program of its own, run without a display.
if(QUILMARK_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)

  add_executable(quilmark_gui_tests gui/spa_analysis_test.cpp)
  set_target_properties(quilmark_gui_tests PROPERTIES AUTOMOC ON)
  target_link_libraries(quilmark_gui_tests PRIVATE quilmark_window Qt6::Test)
  target_compile_definitions(quilmark_gui_tests PRIVATE
    QUILMARK_GUI_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data/gui")
  add_test(NAME quilmark_gui_tests COMMAND quilmark_gui_tests)
  set_tests_properties(quilmark_gui_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(TARGET quilmark_live_plugin)
    # The test program is not beside the plugin.
    set_property(TEST quilmark_gui_tests APPEND PROPERTY ENVIRONMENT
                 "QUILMARK_LIVE_PLUGIN=$<TARGET_FILE:quilmark_live_plugin>")
  endif()

  # Draws the window into a PNG; scripts/render-window.sh runs it.
  add_executable(quilmark_render_window gui/render_window.cpp)
  target_link_libraries(quilmark_render_window PRIVATE quilmark_window)
endif()
