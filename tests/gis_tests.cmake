# The GIS sources: layers of every kind written by ogr2ogr in the tests.
target_sources(quilmark_tests PRIVATE
  gis/ellipsoid_area_test.cpp
  gis/gis_files.cpp
  gis/grouped_rows_test.cpp
  gis/layer_run_test.cpp
  gis/layer_source_test.cpp
  gis/overlay_test.cpp
  gis/read_ahead_test.cpp
  gis/source_sequence_test.cpp
  gis/zone_transform_test.cpp)
# The survey's ellipsoidal area is checked against GeographicLib's geodesic polygon area, and
# the overlay's layers are made and taken back to latitude and longitude with GDAL.
find_library(QUILMARK_GEOGRAPHICLIB GeographicLib REQUIRED)
find_package(GDAL 3.6 REQUIRED)
target_link_libraries(quilmark_tests PRIVATE ${QUILMARK_GEOGRAPHICLIB} GDAL::GDAL)

# The command line on a PostGIS server of its own, a server that never answers, and office
# tables written by the headless office.
find_program(QUILMARK_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(QUILMARK_SYSTEM_PYTHON AND TARGET quilmark)
  add_test(NAME gis_cli_end_to_end
    COMMAND ${QUILMARK_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/gis/gis_cli_test.py
            $<TARGET_FILE:quilmark>)
  set_tests_properties(gis_cli_end_to_end PROPERTIES TIMEOUT 900)
  # The summary grouped by PostgreSQL against the streaming read, on one server and on two
  # shards behind a third; the server's plans; each failure's message.
  add_test(NAME gis_pushdown_end_to_end
    COMMAND ${QUILMARK_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/gis/pushdown_test.py
            $<TARGET_FILE:quilmark>)
  set_tests_properties(gis_pushdown_end_to_end PROPERTIES TIMEOUT 900)
endif()
