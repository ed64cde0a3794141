# The window. Its class lives in the small library quilmark_window, which the program and the
# window's tests link; only these targets see Qt.
if(QUILMARK_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)

  add_library(quilmark_window STATIC
    main_window.cpp
    main_window.h
    chinese_ui.cpp
    chinese_ui.h
    desktop_open.cpp
    desktop_open.h
    fit_to_screen.cpp
    fit_to_screen.h
    layer_field_boxes.cpp
    layer_field_boxes.h
    first_rows_view.cpp
    first_rows_view.h
    report_rows.cpp
    report_rows.h
    run_in_background.cpp
    run_in_background.h
    run_progress.cpp
    run_progress.h
    window_settings.cpp
    window_settings.h
    ${PROJECT_SOURCE_DIR}/src/resources/window_controls.h
    ${PROJECT_SOURCE_DIR}/src/resources/quilmark_window.qrc)
  set_target_properties(quilmark_window PROPERTIES AUTOMOC ON AUTORCC ON)
  target_link_libraries(quilmark_window PUBLIC quilmark_core Qt6::Widgets)
  target_compile_options(quilmark_window PRIVATE -Wall -Wextra -Wpedantic)

  add_executable(quilmark-gui gui_main.cpp)
  target_link_libraries(quilmark-gui PRIVATE quilmark_window)
  target_compile_options(quilmark-gui PRIVATE -Wall -Wextra -Wpedantic)
endif()
