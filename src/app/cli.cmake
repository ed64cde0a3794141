# The command line: quilmark [options] WORKBOOK.
find_package(CLI11 CONFIG REQUIRED)
find_package(Threads REQUIRED)
add_executable(quilmark cli_main.cpp cli_text.cpp cli_text.h)
target_link_libraries(quilmark PRIVATE quilmark_input CLI11::CLI11 Threads::Threads)
target_compile_options(quilmark PRIVATE -Wall -Wextra -Wpedantic)
