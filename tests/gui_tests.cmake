# The window's tests: a Qt Test program of its own, run without a display.
if(QUILMARK_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)

  add_executable(quilmark_gui_tests gui/spa_analysis_test.cpp)
  set_target_properties(quilmark_gui_tests PROPERTIES AUTOMOC ON)
  # GDAL writes the geodatabase whose field aliases the window shows.
  find_package(GDAL 3.6 REQUIRED)
  target_link_libraries(quilmark_gui_tests PRIVATE quilmark_window Qt6::Test GDAL::GDAL)
  target_compile_definitions(quilmark_gui_tests PRIVATE
    QUILMARK_GUI_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data/gui")
  add_test(NAME quilmark_gui_tests COMMAND quilmark_gui_tests)
  set_tests_properties(quilmark_gui_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(TARGET quilmark_live_plugin)
    # The test program is not beside the plugin.
    set_property(TEST quilmark_gui_tests APPEND PROPERTY ENVIRONMENT
                 "QUILMARK_LIVE_PLUGIN=$<TARGET_FILE:quilmark_live_plugin>")
  endif()
  # The message box speaks Chinese whatever the locale.
  foreach(_locale IN ITEMS C en_US.UTF-8 zh_CN.UTF-8)
    add_test(NAME quilmark_gui_box_${_locale}
      COMMAND quilmark_gui_tests MessageBoxHasTitleNoIconOneButton)
    set_tests_properties(quilmark_gui_box_${_locale} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=${_locale};LANG=${_locale};LANGUAGE=")
  endforeach()

  # The window on a 1366x768 screen at 100% and 125%, where it shows in two columns, at 150%,
  # where it scrolls in two columns, and on a 1920x1080 one at 100%, where it is as drawn.
  add_executable(quilmark_fit_screen_tests gui/fit_to_screen_test.cpp)
  set_target_properties(quilmark_fit_screen_tests PROPERTIES AUTOMOC ON)
  target_link_libraries(quilmark_fit_screen_tests PRIVATE quilmark_window Qt6::Test)
  foreach(_case IN ITEMS 1366x768:1:0:2 1366x768:1.25:0:2 1366x768:1.5:1:2 1920x1080:1:0:1)
    string(REPLACE ":" ";" _fields ${_case})
    list(GET _fields 0 _screen)
    list(GET _fields 1 _scale)
    list(GET _fields 2 _scroll)
    list(GET _fields 3 _columns)
    set(_platform "offscreen:configfile=${CMAKE_CURRENT_SOURCE_DIR}/data/gui/screen-${_screen}.json")
    add_test(NAME quilmark_fit_screen_${_screen}_${_scale} COMMAND quilmark_fit_screen_tests)
    set_tests_properties(quilmark_fit_screen_${_screen}_${_scale} PROPERTIES ENVIRONMENT
      "QT_QPA_PLATFORM=${_platform};QT_SCALE_FACTOR=${_scale};QUILMARK_EXPECT_SCROLL=${_scroll};QUILMARK_EXPECT_COLUMNS=${_columns}")
  endforeach()

  # Draws the window into a PNG; scripts/render-window.sh runs it.
  add_executable(quilmark_render_window gui/render_window.cpp)
  target_link_libraries(quilmark_render_window PRIVATE quilmark_window)
endif()
