#include "backend/job_runner.h"

#include "backend/job_messages.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>

namespace {

constexpr uint32_t kMaxInstance = 4194302;
// A transfer moves END - START octets in one request; the stack client takes the count as a
// signed 32-bit number.
constexpr int64_t kLargestTransfer = INT32_MAX;

// Reads a number the way atoi does (blanks, a sign, the digits up to the first other
// character; no number is 0), but in full: a number too large for 64 bits stays beyond every
// range instead of wrapping into one.
int64_t job_number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

bool fits_int32(int64_t n) { return n >= INT32_MIN && n <= INT32_MAX; }

// The link values go into the stack's connect string as they are: only a dotted IPv4 address
// and a port number may, anything else would be read as further keys or as no port at all.
bool is_dotted_ipv4(const std::string& text)
{
  in_addr parsed{};
  return text.find('\0') == std::string::npos && inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

bool is_port_number(const std::string& text)
{
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  long port = std::strtol(text.c_str(), nullptr, 10);
  return port >= 1 && port <= 65535;
}

// Closes a file the job wrote; false when any write, the flush or the close failed.
bool close_written(FILE* f)
{
  bool failed = std::ferror(f) != 0;
  return std::fclose(f) == 0 && !failed;
}

std::tm system_local_time()
{
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return t;
}

std::string with_forward_slashes(std::string path)
{
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool equals_ignoring_case(const std::string& a, const char* b)
{
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return i == a.size() && b[i] == '\0';
}

std::string format_message(int id, const std::string& argument)
{
  const char* text = job_messages::kTexts[id];
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += argument;
      ++p;
    } else if (p[0] == '%' && p[1] == 'd') {
      out += argument;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace

JobRunner::JobRunner(JobStackClient& client, LocalClock clock)
    : client_(client), clock_(clock ? clock : system_local_time)
{
}

JobRunner::~JobRunner() { ClearSections(); }

void JobRunner::AppendLog(const std::string& text)
{
  if (log_file_path_.empty())
    return;
  FILE* f = std::fopen(log_file_path_.c_str(), "a+");
  if (!f)
    return;
  std::fputs(text.c_str(), f);
  std::fclose(f);
}

void JobRunner::Log(int id) { AppendLog(job_messages::kTexts[id]); }
void JobRunner::Log(int id, const std::string& argument) { AppendLog(format_message(id, argument)); }
void JobRunner::LogNumber(int id, int number) { AppendLog(format_message(id, std::to_string(number))); }

void JobRunner::LogTime(const char* label)
{
  if (log_file_path_.empty())
    return;
  std::tm t = clock_();
  char line[128];
  std::snprintf(line, sizeof line, "%s %02d:%02d:%02d\n\n", label, t.tm_hour, t.tm_min, t.tm_sec);
  AppendLog(line);
}

void JobRunner::DumpSection(const KeyMap& function)
{
  if (log_file_path_.empty())
    return;
  std::string text;
  for (const auto& [key, value] : function.entries())
    text += "# " + key + "=" + value + "\n";
  AppendLog(text + "\n");
}

void JobRunner::CreateDirectories(const std::string& path)
{
  for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    if (slash == 0)
      continue;
    mkdir(path.substr(0, slash).c_str(), 0777);  // failures show up when the file is opened
  }
}

void JobRunner::ClearSections()
{
  functions_.clear();
  sections_.clear();
  ip_address_.clear();
  com_port_.clear();
}

void JobRunner::RemoveSectionsWithoutTodo()
{
  std::erase_if(functions_, [](KeyMap* m) { return !m->contains("TODO"); });
  std::erase_if(sections_, [](const auto& entry) { return !entry.second->contains("TODO"); });
}

int JobRunner::ReadConfig(const std::string& path)
{
  config_path_ = path;
  std::vector<std::string> pending_warnings;
  JobFile file = read_job_file(path);
  for (JobFileSection& section : file.sections) {
    if (sections_.count(section.name)) {
      pending_warnings.push_back(format_message(job_messages::kMultipleSection, section.name));
      continue;
    }
    auto map = std::make_unique<KeyMap>();
    map->reserve(section.lines.size() + 1);
    map->set("NAME", section.name);
    for (const auto& [key, value] : section.lines)
      map->set(key, value);
    // A long job is held once, not twice.
    section.lines = {};
    functions_.push_back(map.get());
    sections_[section.name] = std::move(map);
  }

  auto general = sections_.find("GENERAL");
  if (general == sections_.end())
    return 4;
  const KeyMap& g = *general->second;

  log_file_path_ = with_forward_slashes(g.get("LOGFILE").value_or(""));
  if (!log_file_path_.empty()) {
    CreateDirectories(log_file_path_);
    if (FILE* f = std::fopen(log_file_path_.c_str(), "w+"))
      std::fclose(f);
    Log(job_messages::kReadingConfig);
    for (const std::string& warning : pending_warnings)
      AppendLog(warning);
  }
  if (!file.fits) {
    Log(job_messages::kFileTooLarge);
    return 3;
  }

  auto local_id = g.get("LOCAL_DEVICE_ID");
  if (!local_id) {
    Log(job_messages::kNoLocalDeviceId);
    return 8;
  }
  // A local device the stack cannot be: refused here rather than failing at start-up.
  int64_t local_number = job_number(*local_id);
  if (local_number < 0 || local_number > kMaxInstance) {
    Log(job_messages::kDeviceIdOutOfRange);
    return 8;
  }
  local_device_id_ = int32_t(local_number);

  std::string link = g.get("LINK").value_or("");
  if (link == "BACnet_IP") {
    link_type_ = kBacnetIp;
    Log(job_messages::kConnectionIp);
  } else if (link == "BACnet_MSTP") {
    link_type_ = kBacnetMstp;
    Log(job_messages::kConnectionMstp);
  } else {
    Log(job_messages::kConnectionUnknown);
    return 2;
  }

  if (link_type_ == kBacnetIp) {
    auto ip = sections_.find("BACnet_IP");
    if (ip == sections_.end()) {
      Log(job_messages::kIpSectionMissing);
      return 6;
    }
    ip_address_ = ip->second->get("IP").value_or("127.0.0.1");
    Log(job_messages::kIpAddress, ip_address_);
    std::string port = ip->second->get("PORT").value_or("47808");
    udp_port_ = int(job_number(port));
    Log(job_messages::kPort, port);
    if (!is_dotted_ipv4(ip_address_) || !is_port_number(port)) {
      Log(job_messages::kUnknownConnectionConfig);
      return 2;
    }
  } else {
    auto mstp = sections_.find("BACnet_MSTP");
    if (mstp == sections_.end()) {
      Log(job_messages::kMstpSectionMissing);
      return 7;
    }
    com_port_ = mstp->second->get("COM_PORT").value_or("COM1");
    Log(job_messages::kComPort, com_port_);
    std::string baud = mstp->second->get("BAUD_RATE").value_or("19200");
    Log(job_messages::kBaudrate, baud);
    std::string mac = mstp->second->get("MAC_ADDRESS").value_or("1");
    Log(job_messages::kMacAddress, mac);
    int64_t baud_number = job_number(baud), mac_number = job_number(mac);
    if (!fits_int32(baud_number) || !fits_int32(mac_number)) {
      Log(job_messages::kUnknownConnectionConfig);
      return 2;
    }
    baud_rate_ = int(baud_number);
    mac_address_ = int(mac_number);
  }

  RemoveSectionsWithoutTodo();
  Log(job_messages::kReadingConfigDone);
  return 0;
}

void JobRunner::Run(const std::string& config_path)
{
  link_type_ = kNone;
  if (config_path.empty()) {
    std::puts("no config file");
    return;
  }
  if (ReadConfig(config_path) > 1) {
    Log(job_messages::kErrorReadingConfig);
    ClearSections();
    return;
  }
  LogTime("#Starttime:");
  if (link_type_ == kBacnetIp) {
    if (client_.Start(local_device_id_, ip_address_, udp_port_, 1) != 0) {
      LogTime("#Endtime:");
      Log(job_messages::kNoConnection);
    } else {
      int errors = ExecuteFunctions();
      LogTime("#Endtime:");
      Log(errors == 0 ? job_messages::kSuccessfulFinished : job_messages::kErrorExecuting);
      client_.Stop();
    }
  }
  ClearSections();
}

int JobRunner::ExecuteFunctions()
{
  int errors = 0;
  for (size_t i = 0; i < functions_.size(); ++i) {
    const KeyMap& function = *functions_[i];
    std::string todo = function.get("TODO").value_or("");
    int result = 0;
    if (equals_ignoring_case(todo, "SCAN_DEVICE"))
      result = ScanDevices(function);
    else if (equals_ignoring_case(todo, "READ"))
      result = ReadFileObject(function);
    else if (equals_ignoring_case(todo, "WRITE"))
      result = WriteFileObject(function);
    else
      Log(job_messages::kUnknownFunction, todo);

    if (result <= 0)
      continue;
    ++errors;
    if (function.get("STOP_ON_ERROR").value_or("") == "1")
      return result;
    int64_t skip = job_number(function.get("ON_ERROR_SKIP_NEXT").value_or("0"));
    if (skip > 0) {
      if (uint64_t(skip) >= functions_.size() - 1 - i)
        return result;  // the list ends while skipping, however far the count goes
      i += size_t(skip);
    }
  }
  return errors;
}

int JobRunner::ScanDevices(const KeyMap& function)
{
  const std::string name = function.get("NAME").value_or("");
  Log(job_messages::kFunctionStarted, name);
  DumpSection(function);

  int64_t low = 0, high = kMaxInstance, wait_seconds = 5;
  if (auto v = function.get("RANGE_LOW"))
    low = job_number(*v);
  else
    Log(job_messages::kRangeLowMissing);
  if (auto v = function.get("RANGE_HIGH")) {
    int64_t h = job_number(*v);
    if (h < 0 || h > kMaxInstance)
      Log(job_messages::kRangeHighOutOfRange);
    else
      high = h;
  } else {
    Log(job_messages::kRangeHighMissing);
  }
  std::string result_file = with_forward_slashes(function.get("RESULTFILE").value_or(""));
  if (auto v = function.get("SCAN_TIME"))
    wait_seconds = std::max<int64_t>(0, job_number(*v));
  else
    Log(job_messages::kScanTimeMissing);

  bool refused = false;
  // RANGE_LOW compares as an unsigned number: a negative one lies above every RANGE_HIGH.
  if (low < 0 || low > high) {
    Log(job_messages::kRangeLowAboveHigh);
    refused = true;
  }
  if (result_file.empty()) {
    Log(job_messages::kNoResultFile);
    refused = true;
  }
  if (wait_seconds > INT32_MAX) {
    Log(job_messages::kScanTimeOutOfRange);
    refused = true;
  }
  if (refused) {
    Log(job_messages::kFunctionAborted, name);
    return 1;
  }

  CreateDirectories(result_file);
  FILE* f = std::fopen(result_file.c_str(), "w+");
  if (!f) {
    // Without a result file the scan's answers would be lost: the function fails.
    Log(job_messages::kCannotWriteFile, result_file);
    Log(job_messages::kFunctionAborted, name);
    return 1;
  }
  int scanned = client_.ScanDevices(uint32_t(low), uint32_t(high), int(wait_seconds), f);
  bool written = close_written(f);
  if (scanned != 0) {
    // Without a Who-Is on the wire no device could answer: the empty list would be a lie.
    Log(job_messages::kWhoIsNotSent);
    Log(job_messages::kFunctionAborted, name);
    return 1;
  }
  if (!written) {
    Log(job_messages::kCannotWriteFile, result_file);
    Log(job_messages::kFunctionAborted, name);
    return 1;
  }
  Log(job_messages::kFunctionFinished, name);
  return 0;
}

std::optional<int64_t> JobRunner::RequiredNumber(const KeyMap& function, const char* key, int64_t low,
                                                int64_t high, int missing_message, int out_of_range_message)
{
  auto text = function.get(key);
  if (!text) {
    Log(missing_message);
    return std::nullopt;
  }
  int64_t number = job_number(*text);
  if (number < low || number > high) {
    Log(out_of_range_message);
    return std::nullopt;
  }
  return number;
}

bool JobRunner::ReadTransferKeys(const KeyMap& function, const char* file_key, int missing_file_message,
                                 uint32_t& device, uint32_t& instance, int32_t& start, int32_t& end,
                                 std::string& file)
{
  using namespace job_messages;
  auto device_number = RequiredNumber(function, "DEVICE_ID", 0, kMaxInstance, kNoDeviceId, kDeviceIdOutOfRange);
  // Packed into an object identifier, a larger number would name another File object.
  auto instance_number =
      RequiredNumber(function, "FILE_INSTANCE", 0, kMaxInstance, kNoFileInstance, kFileInstanceOutOfRange);
  auto start_number = RequiredNumber(function, "START", INT32_MIN, INT32_MAX, kNoStart, kStartOutOfRange);
  auto end_number = RequiredNumber(function, "END", INT32_MIN, INT32_MAX, kNoEnd, kEndOutOfRange);
  bool ok = device_number && instance_number && start_number && end_number;
  file = with_forward_slashes(function.get(file_key).value_or(""));
  if (file.empty()) {
    Log(missing_file_message);
    ok = false;
  }
  // The count is END - START in 64 bits: no range may wrap into another one.
  if (start_number && end_number) {
    int64_t count = *end_number - *start_number;
    if (count < 0) {
      Log(kStartAboveEnd);
      ok = false;
    } else if (count > kLargestTransfer) {
      Log(kRangeTooLarge);
      ok = false;
    }
  }
  if (!ok)
    return false;
  device = uint32_t(*device_number);
  instance = uint32_t(*instance_number);
  start = int32_t(*start_number);
  end = int32_t(*end_number);
  return true;
}

int JobRunner::FinishTransfer(const KeyMap& function, int result)
{
  const std::string name = function.get("NAME").value_or("");
  if (result == 0) {
    Log(job_messages::kFunctionFinished, name);
    return 0;
  }
  if (result == -3)
    Log(job_messages::kNotAllowed);
  else if (result == -2)
    Log(job_messages::kLengthMismatch);
  else if (result > 0)
    LogNumber(job_messages::kBacnetErrorCode, result);
  else
    Log(job_messages::kUnknownFileError);
  Log(job_messages::kFunctionAborted, name);
  return 1;
}

int JobRunner::TransferFileObject(const KeyMap& function, bool reading)
{
  const std::string name = function.get("NAME").value_or("");
  Log(job_messages::kFunctionStarted, name);
  DumpSection(function);
  uint32_t device = 0, instance = 0;
  int32_t start = 0, end = 0;
  std::string file;
  bool ok = reading ? ReadTransferKeys(function, "RESULTFILE", job_messages::kNoResultFile, device, instance, start,
                                       end, file)
                    : ReadTransferKeys(function, "SOURCEFILE", job_messages::kNoSourceFile, device, instance, start,
                                       end, file);
  if (!ok) {
    Log(job_messages::kFunctionAborted, name);
    return 1;
  }
  CreateDirectories(file);
  FILE* f = std::fopen(file.c_str(), reading ? "wb+" : "rb");
  if (!f) {
    // Without its local file the transfer cannot happen: the function fails.
    Log(job_messages::kCannotWriteFile, file);
    Log(job_messages::kFunctionAborted, name);
    return 1;
  }
  int result = reading ? client_.ReadFileObject(device, instance, start, end, f, true)
                       : client_.WriteFileObject(device, instance, start, end, f, true);
  if (!reading) {
    std::fclose(f);
  } else if (!close_written(f)) {
    // Octets that never reached the result file are lost, whatever the unit answered.
    Log(job_messages::kCannotWriteFile, file);
    Log(job_messages::kFunctionAborted, name);
    return 1;
  }
  return FinishTransfer(function, result);
}

int JobRunner::ReadFileObject(const KeyMap& function) { return TransferFileObject(function, true); }
int JobRunner::WriteFileObject(const KeyMap& function) { return TransferFileObject(function, false); }
