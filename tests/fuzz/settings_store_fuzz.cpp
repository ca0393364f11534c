// Arbitrary settings files through the store's reader: no crash, and what the store writes
// reads back to the same file.
#include "gui/core/settings_store.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  SettingsStore store = SettingsStore::Parse(input);
  for (const StoredKey& key : store.Keys()) {
    store.SubKeys(key.path);
    for (const StoredValue& v : key.values)
      if (!store.FindValue(key.path, v.name))
        __builtin_trap();
  }
  const QByteArray written = store.ToText();
  if (SettingsStore::Parse(written).ToText() != written)
    __builtin_trap();
  return 0;
}
