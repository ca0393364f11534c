// The object database as it stood once, and the way back to it for fuzz targets that would
// otherwise build a database for every input.
//
// take() keeps a deep copy of every record (every field of the type's table: properties,
// hidden words, the behaviour engine's state, lists of subscriptions and recipients) and what
// the object layer keeps beside its records (change flag, error class, Loop switch,
// segmentation, outcomes of local writes), and refills the table: the table kept is the one
// that inserting the records anew, in one fixed order, into an empty table lays out (slots,
// walk order, no marks that removals leave). restore() refills the table where objects were
// created or deleted since (those created go, those deleted come back as copies of what was
// taken), writes back every field that differs from its copy and the state beside, and then
// checks that the layout and every record equal what was taken; where they do not (a copy came
// out different), it answers false and the caller builds the database anew. After a true
// answer the database cannot be told from the one taken: every field was compared octet for
// octet (texts, bit strings and lists to their last element), and the table lays out and
// walks its entries as it did.
//
// Most inputs leave most of the database as it was, and comparing it field by field cost more
// than the input. So restore() first looks at the memory the records reach (their blocks and
// every block their fields point to, kept octet for octet when the database was last shown
// equal): while the table holds the same records and every octet of a record's memory is as it
// was, nothing of it can differ, and only the records whose memory changed have their fields
// compared and written back.
//
// Not compared: the spare room of a list's element array, which decides only when the array
// grows. The object layer's request queues and device set-up queue are fed only by the object
// API, which the fuzz targets do not start.
//
// Stack thread only, like the database. One snapshot serves a whole run and is never destroyed:
// its copies would be released after the record layouts' own statics at exit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bacnet/objects/object_table.h"
#include "bacnet/objects/object_types.h"

struct ObjectRecord;

// A stored field of a record: its kind, where it sits from the record's start, its size.
struct SnapshotField {
  FieldKind kind;
  std::ptrdiff_t offset;
  std::size_t size;
};

// Blocks of memory and their octets as they were. Each block comes after the block that points
// to it, so a pointer or a length that changed is found before the memory behind it is read.
class SnapshotImage {
public:
  void clear();
  void add(const void* at, std::size_t size);
  bool unchanged() const;

private:
  struct Block {
    const void* at;
    std::size_t size;
    std::size_t offset;  // in octets_
  };
  std::vector<Block> blocks_;
  std::vector<unsigned char> octets_;
};

class DatabaseSnapshot {
public:
  DatabaseSnapshot() = default;
  DatabaseSnapshot(const DatabaseSnapshot&) = delete;
  DatabaseSnapshot& operator=(const DatabaseSnapshot&) = delete;

  // Takes the database as it stands.
  void take();
  // Brings the database back to what was taken; false when that cannot be shown.
  bool restore();

private:
  struct Entry {
    uint32_t owner;
    std::string key;
    ObjectRecord* copy;  // owned
    std::vector<SnapshotField> fields;
    ObjectRecord* live = nullptr;  // the record in the table when `image` was taken
    SnapshotImage image;           // the memory it reaches, octet for octet
  };
  struct State {
    bool changed;
    uint32_t error_class;
    uint8_t loop_switch;
    uint32_t segmentation;
  };

  bool layout_matches();
  bool refill_table();
  void release();
  void take_image();
  void take_image(Entry& e, ObjectRecord* live);
  bool same_records();

  std::vector<Entry> entries_;  // in walk order
  // Where in entries_ each record stands in the order a refill inserts them.
  std::vector<std::size_t> insertion_order_;
  ObjectTableLayout layout_;
  ObjectTableLayout now_;
  State state_{};
};
