#include "backend/stack_client.h"

#include "backend/stack_host.h"
#include "backend/stack_identity.h"
#include "bacnet/client/client_call.h"
#include "bacnet/codec/codec_requests.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/value/value.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <thread>

namespace {

constexpr const char* kOwnModel = "ZOR17_BACnet";

// The client whose Who-Is collection is running; the I-Am hook appends to it.
std::atomic<BACnetStackClient*> g_collecting_client{nullptr};
StackConfig g_config;

bool equals_ignoring_case(const std::string& a, const std::string& b)
{
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// A line break would break the scan list's one line per device, and a ";" its three fields
// per line.
std::string one_field(std::string text)
{
  for (char separator : {'\r', '\n', ';'})
    std::replace(text.begin(), text.end(), separator, ' ');
  return text;
}

// Reads `count` octets from the start of the input, growing the buffer only as octets
// arrive; false when the input holds fewer.
bool read_source(FILE* input, int64_t count, std::vector<uint8_t>* data)
{
  constexpr size_t kChunk = 64 * 1024;
  while (int64_t(data->size()) < count) {
    size_t want = size_t(std::min<int64_t>(count - int64_t(data->size()), kChunk));
    size_t have = data->size();
    data->resize(have + want);
    size_t got = std::fread(data->data() + have, 1, want, input);
    data->resize(have + got);
    if (got < want)
      return false;
  }
  return true;
}

}  // namespace

int stack_client_error_result(int32_t status, uint32_t error_code)
{
  bool carries_code = (status >= 0 && status <= 20) || status == 24 || status == 26;
  return carries_code && error_code != 0 ? int(error_code) : -1;
}

BACnetStackClient::BACnetStackClient()
    : sleep([](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); })
{
}

BACnetStackClient::~BACnetStackClient()
{
  if (g_collecting_client == this)
    g_collecting_client = nullptr;
}

int BACnetStackClient::OnIAm(const void* request)
{
  BACnetStackClient* client = g_collecting_client;
  if (!client || !request)
    return 0;
  const auto* iam = static_cast<const IAmRequest*>(request);
  std::lock_guard<std::mutex> held(client->iams_mutex_);
  if (iam->device.type == OBJECT_DEVICE && int64_t(iam->device.instance) == client->local_device_) {
    ++client->own_i_ams_;
    client->own_i_am_heard_.notify_all();
  }
  if (client->collecting_)
    client->iams_.push_back({iam->device.type, iam->device.instance, iam->max_apdu, iam->segmentation, iam->vendor_id});
  return 0;
}

bool BACnetStackClient::CollectIAms(int32_t low, int32_t high, std::chrono::milliseconds wait, int own_i_ams)
{
  {
    std::lock_guard<std::mutex> held(iams_mutex_);
    iams_.clear();
    collecting_ = true;
  }
  g_collecting_client = this;
  WhoIsRange range{low, high};
  if (BACnet_Driver_Request(&range) != 0) {
    std::lock_guard<std::mutex> held(iams_mutex_);
    collecting_ = false;
    return false;  // nobody was asked: nothing to wait for
  }
  if (own_i_ams > 0) {
    std::unique_lock<std::mutex> held(iams_mutex_);
    own_i_am_heard_.wait_for(held, wait, [&] { return own_i_ams_ >= own_i_ams; });
  } else {
    sleep(wait);
  }
  std::lock_guard<std::mutex> held(iams_mutex_);
  collecting_ = false;
  return true;
}

std::vector<BACnetStackClient::IAmRecord> BACnetStackClient::TakeIAms()
{
  std::lock_guard<std::mutex> held(iams_mutex_);
  return iams_;
}

int BACnetStackClient::Start(int32_t local_device, const std::string& ip, int udp_port, int network)
{
  g_config = StackConfig{};
  g_config.device_instance = local_device;
  g_config.identity.application_software_version = stack_identity::kSoftwareVersion;
  g_config.identity.firmware_revision = stack_identity::kSoftwareVersion;
  g_config.identity.model_name = stack_identity::kModelName;
  g_config.identity.object_name = stack_identity::kObjectName;
  g_config.identity.vendor_name = stack_identity::kVendorName;
  g_config.identity.description = stack_identity::kDescription;
  g_config.identity.location = stack_identity::kLocation;
  g_config.identity.vendor_identifier = stack_identity::kVendorIdentifier;
  g_config.identity.apdu_retries = 3;
  g_config.options[15] = 255;
  g_config.service_hooks.slots[0] = OnIAm;
  std::snprintf(g_config.ports.records[0].connect, sizeof g_config.ports.records[0].connect,
                "TYPE=BACNETIP;NETWORK=%d;IPADDRESS=%s;UDPPORT=%d;", network, ip.c_str(), udp_port);

  {
    std::lock_guard<std::mutex> held(iams_mutex_);
    local_device_ = local_device;
    own_i_ams_ = 0;
  }
  // Current from the start, so that the start-up I-Am coming back is counted too.
  g_collecting_client = this;
  int rc = BACnet_Driver_Start(&g_config);
  if (rc != 0) {
    BACnet_Driver_Stop();
    return rc;
  }
  started_ = true;
  // Announce ourselves to ourselves: binds the local device like any other. The start-up
  // I-Am and the one answering this Who-Is both come back; the second ends the wait, so
  // every request of the job leaves after both.
  CollectIAms(local_device, local_device, std::chrono::milliseconds(5), 2);
  std::lock_guard<std::mutex> held(iams_mutex_);
  iams_.clear();
  return 0;
}

