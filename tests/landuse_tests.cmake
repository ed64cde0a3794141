# Land-use: class keys of the six methods, zone-code conversion, the pass and whole runs.
target_sources(quilmark_tests PRIVATE
  landuse/class_keys_test.cpp
  landuse/land_use_passes_test.cpp
  landuse/land_use_runs_test.cpp
  landuse/classification_test.cpp
  landuse/class_families_test.cpp)
