// The configuration window's parameter text files: "Parameter speichern" writes the
// configuration registers and bits as the fields show them, "Parameter laden" puts a saved
// set back into the fields, each through the field's own change handling and without a
// range check. Nothing goes to the unit. A file that cannot be read whole changes nothing; a
// value that is no number keeps its field as it is, and the user is told which line it was.
#include "gui/core/language_texts.h"
#include "gui/core/message_box.h"
#include "gui/core/parameter_file.h"
#include "gui/core/pc_clock.h"
#include "gui/core/program_state.h"
#include "gui/core/registry.h"
#include "gui/forms/file_dialogs.h"
#include "gui/forms/frm_config.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>

namespace {

const char* const kFilter = "Textfile (*.txt)";

}  // namespace

void frm_config::func_save_parameters()
{
  params::Header header;
  header.version = CRegistry().MachineSetting(QString::fromLatin1(ProgramRegistryKey), "Version");
  const QString name = forms::SaveFileName(this, kFilter, "txt");
  if (name.isEmpty())
    return;

  const ModbusSettingsT& m = global::ModbusSettings;
  header.modbus = global::DeviceType == 0;
  header.moment = pc_clock::Now();
  header.baud_rate = m.BaudRate;
  header.mode_text = m.ModeText;
  // The parity the link runs with.
  header.parity = m.Parity;
  header.modbus_address = txt_modbAddr->text();
  header.destination = global::DestDeviceId;
  for (size_t i = 0; i < header.texts.size(); ++i)
    header.texts[i] = global::TextTable[i];

  params::ParameterSet set;
  for (int i = 0; i < ConfigRegisterCount; ++i) {
    set.register_captions[size_t(i)] = lbl_cfg[size_t(i)]->text();
    set.register_texts[size_t(i)] = txt_data_cfg[size_t(i)]->text();
  }
  for (int i = 0; i < params::kBitCount; ++i) {
    set.bit_captions[size_t(i)] = lbl_read_cfg_bit[size_t(i)]->text();
    set.bit_values[size_t(i)] = ConfigBit(i);
  }

  QSaveFile file(name);
  if (!file.open(QIODevice::WriteOnly) || file.write(params::Write(header, set)) < 0 || !file.commit())
    MsgBox(global::InLanguage("Die Parameterdatei kann nicht geschrieben werden:\r\n%1",
                              "The parameter file cannot be written:\r\n%1")
               .arg(name),
           MsgIcon::Exclamation);
}

void frm_config::func_load_parameters()
{
  const QString name = forms::OpenFileName(this, kFilter);
  if (name.isEmpty())
    return;
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) {
    MsgBox(global::InLanguage("Die Parameterdatei kann nicht gelesen werden:\r\n%1",
                              "The parameter file cannot be read:\r\n%1")
               .arg(name),
           MsgIcon::Exclamation);
    return;
  }
  const params::ReadResult read = params::Read(file.readAll());
  if (!read.values) {
    MsgBox(read.message, MsgIcon::Exclamation);
    return;
  }
  for (int i = params::kFirstLoadedRegister; i < ConfigRegisterCount; ++i)
    if (const std::optional<QString>& text = read.values->register_texts[size_t(i)])
      txt_data_cfg[size_t(i)]->setText(*text);
  for (int i = 0; i < params::kBitCount; ++i)
    if (const std::optional<int>& value = read.values->bit_values[size_t(i)])
      SetConfigBit(i, *value);
  if (!read.message.isEmpty())
    MsgBox(read.message, MsgIcon::Exclamation);
}
