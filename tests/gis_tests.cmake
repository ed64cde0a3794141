# The GIS sources: layers of every kind written by ogr2ogr in the tests.
target_sources(quilmark_tests PRIVATE
  gis/gis_files.cpp
  gis/layer_run_test.cpp
  gis/layer_source_test.cpp
  gis/zone_transform_test.cpp)
