#include "support/tshark.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {
namespace {

void put16(std::vector<uint8_t>& out, uint16_t v)
{
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
  put16(out, uint16_t(v >> 16));
  put16(out, uint16_t(v));
}

void put32le(std::ofstream& f, uint32_t v)
{
  char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  f.write(b, 4);
}

uint16_t ip_checksum(const uint8_t* p, size_t n)
{
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < n; i += 2)
    sum += (p[i] << 8) | p[i + 1];
  while (sum >> 16)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return uint16_t(~sum);
}

std::vector<uint8_t> ethernet_packet(const UdpFrame& f)
{
  std::vector<uint8_t> p = {0x02, 0, 0, 0, 0, 2, 0x02, 0, 0, 0, 0, 1, 0x08, 0x00};
  size_t ip_start = p.size();
  uint16_t udp_len = uint16_t(8 + f.payload.size());
  p.insert(p.end(), {0x45, 0x00});
  put16(p, uint16_t(20 + udp_len));
  p.insert(p.end(), {0x00, 0x01, 0x00, 0x00, 0x40, 0x11, 0x00, 0x00});
  put32(p, f.source_ip);
  put32(p, f.destination_ip);
  uint16_t sum = ip_checksum(p.data() + ip_start, 20);
  p[ip_start + 10] = uint8_t(sum >> 8);
  p[ip_start + 11] = uint8_t(sum);
  put16(p, f.source_port);
  put16(p, f.destination_port);
  put16(p, udp_len);
  put16(p, 0);  // no UDP checksum
  p.insert(p.end(), f.payload.begin(), f.payload.end());
  return p;
}

std::string shell_quote(const std::string& s)
{
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

void write_pcap(const std::string& path, const std::vector<UdpFrame>& frames)
{
  std::vector<std::vector<uint8_t>> packets;
  for (const UdpFrame& frame : frames)
    packets.push_back(ethernet_packet(frame));
  write_pcap_frames(path, 1, packets);  // Ethernet
}

void write_pcap_frames(const std::string& path, uint32_t link_type, const std::vector<std::vector<uint8_t>>& frames)
{
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f)
    throw std::runtime_error("cannot write " + path);
  put32le(f, 0xA1B2C3D4);
  put32le(f, 0x00040002);  // version 2.4
  put32le(f, 0);
  put32le(f, 0);
  put32le(f, 65535);
  put32le(f, link_type);
  uint32_t t = 1700000000;
  for (const std::vector<uint8_t>& p : frames) {
    put32le(f, t++);
    put32le(f, 0);
    put32le(f, uint32_t(p.size()));
    put32le(f, uint32_t(p.size()));
    f.write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
  }
}

std::vector<uint8_t> wrap_apdu(const std::vector<uint8_t>& apdu, bool expecting_reply)
{
  std::vector<uint8_t> out = {0x81, 0x0A, 0, 0, 0x01, uint8_t(expecting_reply ? 0x04 : 0x00)};
  out.insert(out.end(), apdu.begin(), apdu.end());
  out[2] = uint8_t(out.size() >> 8);
  out[3] = uint8_t(out.size());
  return out;
}

std::string run_command(const std::string& command, int* status, const std::string& input)
{
  std::string in_path;
  std::string full = command;
  if (!input.empty()) {
    char name[] = "/tmp/zor17-input-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0)
      throw std::runtime_error("mkstemp failed");
    if (write(fd, input.data(), input.size()) != ssize_t(input.size()))
      throw std::runtime_error("cannot write command input");
    close(fd);
    in_path = name;
    full += " < " + shell_quote(in_path);
  }
  FILE* pipe = popen(full.c_str(), "r");
  if (!pipe)
    throw std::runtime_error("cannot run " + command);
  std::string out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0)
    out.append(buf.data(), n);
  int rc = pclose(pipe);
  if (!in_path.empty())
    std::remove(in_path.c_str());
  if (status)
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

TsharkResult run_tshark(const std::string& pcap_path, const std::vector<std::string>& fields)
{
  TsharkResult r;
  const std::string base = "tshark -n -o udp.try_heuristic_first:FALSE -r " + shell_quote(pcap_path);
  int status = 0;
  std::string all = run_command(base + " -T fields -e frame.number 2>&1", &status);
  r.ran = status == 0;
  if (!r.ran) {
    r.diagnostics = all;
    return r;
  }
  const std::string flagged = "_ws.malformed || _ws.expert.severity >= \"Warning\"";
  r.malformed = 0;
  std::istringstream bad(run_command(base + " -Y '_ws.malformed' -T fields -e frame.number 2>/dev/null"));
  for (std::string line; std::getline(bad, line);)
    if (!line.empty())
      ++r.malformed;
  std::istringstream expert(run_command(base + " -Y '_ws.expert.severity >= \"Warning\"' -T fields -e frame.number 2>/dev/null"));
  for (std::string line; std::getline(expert, line);)
    if (!line.empty())
      ++r.expert_errors;
  if (r.malformed || r.expert_errors)
    r.diagnostics = run_command(base + " -V -Y " + shell_quote(flagged) + " 2>&1");
  if (!fields.empty()) {
    std::string cmd = base + " -T fields -E separator=/t -E occurrence=a -E aggregator=,";
    for (const std::string& field : fields)
      cmd += " -e " + field;
    std::istringstream lines(run_command(cmd + " 2>/dev/null"));
    for (std::string line; std::getline(lines, line);)
      r.fields.push_back(line);
  }
  return r;
}

TsharkResult dissect(const std::string& name, const std::vector<UdpFrame>& frames,
                     const std::vector<std::string>& fields)
{
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "zor17-pcaps";
  std::filesystem::create_directories(dir);
  std::string path = (dir / (name + ".pcap")).string();
  write_pcap(path, frames);
  return run_tshark(path, fields);
}

TsharkResult dissect_frames(const std::string& name, uint32_t link_type, const std::vector<std::vector<uint8_t>>& frames,
                            const std::vector<std::string>& fields)
{
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "zor17-pcaps";
  std::filesystem::create_directories(dir);
  std::string path = (dir / (name + ".pcap")).string();
  write_pcap_frames(path, link_type, frames);
  return run_tshark(path, fields);
}

std::string tests_dir()
{
  const char* data = std::getenv("ZOR17_TESTS");
  return data ? data : ZOR17_TESTS_DIR;
}

std::string bin_dir()
{
  const char* bin = std::getenv("ZOR17_BIN");
  return bin ? bin : ZOR17_BIN_DIR;
}

}  // namespace testsupport
