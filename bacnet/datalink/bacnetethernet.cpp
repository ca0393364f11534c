#include "bacnet/datalink/bacnetethernet.h"

#include "bacnet/datalink/netif.h"
#include "bacnet/datalink/pcap_library.h"
#include "bacnet/network/network_main.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kLlcSap = 0x82;
constexpr uint8_t kLlcControl = 0x03;  // unnumbered information
constexpr std::size_t kLlcLength = 3;
// A captured frame needs the two MAC addresses, the length field, the LLC header and one octet.
constexpr std::size_t kMinimumCapture = kEthernetHeaderLength + kLlcLength + 1;
constexpr uint8_t kLargestEthernetMaxApduCode = 3;  // 480 octets
// Frames read per pass before the send queue gets its turn again.
constexpr int kFramesPerPass = 64;
constexpr uint8_t kBroadcastMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

DriverLogFunction g_log = nullptr;

void log_text(const std::string& text)
{
  if (g_log)
    g_log(kEthernetLogLevel, text.c_str());
}

class PcapCapture : public EthernetCapture {
public:
  ~PcapCapture() override
  {
    if (handle_)
      pcap_->close(handle_);
  }

  int list_adapters(std::vector<EthernetAdapter>* adapters, std::string* error) override
  {
    if (!(pcap_ = pcap_library(error)))
      return -1;
    char message[PCAP_ERRBUF_SIZE] = "";
    pcap_if_t* all = nullptr;
    if (pcap_->findalldevs(&all, message) != 0) {
      *error = message;
      return -1;
    }
    for (pcap_if_t* d = all; d; d = d->next)
      adapters->push_back({d->name, d->description ? d->description : ""});
    pcap_->freealldevs(all);
    return 0;
  }

  int open(const std::string& adapter, std::string* error) override
  {
    if (!(pcap_ = pcap_library(error)))
      return -1;
    char message[PCAP_ERRBUF_SIZE] = "";
    handle_ = pcap_->create(adapter.c_str(), message);
    if (!handle_) {
      *error = message;
      return -1;
    }
    pcap_->set_snaplen(handle_, kEthernetSnapLength);
    // Frames for other stations are not ours to answer: the adapter's own address filter
    // stays on.
    pcap_->set_promisc(handle_, 0);
    pcap_->set_timeout(handle_, kEthernetReadTimeoutMs);
    // Each frame is handed over as it arrives, not with the next filled block: the port
    // thread wakes for every one.
    pcap_->set_immediate_mode(handle_, 1);
    if (pcap_->activate(handle_) < 0 || pcap_->setnonblock(handle_, 1, message) != 0) {
      *error = message[0] ? message : pcap_->geterr(handle_);
      pcap_->close(handle_);
      handle_ = nullptr;
      return -1;
    }
    // What we send ourselves is not read back; where the system cannot tell, the own-MAC
    // check of the receive handler skips it.
    pcap_->setdirection(handle_, PCAP_D_IN);
    return 0;
  }

  int link_type() override { return handle_ ? pcap_->datalink(handle_) : -1; }

  int set_filter(const char* expression, std::string* error) override
  {
    bpf_program program{};
    if (pcap_->compile(handle_, &program, expression, 1, PCAP_NETMASK_UNKNOWN) != 0) {
      *error = pcap_->geterr(handle_);
      return -1;
    }
    int rc = pcap_->setfilter(handle_, &program);
    if (rc != 0)
      *error = pcap_->geterr(handle_);
    pcap_->freecode(&program);
    return rc == 0 ? 0 : -1;
  }

  int selectable_fd() override { return handle_ ? pcap_->get_selectable_fd(handle_) : -1; }

  int next(std::span<const uint8_t>* frame, std::string* error) override
  {
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int rc = pcap_->next_ex(handle_, &header, &data);
    if (rc == 1) {
      *frame = std::span<const uint8_t>(data, header->caplen);
      return 1;
    }
    if (rc == 0)
      return 0;
    *error = pcap_->geterr(handle_);
    return -1;
  }

