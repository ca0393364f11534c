#include "bacnet/services/file_services.h"

#include "bacnet/codec/codec_acks.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_types.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/service_answers.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int32_t kAppend = -1;
// Octets of an AtomicReadFile-ACK around its data at most: end of file (1), the opening tag
// (1), the start (5), a record count (5), the data's tag with a four-octet length (6) and the
// closing tag (1).
constexpr uint32_t kReadAckOverhead = 19;

// A local file, closed when it goes out of scope unless closed (and checked) before.
class LocalFile {
public:
  LocalFile() = default;
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;
  ~LocalFile()
  {
    if (file_)
      std::fclose(file_);
  }
  bool open(const std::string& path, const char* mode)
  {
    file_ = std::fopen(path.c_str(), mode);
    return file_ != nullptr;
  }
  std::FILE* get() const { return file_; }
  // The file's length in octets, or -1; the position is left at the start.
  int64_t size()
  {
    if (fseeko(file_, 0, SEEK_END) != 0)
      return -1;
    int64_t length = ftello(file_);
    return fseeko(file_, 0, SEEK_SET) == 0 ? length : -1;
  }
  bool close()
  {
    std::FILE* f = file_;
    file_ = nullptr;
    return f && std::fclose(f) == 0;
  }

private:
  std::FILE* file_ = nullptr;
};

struct FileObject {
  uint32_t refusal = 0;  // the error code when the object cannot be used (class object)
  std::string path;
  bool read_only = false;
};

// The File object a request names, and its local path.
FileObject find_file(int32_t origin, uint32_t owner, const BACnetObjectId& file)
{
  FileObject found;
  if (file.type != OBJECT_FILE) {
    found.refusal = kErrorUnsupportedObjectType;
    return found;
  }
  ObjectRecord* record = object_Find(owner, file.type, file.instance);
  if (!record) {
    found.refusal = kErrorNoObjectsOfSpecifiedType;
    return found;
  }
  OwnedValue name;
  if (object_GetObjectProperty(origin, owner, file.type, file.instance, PROP_FILE_NAME, -1, name.get()) == 0 &&
      name->tag == TAG_CHARACTER_STRING && name->payload.text && *name->payload.text)
    found.path = name->payload.text;
  else
    found.refusal = kErrorOther;
  const uint8_t* read_only = object_boolean(record, PROP_READ_ONLY);
  found.read_only = read_only && *read_only;
  return found;
}

int64_t size_of(const std::string& path)
{
  LocalFile file;
  return file.open(path, "rb") ? file.size() : 0;
}

int refuse_read(ServiceAnswer* answer, uint32_t code)
{
  return services_answer_error(answer, SERVICE_ATOMIC_READ_FILE, kErrorClassObject, code);
}

int refuse_write(ServiceAnswer* answer, uint32_t error_class, uint32_t code)
{
  return services_answer_error(answer, SERVICE_ATOMIC_WRITE_FILE, error_class, code);
}

// The position a write used, or the class and code of its refusal.
struct WriteOutcome {
  bool ok = false;
  uint32_t error_class = kErrorClassObject;
  uint32_t code = kErrorOther;
  int32_t position = 0;
};

// Writes the data from `start`: 0 replaces the contents, -1 appends, a start up to the file's
// length writes from there on (and past the end when the data runs longer).
WriteOutcome write_file(const std::string& path, int32_t start, const std::vector<uint8_t>& data)
{
  WriteOutcome out;
  int64_t length = size_of(path);
  LocalFile file;
  if (start == 0) {
    if (!file.open(path, "wb"))
      return out;
  } else if (start == kAppend) {
    if (!file.open(path, "ab"))
      return out;
    start = int32_t(std::min<int64_t>(length, INT32_MAX));
  } else if (start > 0 && start <= length) {
    if (!file.open(path, "r+b") || fseeko(file.get(), start, SEEK_SET) != 0)
      return out;
  } else {
    out.error_class = kErrorClassServices;
    out.code = kErrorInvalidFileStartPosition;
    return out;
  }
  bool written = data.empty() || std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
  written = std::fflush(file.get()) == 0 && written;
  if (!file.close() || !written)
    return out;
  out.ok = true;
  out.position = start;
  return out;
}

}  // namespace

uint32_t services_read_file_room(const ServiceRequest& request)
{
  uint32_t segment = server_tsm_segment_size(request.max_segments_apdu);
  uint32_t total = request.segmented_response_accepted
                       ? segment * server_tsm_accepted_segments(request.max_segments_apdu)
                       : segment - 1;  // an unsegmented answer stays below one segment
  return total > kReadAckOverhead ? total - kReadAckOverhead : 0;
}

int services_atomic_read_file(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                              const BACnetAddress&)
{
  AtomicReadFileRequest read;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_atomic_read_file_request(&view, &read), view))
    return refuse_read(answer, kErrorUnspecified);
  FileObject object = find_file(services_access_origin(request), services_request_owner(local), read.file);
  if (object.refusal != 0)
    return refuse_read(answer, object.refusal);
  LocalFile file;
  int64_t length = -1;
  if (!file.open(object.path, "rb") || (length = file.size()) < 0 || fseeko(file.get(), read.start, SEEK_SET) != 0)
    return refuse_read(answer, kErrorOther);

  // Never more than the answer can carry nor than the file still holds.
  int64_t left = std::max<int64_t>(0, length - read.start);
  uint32_t count = uint32_t(std::min<int64_t>({int64_t(read.count), int64_t(services_read_file_room(request)), left}));
  AtomicReadFileAck ack;
  try {
    ack.data.resize(count);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  std::size_t got = count ? std::fread(ack.data.data(), 1, count, file.get()) : 0;
  if (std::ferror(file.get()))
    return refuse_read(answer, read.access == FILE_ACCESS_STREAM ? kErrorMissingRequiredParameter : kErrorOther);
  ack.data.resize(got);
  ack.access = read.access;
  ack.start = read.start;
  ack.record_count = read.access == FILE_ACCESS_RECORD && got > 0 ? 1 : 0;
  ack.end_of_file = read.start + int64_t(got) >= length;

  pdu_buffer encoded{};
  if (pdu_encode_atomic_read_file_ack(&encoded, &ack) != 0) {
    pdu_buffer_free(&encoded);
    return -1;
  }
  return services_answer_encoded(answer, &encoded, SERVICE_ATOMIC_READ_FILE);
}

int services_atomic_write_file(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer, bool,
                               const BACnetAddress&)
{
  AtomicWriteFileRequest write;
  pdu_buffer view = services_request_view(request);
  if (!services_decoded(pdu_decode_atomic_write_file_request(&view, &write), view))
    return refuse_write(answer, kErrorClassObject, kErrorUnspecified);
  FileObject object = find_file(services_access_origin(request), services_request_owner(local), write.file);
  if (object.refusal != 0)
    return refuse_write(answer, kErrorClassObject, object.refusal);
  if (object.read_only)
    return refuse_write(answer, kErrorClassServices, kErrorFileAccessDenied);
  WriteOutcome outcome = write_file(object.path, write.start, write.data);
  if (!outcome.ok)
    return refuse_write(answer, outcome.error_class, outcome.code);

  AtomicWriteFileAck ack{write.access, outcome.position};
  pdu_buffer encoded{};
  if (pdu_encode_atomic_write_file_ack(&encoded, &ack) != 0) {
    pdu_buffer_free(&encoded);
    return -1;
  }
  return services_answer_encoded(answer, &encoded, SERVICE_ATOMIC_WRITE_FILE);
}
