// Moves the unit's values between the register image (global::ConfigRegisters and its
// siblings), the configuration window's register controls and the five value files
// tmp/file1.bin .. file5.bin that the backend exchanges with the unit. The files hold raw
// 16-bit values and bit bytes; the image and the controls hold display values, so loading
// and saving convert tenths, percent, clock digits and fan-stage codes.
// User-interface thread only; the window is reached only through RegisterControls.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// What the movers need of the configuration window.
class RegisterControls {
public:
  virtual ~RegisterControls() = default;

  virtual QString ConfigText(int index) const = 0;  // txt_data_cfg
  virtual void SetConfigText(int index, const QString& text) = 0;
  virtual QString OutputText(int index) const = 0;  // txt_data_out
  virtual void SetOutputText(int index, const QString& text) = 0;
  virtual QString InputText(int index) const = 0;  // txt_data_in
  virtual void SetInputText(int index, const QString& text) = 0;
  virtual int ConfigBit(int index) const = 0;  // chk_cfg
  virtual void SetConfigBit(int index, int value) = 0;
  virtual void chk_cfg_Click(int index) = 0;
  virtual void SetBitComboIndex(int index, int listIndex) = 0;  // cmb_bit_cfg
  virtual int InputBit(int index) const = 0;  // chk_input
  virtual void SetInputBit(int index, int value) = 0;
  virtual void SetButtonLabel(int index, bool set) = 0;  // Lbl_button: red when set
  virtual void SetTemperatureCaption(const QString& text) = 0;  // lbl_temp(0)
  virtual int FanStageListIndex() const = 0;  // list index of cmb_cfg(59)
  virtual void SetLampGreen() = 0;  // Shape1
  virtual void reset_red_field(bool conf, bool reg) = 0;
  virtual void func_red_field() = 0;
};

namespace global {

// conf: configuration registers and bits; reg: input registers and bits. The output
// registers go with either flag.
void CollectRegisterTables(bool conf, bool reg, const RegisterControls& controls);
void ShowRegisterTables(bool conf, bool reg, RegisterControls& controls);

// Value files to the image. Only the values read in this call are converted; a missing or
// short file leaves the entries it does not hold as they were. controls may be null.
void LoadResultFiles(bool conf, bool reg, RegisterControls* controls);
// The same on the files' contents, 1 to 5 (no value: the file is missing); only those the
// two flags name are looked at.
using ResultFiles = std::array<std::optional<QByteArray>, 6>;
void TakeResultFiles(const ResultFiles& files, bool conf, bool reg, RegisterControls* controls);

// The image to the value files 1, 3, 4 and 5 (file 2 is never written). Every value is
// checked to fit 16 bits before any file is written, and each file is replaced whole; on a
// failure the user is told and the result is false.
bool SaveSourceFiles(bool conf, bool reg, RegisterControls* controls);

// Raw fan-stage code of a display value for the fan-stage list index of cmb_cfg(59).
int16_t GetComboValue(int16_t value, int fanStageListIndex);

}  // namespace global