  int send(std::span<const uint8_t> frame, std::string* error) override
  {
    if (pcap_->sendpacket(handle_, frame.data(), int(frame.size())) == 0)
      return 0;
    *error = pcap_->geterr(handle_);
    return -1;
  }

private:
  const PcapLibrary* pcap_ = nullptr;  // set by the first successful list or open
  pcap_t* handle_ = nullptr;
};

std::unique_ptr<EthernetCapture> make_pcap_capture() { return std::make_unique<PcapCapture>(); }

EthernetCaptureFactory g_factory = make_pcap_capture;

std::string mac_text(const uint8_t* mac)
{
  char text[24];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X %02X %02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

void trace_frame(const char* direction, const DatalinkPort* port, const uint8_t* mac, std::span<const uint8_t> octets)
{
  if (!g_log)
    return;
  char head[32];
  std::snprintf(head, sizeof head, "Port %02d %s ", int(port->net.index), direction);
  std::string text = head + mac_text(mac) + " :- ";
  datalink_append_hex(text, octets);
  log_text(text);
}

BACnetAddress own_address(const DatalinkPort* port, const BacnetEthernetLink& link)
{
  BACnetAddress own;
  own.network = port->net.address.network;
  std::memcpy(own.mac, link.mac, sizeof link.mac);
  own.mac_len = sizeof link.mac;
  return own;
}

void close_capture(BacnetEthernetLink& link) { link.capture.reset(); }

void transmit(DatalinkPort* port, BacnetEthernetLink& link, const DatalinkQueueEntry& entry)
{
  if (entry.frame.empty() || entry.frame.size() > kEthernetMaxQueuedFrame)
    return;
  bool broadcast = entry.destination.network == kGlobalBroadcastNetwork;
  const uint8_t* destination = broadcast ? kBroadcastMac : entry.destination.mac;
  if (!link.capture) {
    datalink_send_failed(port, g_log, kEthernetLogLevel, mac_text(destination), "frame");
    return;
  }
  trace_frame("To  ", port, destination, entry.frame);
  // The adapter does not deliver our own frames to us; a broadcast is for us too.
  if (broadcast)
    bacnetethernet_log_frame(port, own_address(port, link), entry.frame, kEthernetHeaderLength - 2 + entry.frame.size());
  // Room for the whole frame first: GCC 12 with ThreadSanitizer reads the growing inserts
  // as a copy out of bounds (-Warray-bounds).
  std::vector<uint8_t> wire;
  wire.reserve(kEthernetHeaderLength - 2 + entry.frame.size());
  wire.insert(wire.end(), destination, destination + 6);
  wire.insert(wire.end(), link.mac, link.mac + 6);
  wire.insert(wire.end(), entry.frame.begin(), entry.frame.end());
  if (wire.size() < kEthernetMinimumFrame)
    wire.resize(kEthernetMinimumFrame, 0);
  std::string error;
  if (link.capture->send(wire, &error) != 0) {
    log_text("Error sending the packet: " + error);
    datalink_send_failed(port, g_log, kEthernetLogLevel, mac_text(destination), "frame");
  }
}

void transmit_queue(DatalinkPort* port, BacnetEthernetLink& link)
{
  for (;;) {
    DatalinkQueueEntry entry;
    {
      DRIVER_LOCK_SCOPE();
      if (!link.queue.get(entry))
        return;
    }
    transmit(port, link, entry);
  }
}

}  // namespace

void bacnetethernet_set_capture_factory(EthernetCaptureFactory factory)
{
  g_factory = factory ? factory : make_pcap_capture;
}

void bacnetethernet_set_log_callback(const DriverContext& context)
{
  g_log = context.options[kEthernetTraceOption] ? context.log : nullptr;
}

std::unique_ptr<DatalinkLinkData> bacnetethernet_make_link_data() { return std::make_unique<BacnetEthernetLink>(); }

BacnetEthernetLink* bacnetethernet_link(DatalinkPort* port)
{
  return port ? dynamic_cast<BacnetEthernetLink*>(port->link_data.get()) : nullptr;
}

int bacnetethernet_list_adapters(std::vector<EthernetAdapter>* adapters)
{
  std::string error;
  std::unique_ptr<EthernetCapture> capture = g_factory();
  return capture && adapters ? capture->list_adapters(adapters, &error) : -1;
}

