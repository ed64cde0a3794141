// The check of a survey layer's area field against the ellipsoidal area of each patch computed
// by the survey's own formula: where the layer was made by the survey's rule, the two agree to
// the hundredth of a square metre the field is given in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/host/gdal/layer_source.h"

namespace quilmark {

// A patch whose field and computed area differ by more than the tolerance.
struct AreaMismatch {
  std::string label;      // "FID 7", or with its source where several are checked
  double field = 0.0;     // the area field's value (0 where it is empty or no number)
  double computed = 0.0;  // the ellipsoidal area
};

struct EllipsoidCheck {
  int64_t patches = 0;              // patches compared
  int64_t off = 0;                  // patches off by more than the tolerance
  double largest = 0.0;             // the largest difference of any patch, in m2
  std::vector<AreaMismatch> first;  // the first of them, at most `listed`
};

// Reads the layer the request names (source, layer, filter; its area field the one to check)
// and compares, a field that is empty or no number counting as 0. Throws HostError as OpenLayer,
// and where a geometry cannot be taken back to latitude and longitude.
EllipsoidCheck CheckEllipsoidAreas(const LayerRequest& request, double tolerance = 0.01,
                                   size_t listed = 20);

}  // namespace quilmark
