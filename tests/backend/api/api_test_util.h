// Requests as a client program writes them, messages as it reads them, and a loopback TCP
// client for the server tests. Written from the frame layout, not from the server's codec.
#pragma once

#include "backend/api/api_client.h"
#include "bacnet/foundation/driver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace api_test {

// A payload built field by field, big-endian.
struct Bytes {
  std::vector<uint8_t> data;

  Bytes& u8(uint8_t v)
  {
    data.push_back(v);
    return *this;
  }
  Bytes& u32(uint32_t v)
  {
    for (int shift = 24; shift >= 0; shift -= 8)
      data.push_back(uint8_t(v >> shift));
    return *this;
  }
  Bytes& raw(const std::vector<uint8_t>& v)
  {
    data.insert(data.end(), v.begin(), v.end());
    return *this;
  }
  Bytes& blob(const std::vector<uint8_t>& v) { return u32(uint32_t(v.size())).raw(v); }
  Bytes& str(const std::string& s) { return blob(std::vector<uint8_t>(s.begin(), s.end())); }
};

inline std::vector<uint8_t> request(uint32_t id, uint32_t code, const Bytes& payload = {})
{
  return Bytes{}.u8(0).u8(0).u8(0).u32(id).u32(code).raw(payload.data).data;
}

inline uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct Message {
  uint8_t flag = 0;
  uint32_t id = 0;
  uint32_t code = 0;
  std::vector<uint8_t> payload;
};

inline Message parse(const std::vector<uint8_t>& bytes)
{
  Message m;
  if (bytes.size() < 11)
    return m;
  m.flag = bytes[1];
  m.id = be32(&bytes[3]);
  m.code = be32(&bytes[7]);
  m.payload.assign(bytes.begin() + 11, bytes.end());
  return m;
}

// Takes every queued message of a record, oldest first.
inline std::vector<Message> drain(ApiClient& client)
{
  std::vector<Message> out;
  DRIVER_LOCK_SCOPE();
  pdu_buffer b;
  while (api_client_queue_pop(&client, &b) == 0) {
    out.push_back(parse(std::vector<uint8_t>(b.data, b.data + b.pos)));
    pdu_buffer_free(&b);
  }
  return out;
}

inline std::string frame(const std::vector<uint8_t>& payload)
{
  char header[9];
  std::snprintf(header, sizeof header, "%08zu", payload.size());
  return std::string(header) + std::string(payload.begin(), payload.end());
}

// A client on 127.0.0.1 whose every read gives up after three seconds.
class TcpClient {
public:
  explicit TcpClient(uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
  {
    timeval wait{3, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
      hang_up();
  }
  ~TcpClient() { hang_up(); }
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  void hang_up()
  {
    if (fd_ >= 0)
      close(fd_);
    fd_ = -1;
  }
  bool send_raw(const std::string& bytes)
  {
    return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
  }
  bool send(const std::vector<uint8_t>& payload) { return send_raw(frame(payload)); }

  // The next frame's payload; nothing when none came in time or the server closed.
  std::optional<std::vector<uint8_t>> read_frame()
  {
    std::string header, body;
    if (!read_exactly(8, &header) || !read_exactly(std::stoul(header), &body))
      return std::nullopt;
    return std::vector<uint8_t>(body.begin(), body.end());
  }
  std::optional<Message> read_message()
  {
    auto payload = read_frame();
    return payload ? std::optional(parse(*payload)) : std::nullopt;
  }
  // True once the server has closed the connection (end of stream or reset).
  bool closed_by_server()
  {
    char c;
    ssize_t n;
    while ((n = recv(fd_, &c, 1, 0)) > 0) {
    }
    return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
  }

private:
  bool read_exactly(std::size_t n, std::string* out)
  {
    char buffer[4096];
    while (out->size() < n) {
      ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, n - out->size()), 0);
      if (got <= 0)
        return false;
      out->append(buffer, std::size_t(got));
    }
    return true;
  }

  int fd_;
};

}  // namespace api_test
