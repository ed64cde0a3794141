// What the user chose for one run: the window's check boxes, options and column texts, or the
// same filled from the command line. Field names are the names of the window's controls.
#pragma once

#include <string>

namespace quilmark {

struct RunOptions {
  // The four tasks.
  bool CheckTDLY = false;    // land-use summary by zone
  bool CheckZTGH = false;    // master-plan summary by zone
  bool CheckZQStat = false;  // total area by zone
  bool ChkNumArea = false;   // count-and-area cross-tab

  // Rewrite zone codes as zone names before the land-use summary.
  bool CheckZQDM2MC = false;

  // Land-use method: at most one of the option buttons is true, or a classification list entry is
  // chosen (see land_use_choice.h).
  bool OptClassC_2008 = false;
  bool OptClassB_2008 = false;
  bool OptClassA_2008 = false;
  bool OptQSXZ_ED = false;
  bool OptClassA_ED = false;
  bool OptAgriLand_ED = false;
  std::string ListLandUse;  // the chosen entry's caption; empty when none
  bool CheckSplitK = false;  // K-marked (可调整) patches apart, under 带K and their class
  // A user's own code -> class table (a file), used in place of the method; empty for none.
  std::string TextClassTable;
  // The column of the 田坎 deduction coefficients (KCXS), as typed; empty for none.
  std::string TextKCXSColumn;

  // How areas are written (every summary block): unit (m2, ha, mu; empty: as the data holds
  // them), decimals as typed (empty: unrounded), and the 合计 column and row.
  std::string ListUnit;
  std::string TextDecimals;
  bool CheckTotals = false;

  // The survey statistics tables, as a comma list of their names (level1, level2, major,
  // ownership, urban, slope, or all); empty: none. They read a GIS layer.
  std::string ListReports;
  std::string ListReportLevel = "township";  // county, township or village
  // The layer fields the reports read besides zone, class, area and KCXS.
  std::string TextQSXZColumn = "QSXZ";
  std::string TextCZCSXMColumn = "CZCSXM";
  // 耕地坡度级别, the standard DLTB field; a layer that names it PDJB (as other layers of the
  // survey do) is read from that field when it has no GDPDJB.
  std::string TextPDJBColumn = "GDPDJB";
  std::string TextGDLXColumn = "GDLX";
  // The reports' sign-off lines: 填报单位, 单位负责人, 填表人, 填表日期; empty: a blank to fill in.
  std::string TextReportUnit;
  std::string TextReportHead;
  std::string TextReportPreparer;
  std::string TextReportDate;

  // Master-plan method: at most one is true.
  bool IsAllZone = false;
  bool IsOldGH = false;
  bool IsNewGH = false;

  // Column numbers as typed; parsed by the run.
  std::string TextZQColumn = "1";
  std::string TextDKStyleColumn = "2";
  std::string TextAreaColumn = "3";

  // Zone transforms, for every source: keep the first ZonePrefix characters of each zone (0:
  // all of it), then name the codes listed in the two-column file ZoneNamesFile (empty: none).
  int ZonePrefix = 0;
  std::string ZoneNamesFile;

  // The data check before any figure: a negative area only warned of (--accept-negative), and a
  // run that checks the data and writes its findings instead of any summary (--check).
  bool AcceptNegative = false;
  bool CheckOnly = false;

  friend bool operator==(const RunOptions&, const RunOptions&) = default;
};

}  // namespace quilmark