int bacnetethernet_find_adapter(DatalinkPort* port)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  std::unique_ptr<EthernetCapture> capture = g_factory();
  if (!link || !capture)
    return -1;
  std::vector<EthernetAdapter> adapters;
  std::string error;
  if (capture->list_adapters(&adapters, &error) != 0) {
    log_text("Error in pcap_findalldevs: " + error + "\n");
    return -1;
  }
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    const EthernetAdapter& a = adapters[i];
    log_text("NIC " + std::to_string(i + 1) + ". " + a.name + " (" +
             (a.description.empty() ? "No description available" : a.description) + ")");
  }
  if (adapters.empty()) {
    log_text("No interfaces found! Make sure WinPcap is installed.\n");
    return -1;
  }
  if (link->nic < 0 || std::size_t(link->nic) >= adapters.size()) {
    log_text("Could not find NIC " + std::to_string(link->nic));
    return -1;
  }
  link->adapter = adapters[std::size_t(link->nic)].name;
  return 0;
}

int bacnetethernet_read_own_mac(DatalinkPort* port)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  return link && netif_get_mac_address(link->mac, link->adapter.c_str()) == 0 ? 0 : -1;
}

int bacnetethernet_open_adapter(DatalinkPort* port)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  if (!link)
    return -1;
  link->capture = g_factory();
  std::string error;
  if (!link->capture || link->capture->open(link->adapter, &error) != 0) {
    log_text("Unable to open the adapter.\n");
    close_capture(*link);
    return -1;
  }
  if (link->capture->link_type() != DLT_EN10MB) {
    log_text("Adapter " + link->adapter + " is no Ethernet adapter");
    close_capture(*link);
    return -1;
  }
  if (link->capture->set_filter(kEthernetFilter, &error) != 0) {
    log_text("Unable to set the frame filter: " + error);
    close_capture(*link);
    return -1;
  }
  return 0;
}

int bacnetethernet_open(DatalinkPort* port)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  if (!link)
    return -1;
  if (!port->has_connect_string) {
    datalink_set_error(port, "No connect string");
    return -1;
  }
  // A re-open starts from nothing: the old handle and the frames queued for it go.
  close_capture(*link);
  {
    DRIVER_LOCK_SCOPE();
    link->queue.clear();
  }
  link->nic = int(datalink_param_number(port, "NIC", 0));
  port->state = kPortOpened;
  {
    DRIVER_LOCK_SCOPE();
    port->net.send = bacnetethernet_send;
    port->net.queued = [](DatalinkPort* p) -> std::size_t {
      DRIVER_LOCK_SCOPE();
      BacnetEthernetLink* l = bacnetethernet_link(p);
      return l ? l->queue.count() : 0;
    };
  }
  if (bacnetethernet_find_adapter(port) != 0) {
    datalink_set_error(port, "Error Binding to Socket");
    return -1;
  }
  // The list also holds "any", loopback and devices of other link types; their place in it
  // moves with the link states, so a NIC number may come to name one of them.
  if (!netif_is_ethernet_adapter(link->adapter.c_str())) {
    log_text("Adapter " + link->adapter + " is no Ethernet adapter");
    datalink_set_error(port, "Error creating link layer");
    return -1;
  }
  if (bacnetethernet_read_own_mac(port) != 0) {
    datalink_set_error(port, "Error getting MAC Address");
    return -1;
  }
  if (bacnetethernet_open_adapter(port) != 0) {
    datalink_set_error(port, "Error Binding to Socket");
    return -1;
  }
  {
    DRIVER_LOCK_SCOPE();
    port->net.address = own_address(port, *link);
  }
  datalink_register_opened(port, kLargestEthernetMaxApduCode);
  return 0;
}

