# The command line: quilmark [options] SOURCE...
find_package(CLI11 CONFIG REQUIRED)
find_package(Threads REQUIRED)
add_executable(quilmark cli_main.cpp cli_options.cpp cli_text.cpp console_sink.cpp
               area_check_command.cpp)
target_link_libraries(quilmark PRIVATE quilmark_core CLI11::CLI11 Threads::Threads)
target_compile_options(quilmark PRIVATE -Wall -Wextra -Wpedantic)
