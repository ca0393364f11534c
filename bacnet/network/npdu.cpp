#include "bacnet/network/npdu.h"

#include <cstring>

namespace {

constexpr uint8_t kFirstVendorMessage = 0x80;
constexpr int kMalformed = 8;

// Reads forward through the NPDU; every read checks the remaining length first.
class Reader {
public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  bool u8(uint8_t* v)
  {
    if (pos_ + 1 > data_.size())
      return false;
    *v = data_[pos_++];
    return true;
  }
  bool u16(uint32_t* v)
  {
    if (pos_ + 2 > data_.size())
      return false;
    *v = uint32_t(data_[pos_]) << 8 | data_[pos_ + 1];
    pos_ += 2;
    return true;
  }
  bool octets(uint8_t* out, std::size_t n)
  {
    if (pos_ + n > data_.size())
      return false;
    if (n)
      std::memcpy(out, data_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  std::size_t pos() const { return pos_; }

private:
  std::span<const uint8_t> data_;
  std::size_t pos_ = 0;
};

bool read_address(Reader& r, uint32_t* net, uint8_t* len, uint8_t* mac)
{
  if (!r.u16(net) || !r.u8(len) || *len > 6)
    return false;
  return r.octets(mac, *len);
}

void put16(std::vector<uint8_t>& out, uint32_t v)
{
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

}  // namespace

int npdu_decode(std::span<const uint8_t> npdu, NpduHeader* header)
{
  if (!header)
    return kMalformed;
  NpduHeader h;
  Reader r(npdu);
  uint8_t version = 0;
  uint8_t control = 0;
  if (npdu.size() < 2 || !r.u8(&version) || !r.u8(&control))
    return kMalformed;
  if (version != kNpduVersion || (control & kNpduReservedBits))
    return kMalformed;
  h.network_message = (control & kNpduNetworkMessage) ? 1 : 0;
  h.expecting_reply = (control & kNpduExpectingReply) ? 1 : 0;
  h.priority = control & 0x03;
  if (control & kNpduDnetPresent) {
    h.dnet_present = 1;
    if (!read_address(r, &h.dnet, &h.dlen, h.dadr))
      return kMalformed;
  }
  if (control & kNpduSnetPresent) {
    h.snet_present = 1;
    // A source is one node on one network: never a broadcast.
    if (!read_address(r, &h.snet, &h.slen, h.sadr) || h.snet == 0xFFFF || h.slen == 0)
      return kMalformed;
  }
  if (h.dnet_present && !r.u8(&h.hop_count))
    return kMalformed;
  if (h.network_message) {
    if (!r.u8(&h.message_type))
      return kMalformed;
    if (h.message_type >= kFirstVendorMessage) {
      uint32_t vendor = 0;
      if (!r.u16(&vendor))
        return kMalformed;
      h.vendor_id = uint16_t(vendor);
    }
  }
  h.apdu = npdu.data() + r.pos();
  h.apdu_length = uint32_t(npdu.size() - r.pos());
  *header = h;
  return 0;
}

int npdu_encode(const NpduHeader& h, std::span<const uint8_t> data, std::vector<uint8_t>* out)
{
  if (!out || h.dlen > 6 || h.slen > 6)
    return -1;
  // Written straight behind what `out` holds; taken back again when the NPDU is too long.
  std::vector<uint8_t>& npdu = *out;
  const std::size_t start = npdu.size();
  npdu.reserve(start + 24 + data.size());
  uint8_t control = h.priority & 0x03;
  if (h.network_message)
    control |= kNpduNetworkMessage;
  if (h.dnet_present)
    control |= kNpduDnetPresent;
  if (h.snet_present)
    control |= kNpduSnetPresent;
  if (h.expecting_reply)
    control |= kNpduExpectingReply;
  npdu.push_back(kNpduVersion);
  npdu.push_back(control);
  if (h.dnet_present) {
    put16(npdu, h.dnet);
    npdu.push_back(h.dlen);
    npdu.insert(npdu.end(), h.dadr, h.dadr + h.dlen);
  }
  if (h.snet_present) {
    put16(npdu, h.snet);
    npdu.push_back(h.slen);
    npdu.insert(npdu.end(), h.sadr, h.sadr + h.slen);
  }
  if (h.dnet_present)
    npdu.push_back(h.hop_count);
  if (h.network_message) {
    npdu.push_back(h.message_type);
    if (h.message_type >= kFirstVendorMessage)
      put16(npdu, h.vendor_id);
  }
  if (npdu.size() - start + data.size() > kNpduMaxLength) {
    npdu.resize(start);
    return -1;
  }
  npdu.insert(npdu.end(), data.begin(), data.end());
  return 0;
}
