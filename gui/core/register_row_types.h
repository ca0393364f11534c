// The kinds of row of the register tables (register_rows.h): one row per
// configuration register, input register, output register, configuration bit and input bit,
// with its captions, the kind of control, its frame, the up/down limits and steps, the key
// class, the factory value, the scaling between value files and display, and its unit label.
// The window builds its controls from these rows, its handlers read them, and the tests check
// against them. Plain data; no widget and no state.
#pragma once

#include <QString>
#include <span>

namespace rows {

// What stands beside a register's text box.
enum class Field {
  Text,  // the text box alone
  Choice,  // a combo box of the same index (cmb_cfg, cmb_in)
  Spin,  // an up/down button pair of the same index (UpD_txt_cfg)
};

// Which keys a text box lets through.
enum class KeyClass {
  Whole,  // digits, Backspace, 127
  Decimal,  // as whole, and the decimal separator once
  Signed,  // as decimal, and one minus
  ByUnit,  // signed or whole by the unit chosen for the register's group
};

// How a raw 16-bit value of the value files becomes the value the page shows.
enum class Scaling {
  None,
  Tenths,  // display = raw / 10
  Percent,  // display = raw / 2.55, rounded
  GroupTenths,  // tenths while the group switch (a unit selection) stands at 0 or 1
  ClockDigits,  // the raw value's hex digits read as a decimal number
  FanStage,  // 0..3 as they are, 0xFF00.. as 4..7
};

struct ConfigRegisterRow {
  int index;
  const char* caption_de;  // lbl_cfg
  const char* caption_en;  // null: the German caption stands in both languages
  Field field;
  const char* frame;  // object name of the frame that holds the row
  double lower, upper;  // limits of the up/down pair (Spin rows)
  double click_step, repeat_step;
  KeyClass keys;
  double factory;
  Scaling scaling;
  int group_switch;  // configuration register of the group switch (GroupTenths), else -1
  int unit_label;  // lbl_desc index beside the field, else -1
};

struct InputRegisterRow {
  int index;
  const char* caption_de;  // lbl_data_in; null where the page labels the field otherwise
  const char* caption_en;
  Field field;
  const char* frame;
  KeyClass keys;
  int unit_switch;  // the unit selection (cmb_cfg index) consulted by ByUnit keys, else -1
  Scaling scaling;
  int group_switch;
  int unit_label;
};

struct OutputRegisterRow {
  int index;
  const char* caption_de;  // lbl_read_out
  const char* caption_en;
  const char* frame;
  Scaling scaling;
  int group_switch;
  int unit_label;
};

struct BitRow {
  int index;
  const char* caption_de;  // lbl_read_cfg_bit or lbl_read_in_bit
  const char* caption_en;
  const char* frame;  // null: directly on the tab page
  bool choice;  // a cmb_bit_cfg of the same index stands beside it
  int factory;
};

}  // namespace rows