int bacnetethernet_send(DatalinkPort* port, const BACnetAddress&, const BACnetAddress& destination,
                        std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  if (!link || npdu.empty() || npdu.size() > kEthernetMaxNpdu)
    return -1;
  bool broadcast = destination.network == kGlobalBroadcastNetwork;
  // Without an Ethernet address there is nobody to send to.
  if (!broadcast && destination.mac_len != 6)
    return -1;
  DatalinkQueueEntry entry;
  entry.destination = destination;
  std::size_t length = npdu.size() + kLlcLength;
  entry.frame = {uint8_t(length >> 8), uint8_t(length), kLlcSap, kLlcSap, kLlcControl};
  entry.frame.insert(entry.frame.end(), npdu.begin(), npdu.end());
  entry.expecting_reply = expecting_reply;
  entry.priority = priority;
  bool queued;
  {
    DRIVER_LOCK_SCOPE();
    entry.source = port->net.address;
    queued = link->queue.put(std::move(entry));
  }
  if (queued)
    datalink_wake(port);
  return queued ? 0 : -1;
}

void bacnetethernet_clear_queue(DatalinkPort* port)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  if (!link)
    return;
  {
    DRIVER_LOCK_SCOPE();
    link->queue.clear();
  }
  close_capture(*link);
}

void bacnetethernet_log_frame(DatalinkPort* port, const BACnetAddress& source, std::span<const uint8_t> body,
                              std::size_t wire_length)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  if (!link)
    return;
  std::size_t length = body.size() >= 2 ? std::size_t(body[0]) << 8 | body[1] : 0;
  bool header_ok = body.size() >= 2 + kLlcLength + 1 && body[2] == kLlcSap && body[3] == kLlcSap &&
                   body[4] == kLlcControl;
  // The length field counts the LLC header and the NPDU; the adapter may only have padded a
  // short frame up to the minimum size.
  bool length_ok = header_ok && length > kLlcLength && length <= body.size() - 2 &&
                   (wire_length == kEthernetHeaderLength + length || wire_length <= kEthernetMinimumFrame);
  if (!length_ok) {
    ++link->dropped;
    return;
  }
  std::span<const uint8_t> npdu = body.subspan(2 + kLlcLength, length - kLlcLength);
  trace_frame("From", port, source.mac, npdu);
  network_receive(source, own_address(port, *link), npdu, 0, 0);
}

void bacnetethernet_handle_frame(DatalinkPort* port, std::span<const uint8_t> frame)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  if (!link)
    return;
  if (frame.size() < kMinimumCapture) {
    ++link->dropped;
    return;
  }
  if (std::memcmp(frame.data() + 6, link->mac, 6) == 0)
    return;
  // On a hub, a flooding switch or a mirror port other stations' unicasts arrive too: only
  // ours and group addresses (broadcast, multicast) are for this station.
  const bool group = (frame[0] & 0x01) != 0;
  if (!group && std::memcmp(frame.data(), link->mac, 6) != 0)
    return;
  BACnetAddress source;
  source.network = port->net.address.network;
  std::memcpy(source.mac, frame.data() + 6, 6);
  source.mac_len = 6;
  bacnetethernet_log_frame(port, source, frame.subspan(kEthernetHeaderLength - 2), frame.size());
}

void bacnetethernet_run_pass(DatalinkPort* port)
{
  BacnetEthernetLink* link = bacnetethernet_link(port);
  if (!link)
    return;
  transmit_queue(port, *link);
  if (!link->capture) {
    port->state = kPortReopen;
    return;
  }
  datalink_wait_readable(port, link->capture->selectable_fd(), kEthernetReadTimeoutMs);
  // The reads never block: after any wake-up take what is there.
  int frames = 0;
  for (; frames < kFramesPerPass; ++frames) {
    std::span<const uint8_t> frame;
    std::string error;
    int rc = link->capture->next(&frame, &error);
    if (rc == 0)
      break;
    if (rc < 0) {
      log_text("Error reading the adapter: " + error);
      close_capture(*link);
      port->state = kPortReopen;
      return;
    }
    bacnetethernet_handle_frame(port, frame);
  }
  if (frames == 0 && port->running == 0) {
    close_capture(*link);
    port->state = kPortStopped;
  }
}

uint32_t bacnetethernet_run(DatalinkPort* port)
{
  if (!bacnetethernet_link(port))
    return kPortStopped;
  return datalink_run_passes(port, bacnetethernet_run_pass,
                             [](DatalinkPort* p) { close_capture(*bacnetethernet_link(p)); });
}
