// Whether a layer's summary is left to its PostgreSQL server (the groups travel, not the
// patches), and the grouping statement's parts when it is.
#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <optional>
#include <string>

#include "src/host/postgis/grouped_query.h"

namespace quilmark {

// The fields a run reads, by index in the layer (-1: none; an area of -1 is the geometry's).
struct PushdownFields {
  int zone = -1;
  int class_ = -1;
  int area = -1;
  int deduction = -1;
  bool extras = false;  // further fields (the survey reports) are read too
};

// The statement when everything the run reads can be read as the server reads it: a table of a
// PostgreSQL source with a feature id column, no further fields, zone and class held as text or
// whole numbers, area and coefficient as numbers. nullopt otherwise (and when the environment
// sets QUILMARK_PG_PUSHDOWN=off): the layer is then read feature by feature.
// The table is named as GDAL names the layer, without a filter: the caller puts in the table it
// checked and the filter it parsed.
std::optional<GroupedQuery> PushdownQuery(GDALDataset& dataset, OGRLayer& layer,
                                          const PushdownFields& fields,
                                          std::optional<int> zone_prefix);

}  // namespace quilmark
