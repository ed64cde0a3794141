// The GIS benchmark's two native pieces, driven by gis_bench.py:
//
//   quilmark_gis_tool generate ROWS FILE.gpkg   a survey-like patch layer of ROWS polygons
//   quilmark_gis_tool floor SOURCE F1 F2 F3     GDAL's bare loop: reads three fields of every
//                                               feature and nothing else, the floor of any run
//                                               that reads the layer through GDAL
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr int kVertices = 36;
const char* const kTownships[] = {"441900101", "441900102", "441900103", "441900104",
                                  "441900105", "441900106", "441900107", "441900108",
                                  "441900109", "441900110", "441900111", "441900112"};
// Classes of the 2008 classification, as the land-use methods read them.
const char* const kClasses[] = {"011", "012", "013", "021", "021K", "023", "031",  "032",
                                "033", "041", "043", "111", "114",  "117", "121K", "122",
                                "201", "202", "203", "204", "205",  "311", "317",  "122K"};

// The attributes of a third-survey patch layer, in their usual order.
struct Field {
  const char* name;
  OGRFieldType type;
  int width;
};
const Field kFields[] = {
    {"BSM", OFTString, 18},    {"YSDM", OFTString, 10},   {"TBYBH", OFTString, 8},
    {"TBBH", OFTString, 8},    {"DLBM", OFTString, 5},    {"DLMC", OFTString, 60},
    {"QSXZ", OFTString, 2},    {"QSDWDM", OFTString, 19}, {"QSDWMC", OFTString, 60},
    {"ZLDWDM", OFTString, 19}, {"ZLDWMC", OFTString, 60}, {"TBMJ", OFTReal, 0},
    {"KCDLBM", OFTString, 5},  {"KCXS", OFTReal, 0},      {"KCMJ", OFTReal, 0},
    {"TBDLMJ", OFTReal, 0},    {"GDLX", OFTString, 2},    {"SJNF", OFTInteger, 0}};

int Generate(long rows, const char* path) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
  GDALDatasetUniquePtr dataset(driver->Create(path, 0, 0, 0, GDT_Unknown, nullptr));
  if (!dataset) return 1;
  OGRSpatialReference srs;
  srs.importFromEPSG(4547);
  OGRLayer* layer = dataset->CreateLayer("patches", &srs, wkbPolygon, nullptr);
  for (const Field& field : kFields) {
    OGRFieldDefn definition(field.name, field.type);
    definition.SetWidth(field.width);
    layer->CreateField(&definition);
  }
  std::mt19937 random(12);
  const int columns = 1000;
  dataset->StartTransaction();
  for (long i = 0; i < rows; ++i) {
    OGRFeature feature(layer->GetLayerDefn());
    const double cx = 400000 + (i % columns) * 100.0, cy = 2500000 + (i / columns) * 100.0;
    const double radius = 10 + random() % 35;
    OGRLinearRing ring;
    for (int v = 0; v < kVertices; ++v) {
      const double angle = 2 * M_PI * v / kVertices, r = radius * (0.85 + 0.003 * (random() % 50));
      ring.addPoint(cx + r * std::cos(angle), cy + r * std::sin(angle));
    }
    ring.closeRings();
    OGRPolygon polygon;
    polygon.addRing(&ring);
    const double area = polygon.get_Area();
    // Townships and villages in contiguous runs of patches, as a survey numbers them.
    const std::string township = kTownships[i * 12 / rows];
    const std::string village = township + std::to_string(100 + i * 360 / rows % 30) + "0000000";
    const char* cls = kClasses[random() % 24];
    feature.SetField("BSM", std::to_string(440000000000 + i).c_str());
    feature.SetField("YSDM", "2001010100");
    feature.SetField("TBYBH", std::to_string(i % 9999).c_str());
    feature.SetField("TBBH", std::to_string(i % 9999).c_str());
    feature.SetField("DLBM", cls);
    feature.SetField("DLMC", "地类名称");
    feature.SetField("QSXZ", random() % 5 == 0 ? "10" : "30");
    feature.SetField("QSDWDM", village.c_str());
    feature.SetField("QSDWMC", "某某村民委员会");
    feature.SetField("ZLDWDM", village.c_str());
    feature.SetField("ZLDWMC", "某某村");
    feature.SetField("TBMJ", std::round(area * 100) / 100);
    feature.SetField("KCXS", 0.0);
    feature.SetField("KCMJ", 0.0);
    feature.SetField("TBDLMJ", std::round(area * 100) / 100);
    feature.SetField("GDLX", "");
    feature.SetField("SJNF", 2019);
    feature.SetGeometry(&polygon);
    if (layer->CreateFeature(&feature) != OGRERR_NONE) return 1;
    if ((i + 1) % 100000 == 0) {
      dataset->CommitTransaction();
      dataset->StartTransaction();
    }
  }
  dataset->CommitTransaction();
  return 0;
}

int Floor(const char* source, const char* const fields[3]) {
  GDALDatasetUniquePtr dataset(GDALDataset::Open(source, GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!dataset) return 1;
  OGRLayer* layer = dataset->GetLayer(0);
  int index[3];
  for (int i = 0; i < 3; ++i) index[i] = layer->GetLayerDefn()->GetFieldIndex(fields[i]);
  // Like any sensible reader, it tells the driver to skip the geometry and the other fields.
  CPLStringList ignored;
  for (int i = 0; i < layer->GetLayerDefn()->GetFieldCount(); ++i) {
    if (i != index[0] && i != index[1] && i != index[2]) {
      ignored.AddString(layer->GetLayerDefn()->GetFieldDefn(i)->GetNameRef());
    }
  }
  ignored.AddString("OGR_GEOMETRY");
  ignored.AddString("OGR_STYLE");
  layer->SetIgnoredFields(const_cast<const char**>(ignored.List()));
  size_t bytes = 0;
  double area = 0;
  long count = 0;
  for (auto& feature : *layer) {
    bytes += std::strlen(feature->GetFieldAsString(index[0]));
    bytes += std::strlen(feature->GetFieldAsString(index[1]));
    area += feature->GetFieldAsDouble(index[2]);
    ++count;
  }
  std::printf("%ld features, %zu bytes of text, area %.2f\n", count, bytes, area);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  GDALAllRegister();
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "generate" && argc == 4) return Generate(std::atol(argv[2]), argv[3]);
  if (mode == "floor" && argc == 6) return Floor(argv[2], argv + 3);
  std::fprintf(stderr,
               "usage: quilmark_gis_tool generate ROWS FILE.gpkg | floor SOURCE F1 F2 F3\n");
  return 2;
}