int BACnetStackClient::Stop()
{
  g_collecting_client = nullptr;
  started_ = false;
  return BACnet_Driver_Stop();
}

std::string BACnetStackClient::ReadString(uint32_t object_type, uint32_t instance, uint32_t property, bool* answered)
{
  client_calls::ReadPropertyRequest call;
  call.device_instance = int32_t(instance);
  call.request.object = {object_type, instance};
  call.request.property = property;
  call.request.array_index = -1;
  call.Call();
  if (answered)
    *answered = !(call.error.status != -1 && call.error.error_class == kErrorClassServices &&
                  call.error.error_code == kErrorOther);
  if (call.error.status != -1 || call.answer.value.tag != TAG_CHARACTER_STRING)
    return {};
  return call.answer.value.payload.text ? call.answer.value.payload.text : "";
}

bool BACnetStackClient::IsOwnModel(uint32_t device)
{
  return equals_ignoring_case(ReadString(OBJECT_DEVICE, device, PROP_MODEL_NAME), kOwnModel);
}

int BACnetStackClient::ScanDevices(uint32_t low, uint32_t high, int wait_seconds, FILE* result)
{
  if (!CollectIAms(int32_t(low), int32_t(high), std::chrono::milliseconds(int64_t(std::max(0, wait_seconds)) * 1000)))
    return -1;
  if (!result)
    return 1;
  std::fputs("Device ID; Device Name; SoftwareVersion\n", result);
  std::set<uint32_t> written;
  for (const IAmRecord& iam : TakeIAms()) {
    // Devices answer Who-Is ranges they are not in, too: only the range asked for is listed.
    if (iam.instance < low || iam.instance > high || !written.insert(iam.instance).second)
      continue;
    bool answered = false;
    std::string name = one_field(ReadString(iam.object_type, iam.instance, PROP_OBJECT_NAME, &answered));
    // A device that let its name read run out would let the second read run out as well.
    std::string version = answered
                              ? one_field(ReadString(iam.object_type, iam.instance, PROP_APPLICATION_SOFTWARE_VERSION))
                              : std::string();
    std::fprintf(result, "%u;%s;%s\n", iam.instance, name.c_str(), version.c_str());
  }
  std::fflush(result);
  return 0;
}

int BACnetStackClient::ReadFileObject(uint32_t device, uint32_t file_instance, int32_t start, int32_t end,
                                      FILE* output, bool check_model)
{
  bool own = IsOwnModel(device);
  if (!own && check_model)
    return -3;
  // In 64 bits: two 32-bit bounds give a count that always fits the request's unsigned one.
  int64_t count = int64_t(end) - int64_t(start);
  if (count < 0)
    return -1;
  client_calls::AtomicReadFileRequest call;
  call.device_instance = int32_t(device);
  call.request.file = {OBJECT_FILE, file_instance};
  call.request.start = start;
  call.request.count = uint32_t(count);
  call.Call();
  if (call.error.status != -1)
    return stack_client_error_result(call.error.status, call.error.error_code);
  // What the answer carries is kept, however much was asked for.
  const std::vector<uint8_t>& data = call.answer.data;
  if (!data.empty() && std::fwrite(data.data(), 1, data.size(), output) != data.size())
    return -1;
  if (std::fflush(output) != 0)
    return -1;
  return int64_t(data.size()) == count ? 0 : -2;
}

int BACnetStackClient::WriteFileObject(uint32_t device, uint32_t file_instance, int32_t start, int32_t end,
                                       FILE* input, bool check_model)
{
  bool own = IsOwnModel(device);
  if (!own && check_model)
    return -3;
  int64_t count = int64_t(end) - int64_t(start);
  std::vector<uint8_t> data;
  // A source shorter than the range would send octets that are not in the file: refuse.
  if (count < 0 || !read_source(input, count, &data))
    return -1;
  client_calls::AtomicWriteFileRequest call;
  call.device_instance = int32_t(device);
  call.request.file = {OBJECT_FILE, file_instance};
  call.request.start = start;
  call.request.data = std::move(data);
  call.Call();
  if (call.error.status != -1)
    return stack_client_error_result(call.error.status, call.error.error_code);
  return 0;
}
