// The configuration window's design as data: its tabs, the frames on each tab with their
// captions and the order of what they hold, the descriptive labels lbl_desc 0..79, the entry
// lists of the choice boxes in both languages, and the tables behind the selection rules
// (button layouts, fan-stage texts, set-point unit labels). The window builds itself from
// these tables and the tests read them; nothing here touches a widget.
#pragma once

#include <QString>
#include <QStringList>
#include <span>

namespace design {

inline constexpr int TabCount = 9;
QString TabCaption(int tab, bool english);

// What one line of a frame shows.
enum class Item {
  Cfg,  // configuration register row (index)
  In,  // input register row
  Out,  // output register row
  CfgBit,  // configuration bit row
  InBit,  // input bit row
  Desc,  // a lbl_desc label across the line
  Frame,  // a nested frame (name)
  Picture,  // the four pictures of the unit for set k (index), beside the frame's lines
  ClockDate,  // the date fields: day . month . year
  ClockTime,  // the time fields: hour : minute : second
};

struct Entry {
  Item item;
  int index;
  const char* name;  // the nested frame's object name (Frame)
  int caption_desc = -1;  // a lbl_desc that captions the row instead of its own label
  int column = 0;  // 1: in the right half of the previous line's row
  int beside = 0;  // Picture: the number of following lines that stand beside it; 0 all
};

struct FrameDesign {
  const char* name;  // object name; array elements carry their index ("frm_soll_4")
  int tab;  // tab page, or -1 for a frame nested in another frame
  int column;  // left (0) or right (1) column of its tab page
  const char* caption_de;
  const char* caption_en;  // null: the German caption in both languages
  std::span<const Entry> lines;
};

// Top-level frames first in tab order, nested frames after them.
std::span<const FrameDesign> Frames();
const FrameDesign* FindFrame(const QString& name);

// lbl_desc 0..79.
struct DescLabel {
  int index;
  const char* text_de;
  const char* text_en;  // null: same text in both languages
  bool visible;  // as designed; some are shown only for one device type
};
std::span<const DescLabel> DescLabels();

// Entry lists of the choice boxes, in the language given.
QStringList ConfigChoices(int index, bool english);  // cmb_cfg
QStringList BitChoices(int index, bool english);  // cmb_bit_cfg
QStringList InputChoices(int index, bool english);  // cmb_in

// Combo indexes that exist.
bool HasConfigChoice(int index);
bool HasBitChoice(int index);
bool HasConfigSpin(int index);

// The entry texts of the fan-stage list cmb_in(26) for 1, 2 or 3 stages.
QStringList FanStageTexts(int stages);

// Button layouts by the position of cmb_cfg(2): 0 "2T", 1 "4T", 2 "8T", 3 "12T".
inline constexpr int ButtonCounts[4] = {2, 4, 8, 12};
const char* PictureName(int position);  // "Image2T" .. "Image12T"

// Lbl_button geometry in twips: design state and what each layout changes.
struct Rect {
  int left, top, width, height;
};
Rect ButtonIndicatorDesign(int index);
// The indicator's geometry and visibility under a layout, starting from the current one.
Rect ButtonIndicatorUnderLayout(int position, int index, Rect current);
bool ButtonIndicatorVisible(int position, int index);

// The set points' unit labels and up/down pairs.
struct SetpointUnits {
  int unit_choice;  // cmb_cfg index 61..64
  int relative[5];  // lbl_desc of ranges, resolution and offsets
  int absolute[3];  // lbl_desc of the temperatures
  int updowns[4];  // UpD_txt_cfg of upper range, lower range, resolution, base after reset
  int resolution;  // txt_data_cfg of the resolution
};
const SetpointUnits& Setpoint(int k);  // k = 1..4

// lbl_desc beside an external value for the unit selections 65..68.
int ExternalUnitLabel(int choice);

// Which LED frame follows which LED selection (cmb_cfg 20..27).
const char* LedFrame(int choice);

}  // namespace design
