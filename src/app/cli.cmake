# The command line: quilmark [options] WORKBOOK.
find_package(CLI11 CONFIG REQUIRED)
find_package(Threads REQUIRED)
add_executable(quilmark cli_main.cpp)
target_link_libraries(quilmark PRIVATE quilmark_core CLI11::CLI11 Threads::Threads)
target_compile_options(quilmark PRIVATE -Wall -Wextra -Wpedantic)
# The live host is a plugin loaded only for --live, so the program starts without the office.
if(TARGET quilmark_live_plugin)
  target_compile_definitions(quilmark PRIVATE QUILMARK_HAVE_LIVE)
  add_dependencies(quilmark quilmark_live_plugin)
endif()
