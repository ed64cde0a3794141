// The controls of the main window: each one's name, kind, container, caption or default text and
// place. Places are in twips (15 twips are one pixel at 96 dots per inch) inside the container,
// so the window keeps the proportions it was drawn with; the window turns them into pixels.
#pragma once

namespace quilmark {

enum class ControlKind {
  kLabel,    // one or more lines of text, wrapped to the control's width
  kNote,     // the usage note: wrapped lines at a fixed pitch
  kPicture,  // the example result
  kTextBox,  // a column number
  kFrame,    // a group of a task check box and its options, no caption of its own
  kCheckBox,
  kOption,  // one of an exclusive group: the options of one frame
  kButton,
};

struct ControlEntry {
  const char* name;  // the control's object name
  ControlKind kind;
  const char* container;         // the frame it sits in; nullptr for the window itself
  const char* caption;           // caption or default text, UTF-8; empty for frames and the picture
  int left, top, width, height;  // twips, inside the container
};

// The window's client area, in twips.
inline constexpr int kClientWidthTwips = 6045;
inline constexpr int kClientHeightTwips = 9525;

// Top to bottom. A frame comes before the controls it holds.
inline constexpr ControlEntry kWindowControls[] = {
    {"LbComment", ControlKind::kNote, nullptr,
     "此工具汇总 GIS 叠加分析得到的图斑 (如红线与地类图、总体规划图叠加): 选择工作簿或 "
     "GIS 图层, 填写区域、类别、面积所在的列号或字段, 汇总结果写在数据末尾10行之后或"
     "新的工作簿中。如下图所示:",
     120, 120, 5880, 540},
    {"PictureExample", ControlKind::kPicture, nullptr, "", 120, 720, 5830, 1335},
    {"LbZQColumn", ControlKind::kLabel, nullptr, "区域名称(如镇区名称、图斑号)所在列号", 240, 2280,
     3375, 255},
    {"TextZQColumn", ControlKind::kTextBox, nullptr, "1", 3600, 2250, 615, 270},
    {"LbStyleColumn", ControlKind::kLabel, nullptr,
     "地块类别（如地类、规划用途、土地分等定级、用地手续类型等）所在列号", 240, 2640, 3255, 495},
    {"TextDKStyleColumn", ControlKind::kTextBox, nullptr, "2", 3600, 2710, 615, 270},
    {"LbAreaColumn", ControlKind::kLabel, nullptr, "地块面积所在列号", 240, 3160, 1575, 255},
    {"TextAreaColumn", ControlKind::kTextBox, nullptr, "3", 1920, 3130, 615, 270},

    {"FrameTDLY", ControlKind::kFrame, nullptr, "", 120, 3480, 5830, 2955},
    {"CheckTDLY", ControlKind::kCheckBox, "FrameTDLY", "土地利用情况分区域汇总", 120, 200, 2295,
     255},
    {"OptClassC_2008", ControlKind::kOption, "FrameTDLY", "统计到三级地类，带K农用地另列（2008）",
     240, 520, 3855, 255},
    {"OptClassB_2008", ControlKind::kOption, "FrameTDLY", "统计到二级地类，带K农用地另列（2008）",
     240, 840, 3735, 255},
    {"OptClassA_2008", ControlKind::kOption, "FrameTDLY",
     "统计到一级地类，耕地、园地、林地，带K农用地另列（2008）", 240, 1160, 5415, 255},
    {"OptQSXZ_ED", ControlKind::kOption, "FrameTDLY", "统计权属性质（二调图）", 240, 1480, 2655,
     255},
    {"OptClassA_ED", ControlKind::kOption, "FrameTDLY", "统计到一级类，带K另列（二调图）", 240,
     1800, 3735, 255},
    {"OptAgriLand_ED", ControlKind::kOption, "FrameTDLY",
     "统计农用地、建设用地、未利用地（二调图）", 240, 2120, 4335, 255},
    {"CheckZQDM2MC", ControlKind::kCheckBox, "FrameTDLY", "转换镇区代码为名称", 3600, 2550, 2055,
     255},

    {"FrameZTGH", ControlKind::kFrame, nullptr, "", 120, 6480, 5830, 1485},
    {"CheckZTGH", ControlKind::kCheckBox, "FrameZTGH", "总体规划情况分区域汇总", 120, 200, 2895,
     255},
    {"IsAllZone", ControlKind::kOption, "FrameZTGH", "统计到每一种用途分区", 240, 520, 2415, 255},
    {"IsOldGH", ControlKind::kOption, "FrameZTGH",
     "统计符合规划、基本农田、其它不符合规划三种类别(06版)", 240, 840, 5535, 255},
    {"IsNewGH", ControlKind::kOption, "FrameZTGH",
     "统计符合规划、基本农田、其它不符合规划三种类别(09版)", 240, 1160, 5415, 255},

    {"FrameZQ", ControlKind::kFrame, nullptr, "", 120, 8040, 5830, 915},
    {"CheckZQStat", ControlKind::kCheckBox, "FrameZQ",
     "按区域统计,不细分用地类别(适合统计报批、发证等用地情况)", 120, 200, 5385, 255},
    {"ChkNumArea", ControlKind::kCheckBox, "FrameZQ", "统计每个区域内每一种类别地块的宗数和面积",
     120, 520, 5535, 255},

    {"CommandDefaults", ControlKind::kButton, nullptr, "恢复默认", 240, 9120, 1000, 330},
    {"CommandCheck", ControlKind::kButton, nullptr, "检查数据", 1920, 9120, 1000, 330},
    {"CommandProc", ControlKind::kButton, nullptr, "确 认", 3240, 9120, 700, 330},
    {"CommandExit", ControlKind::kButton, nullptr, "退 出", 4680, 9120, 700, 330},
};

// The row added below the buttons for choosing the workbook file: its label and button.
inline constexpr const char* kWorkbookLabel = "工作簿:";
inline constexpr const char* kChooseWorkbook = "选择...";
// The button beside it that lists the files chosen lately.
inline constexpr const char* kRecentWorkbooks = "最近";
// The answer to a run with no workbook chosen and no office answering.
inline constexpr const char* kChooseWorkbookFirst =
    "还没有选择工作簿。请按“选择...”选取要统计的 .xlsx 工作簿, 或把它拖到窗口上。";

// The example result block, shipped as a resource: 382 x 83 pixels, 24 bits per pixel.
inline constexpr const char* kExamplePicture = ":/quilmark/example_result.png";

}  // namespace quilmark
