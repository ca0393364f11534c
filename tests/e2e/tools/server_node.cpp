// The local device as other BACnet devices meet it, for the end-to-end tests: the whole stack,
// started, run and stopped through the stack host's own tables, with its object database (the
// Device object, one object of each creatable and commandable kind, File objects over local
// files), its request poll and once-a-second behaviour, and every confirmed handler installed. Commands come on standard input, events go
// out as JSON lines. Only ever started inside the tests' network namespaces; it refuses to start
// where it sees any interface but loopback and the lab's veths.
//
//   server_node [--device N] [--file INSTANCE=PATH]... [--read-only INSTANCE]... [--objects PATH] CONNECT...
//   (--objects: the objects file, saved and loaded as the stack host does)
//   state                      the communication state DeviceCommunicationControl left
//   objects                    the object list of the device, as type:instance pairs
//   read <type> <instance> <property>   a property through the network door (CHARACTER STRING
//                                       and UNSIGNED values are printed)
//   notification-class <instance> <network> <ip> <process> <confirmed> [<count>]
//                              a Notification Class (priorities 101, 102, 103, every
//                              acknowledgment required) whose recipients (one unless counted,
//                              processes from <process> up) are that B/IP address
//   quit
#include "backend/stack_modules.h"
#include "bacnet/client/client_request.h"
#include "bacnet/codec/codec_device_services.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/objects/object_lists.h"
#include "bacnet/objects/object_record.h"
#include "bacnet/objects/object_table.h"
#include "bacnet/objects/property_access.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/services/unconfirmed_services.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "node_io.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kDevice = 8;
constexpr uint32_t kFile = 10;
constexpr uint32_t kFileName = 555;
constexpr uint32_t kReadOnly = 99;

uint32_t own_instance = 4711;
std::vector<int> reinitialized;
std::vector<std::pair<uint32_t, std::string>> files;
std::vector<uint32_t> read_only;

int on_reinitialize(const void* request)
{
  emit("{\"event\":\"reinitialize\",\"state\":" +
       std::to_string(static_cast<const ReinitializeDeviceRequest*>(request)->state) + "}");
  return 0;
}

// The objects a test asks for, beside the Device object; made during the start, before the
// objects file is read into them.
void add_objects()
{
  for (uint32_t type : {2u, 5u, 19u})
    object_CreateObject(own_instance, type, 1);
  for (const auto& [instance, path] : files) {
    object_CreateObject(own_instance, kFile, instance);
    object_SetString(own_instance, kFile, instance, kFileName, path.c_str());
  }
  for (uint32_t instance : read_only)
    if (ObjectRecord* record = object_Find(own_instance, kFile, instance))
      *object_boolean(record, kReadOnly) = 1;
}

void emit_objects()
{
  OwnedValue list;
  objtable_object_list(own_instance, list.get());
  std::string out;
  if (const BACnetValueArray* a = value_array(list.get()))
    for (uint32_t i = 0; i < a->used; ++i) {
      const BACnetObjectId& id = a->elements[i].payload.object_id;
      out += (out.empty() ? "\"" : ",\"") + std::to_string(id.type) + ":" + std::to_string(id.instance) + "\"";
    }
  emit("{\"event\":\"objects\",\"list\":[" + out + "]}");
}

void emit_read(uint32_t type, uint32_t instance, uint32_t property)
{
  OwnedValue v;
  int rc = object_ReadObjectProperty(-1, own_instance, type, instance, property, -1, v.get());
  std::string value = "null";
  if (v->tag == TAG_CHARACTER_STRING)
    value = quoted(v->payload.text ? v->payload.text : "");
  else if (v->tag == TAG_UNSIGNED)
    value = std::to_string(v->payload.unsigned_value);
  emit("{\"event\":\"read\",\"result\":" + std::to_string(rc) + ",\"value\":" + value + "}");
}

