# The live host's benchmark (included from bench/CMakeLists.txt). It drives a headless office with
# the helpers the live tests use, which need no test framework.
if(QUILMARK_BUILD_LIVE)
  if(NOT TARGET quilmark_live_testing)
    add_library(quilmark_live_testing STATIC
      ${CMAKE_CURRENT_LIST_DIR}/../tests/live/office_process.cpp
      ${CMAKE_CURRENT_LIST_DIR}/../tests/live/office_documents.cpp)
    target_link_libraries(quilmark_live_testing PUBLIC quilmark_live quilmark_uno)
    target_compile_features(quilmark_live_testing PUBLIC cxx_std_20)
  endif()
  add_executable(quilmark_live_bench ${CMAKE_CURRENT_LIST_DIR}/live_bench.cpp)
  target_link_libraries(quilmark_live_bench PRIVATE quilmark_live_testing quilmark_live quilmark_core)
  target_compile_features(quilmark_live_bench PRIVATE cxx_std_20)
endif()
