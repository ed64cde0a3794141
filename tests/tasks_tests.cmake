# Master plan, zone totals and the count-and-area cross-tab: passes, block writer and whole runs.
target_sources(quilmark_tests PRIVATE
  tasks/master_plan_test.cpp
  tasks/zone_totals_test.cpp
  tasks/cross_tab_test.cpp
  tasks/task_runs_test.cpp
  tasks/text_ids_test.cpp)
