// The objects file: every local object's record image and the contents of its values in
// one binary file, so that settings written over the network survive a restart. Saving
// writes "name.tmp", copies the previous file to the backup and renames the new one over it,
// so that a save cut off anywhere leaves a complete file under one of the two names; loading
// restores the stored settings into the objects that exist (creating missing Calendars,
// Schedules, Trend Logs and Notification Classes). Stack thread only (the stack's start, the
// database's poll and the service handlers); the reader trusts no count or length of the file
// and never allocates beyond its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bacnet/foundation/driver.h"
#include "bacnet/value/value_types.h"

struct ObjectRecord;

// The option byte that gives the objects file its log output (level 20).
inline constexpr int kSerializeLogOption = 20;
inline constexpr int kSerializeLogLevel = 20;

// Start-up: the log output and a copy of the file name (none: no objects file). 0.
int serialize_Init(const DriverContext* context, const char* file_name);
// Shut-down: the file name is released.
void serialize_Exit();

// Writes the whole object table: 0 (also without a file name), or -1 when the file could not
// be written; failures are logged and leave the previous file in place.
int serialize_SaveDevice();
// The database's and the services' form of the save (any owner saves the one file).
int serialize_SaveOwner(uint32_t owner);
// Reads the file back: 0 when read to its end, without a file name, or when the file cannot
// be opened; -1 on any other failure. Prints "READ bacobj.bbu OK" or "... ERROR".
int serialize_Open();
int serialize_OpenOwner(uint32_t owner);
// The read at the stack's start, each file checked to its end before anything of it is
// restored. When the file is missing or cannot be read, the backup is read in its place. A
// file that is there but cannot be opened or loaded (the backup too, when it was tried) is
// kept under the name with ".bad" in place of ".bbu" (or appended; numbered when taken), so
// that no save writes over it; when it cannot be moved, every save of this run fails
// instead. With neither file whole, the records before the damage are restored. 0 read
// (the file or its backup) or no file at all, -1 neither read whole.
int serialize_OpenAtStart();

// The load of a file's bytes (serialize_Open without the file and the printed line).
int serialize_LoadBytes(const uint8_t* data, size_t size);
// Called with every object of the file that exists already, once the load has restored its
// stored settings into it (owner, type, instance); null for none. For tests that load many
// files into one database.
void serialize_SetRestoreHook(void (*hook)(uint32_t owner, uint32_t type, uint32_t instance));

// The backup name: the first ".bbu" replaced by ".bak", or ".bak" appended.
std::string serialize_MakeBackupName(const std::string& file_name);

// ---- Value records (serialize_values.cpp) -------------------------------------------------

// Appends the records to `out`; false for a value no record can hold (the save then fails).
bool serialize_WriteValue(std::vector<uint8_t>& out, const BACnetValue* value);
bool serialize_WriteBitString(std::vector<uint8_t>& out, const BitString* bits);

// A reading position in a file's bytes.
struct SerializeReader {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  int depth = 0;

  size_t left() const { return size - pos; }
};
// One value record into `value` (released first); 0 or non-zero. A failed read leaves the
// value releasable.
int serialize_ReadValue(SerializeReader& reader, BACnetValue* value);
int serialize_ReadBitString(SerializeReader& reader, BitString* bits);
// The contents of a Recipient (tag 30) and of an EventParameter (tag 51) without their tag,
// as the Event Enrollment's record fields are stored.
bool serialize_WriteRecipient(std::vector<uint8_t>& out, const BACnetRecipient* recipient);
bool serialize_WriteEventParameter(std::vector<uint8_t>& out, const BACnetEventParameter* parameter);
int serialize_ReadRecipient(SerializeReader& reader, BACnetRecipient* recipient);
int serialize_ReadEventParameter(SerializeReader& reader, BACnetEventParameter* parameter);
// Little-endian words.
void serialize_put_word(std::vector<uint8_t>& out, uint32_t word);
bool serialize_get_word(SerializeReader& reader, uint32_t* word);