void make_notification_class(uint32_t instance, uint32_t network, const std::string& ip, uint32_t process,
                             bool confirmed, uint32_t count)
{
  ObjectRecord* nc = object_CreateObject(own_instance, OBJECT_NOTIFICATION_CLASS, instance);
  uint32_t result = nc ? 0 : 1;
  if (nc) {
    const BACnetValueArray* priorities = value_array(object_value(nc, PROP_PRIORITY));
    for (uint32_t i = 0; priorities && i < 3; ++i)
      priorities->elements[i].payload.unsigned_value = 101 + i;
    const uint8_t all[7] = {1, 1, 1, 1, 1, 1, 1};
    bitstring_set(object_bits(nc, PROP_ACK_REQUIRED), all, 3);
    OwnedValue recipient;
    value_init(recipient.get(), TAG_DESTINATION);
    auto* d = value_record<BACnetDestination>(recipient.get());
    bitstring_set(&d->valid_days, all, 7);
    bitstring_set(&d->transitions, all, 3);
    d->from = d->to = {255, 255, 255, 255};
    d->recipient.choice = 1;
    d->recipient.address.network = network;
    uint8_t mac[6] = {0, 0, 0, 0, 0xBA, 0xC0};
    inet_pton(AF_INET, ip.c_str(), mac);
    octetstring_set(&d->recipient.address.mac, mac, 6);
    d->issue_confirmed = confirmed ? 1 : 0;
    for (uint32_t i = 0; i < count && result == 0; ++i) {
      d->process_id = process + i;
      result = uint32_t(object_AddListElements(own_instance, OBJECT_NOTIFICATION_CLASS, instance, PROP_RECIPIENT_LIST,
                                               -1, 0, recipient.get()));
    }
  }
  emit("{\"event\":\"notification-class\",\"result\":" + std::to_string(result) + "}");
}

bool run_command(const std::string& line)
{
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (verb == "quit")
    return false;
  if (verb == "state") {
    emit("{\"event\":\"state\",\"communication\":" + std::to_string(client_get_communication_state()) + "}");
  } else if (verb == "objects") {
    emit_objects();
  } else if (verb == "notification-class") {
    uint32_t instance = 0, network = 0, process = 0, confirmed = 0, count = 1;
    std::string ip;
    in >> instance >> network >> ip >> process >> confirmed;
    if (!(in >> count))
      count = 1;
    make_notification_class(instance, network, ip, process, confirmed != 0, count);
  } else if (verb == "read") {
    uint32_t type = 0, instance = 0, property = 0;
    in >> type >> instance >> property;
    emit_read(type, instance, property);
  } else if (!verb.empty()) {
    emit("{\"event\":\"error\",\"text\":\"unknown command\"}");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv)
{
  if (outside_lab())
    return 2;
  StackConfig config;
  config.identity.object_name = "ZOR17 Server";
  config.identity.model_name = "ZOR17_BACnet";
  config.identity.vendor_name = "Ambrel";
  config.identity.application_software_version = "1.0.0.2";
  config.identity.firmware_revision = "1.0";
  config.identity.vendor_identifier = kMakerVendorIdentifier;
  config.identity.apdu_retries = 3;  // the client layer's
  config.application_segment_timeout = 3000;
  config.application_apdu_timeout = 3000;
  config.application_retries = 1;
  config.ports.max_apdu_code = 5;
  int records = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--device" && i + 1 < argc) {
      own_instance = uint32_t(std::atoi(argv[++i]));
    } else if (arg == "--file" && i + 1 < argc) {
      std::string spec = argv[++i];
      std::size_t eq = spec.find('=');
      if (eq != std::string::npos)
        files.emplace_back(uint32_t(std::atoi(spec.substr(0, eq).c_str())), spec.substr(eq + 1));
    } else if (arg == "--objects" && i + 1 < argc) {
      config.identity.objects_file = argv[++i];
    } else if (arg == "--read-only" && i + 1 < argc) {
      read_only.push_back(uint32_t(std::atoi(argv[++i])));
    } else if (records < kConnectStringRecords) {
      std::snprintf(config.ports.records[records++].connect, kConnectStringLength, "%s", argv[i]);
    }
  }

  DriverContext context;
  uint8_t options[24] = {};
  driver_context_init(context, nullptr, options);

  // The whole stack as the stack host starts it, with Who-Has answered from the object table
  // and every clock left alone.
  ServicesSeams seams;
  seams.who_has = services_object_table_who_has;
  config.device_instance = int32_t(own_instance);
  config.service_hooks.slots[14] = on_reinitialize;
  int loaded = stack_modules_start(config, &context, kWholeStack, &seams, add_objects);
  for (int i = 0; i < records; ++i)
    if (config.ports.records[i].status == 0xFF)
      emit("{\"event\":\"error\",\"record\":" + std::to_string(i) +
           ",\"text\":" + quoted(config.ports.records[i].error) + "}");
  emit("{\"event\":\"ready\",\"device\":" + std::to_string(own_instance) + ",\"loaded\":" + std::to_string(loaded) +
       "}");

  uint32_t noted_second = os_wall_seconds();
  run_commands(run_command, [&noted_second] { stack_modules_pass(kWholeStack, noted_second); });

  stack_modules_stop(kWholeStack);
  driver_context_free(context);
  emit("{\"event\":\"stopped\"}");
  return 0;
}
