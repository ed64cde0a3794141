// A layer's rows read in column batches (GDAL's Arrow stream) where the driver reads those
// straight from the file: a GeoPackage, a FlatGeobuf file. There a feature costs no object and
// no copy of each text, so a run that reads many fields (the survey reports read nine or ten)
// costs little more than one that reads three. The rows are those the feature-by-feature reader
// gives, cell for cell and in the same order.
#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <memory>

#include "src/host/gdal/layer_cells.h"
#include "src/host/row_source.h"

namespace quilmark {

// The rows of the layer in column batches, where the driver has a fast columnar reader, the
// area comes from a field (no geometry is read) and every chosen field is a whole number, a real
// number or a text. The caller has set the fields to ignore and installs no filter. The first
// batch is read here: `empty` says whether the layer has no feature at all. The rows then own the
// dataset; `count` is the features the layer holds, for the share done (0: not known). nullptr
// where any condition fails, or the driver refuses the first batch; the dataset and the layer are
// then left to the feature-by-feature reader.
std::unique_ptr<RowSource> OpenArrowRows(GDALDatasetUniquePtr& dataset, OGRLayer& layer,
                                         const ChosenFields& fields, int64_t count, bool& empty);

}  // namespace quilmark
