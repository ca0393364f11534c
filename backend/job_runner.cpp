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
  std::tm t = clock_();
  char line[128];
  std::snprintf(line, sizeof line, "%s %02d:%02d:%02d\n\n", label, t.tm_hour, t.tm_min, t.tm_sec);
  AppendLog(line);
}

void JobRunner::DumpSection(const KeyMap& function)
{
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
  for (const JobFileSection& section : read_job_file(path)) {
    if (sections_.count(section.name)) {
      pending_warnings.push_back(format_message(job_messages::kMultipleSection, section.name));
      continue;
    }
    auto map = std::make_unique<KeyMap>();
    map->set("NAME", section.name);
    for (const auto& [key, value] : section.lines)
      map->set(key, value);
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

  auto local_id = g.get("LOCAL_DEVICE_ID");
  if (!local_id) {
    Log(job_messages::kNoLocalDeviceId);
    return 8;
  }
  local_device_id_ = std::atoi(local_id->c_str());
  // A local device the stack cannot be: refused here rather than failing at start-up.
  if (local_device_id_ < 0 || uint32_t(local_device_id_) > kMaxInstance) {
    Log(job_messages::kDeviceIdOutOfRange);
    return 8;
  }

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
    udp_port_ = std::atoi(port.c_str());
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
    baud_rate_ = std::atoi(baud.c_str());
    Log(job_messages::kBaudrate, baud);
    std::string mac = mstp->second->get("MAC_ADDRESS").value_or("1");
    mac_address_ = std::atoi(mac.c_str());
    Log(job_messages::kMacAddress, mac);
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
    int skip = std::atoi(function.get("ON_ERROR_SKIP_NEXT").value_or("0").c_str());
    if (skip > 0) {
      if (i + size_t(skip) >= functions_.size() - 1)
        return result;  // the list ends while skipping
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

  uint32_t low = 0, high = kMaxInstance;
  int wait_seconds = 5;
  if (auto v = function.get("RANGE_LOW"))
    low = uint32_t(std::atoi(v->c_str()));
  else
    Log(job_messages::kRangeLowMissing);
  if (auto v = function.get("RANGE_HIGH")) {
    int h = std::atoi(v->c_str());
    if (h < 0 || uint32_t(h) > kMaxInstance)
      Log(job_messages::kRangeHighOutOfRange);
    else
      high = uint32_t(h);
  } else {
    Log(job_messages::kRangeHighMissing);
  }
  std::string result_file = with_forward_slashes(function.get("RESULTFILE").value_or(""));
  if (auto v = function.get("SCAN_TIME"))
    wait_seconds = std::max(0, std::atoi(v->c_str()));
  else
    Log(job_messages::kScanTimeMissing);

  bool refused = false;
  if (low > high) {
    Log(job_messages::kRangeLowAboveHigh);
    refused = true;
  }
  if (result_file.empty()) {
    Log(job_messages::kNoResultFile);
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
  client_.ScanDevices(low, high, wait_seconds, f);
  if (!close_written(f)) {
    Log(job_messages::kCannotWriteFile, result_file);
    Log(job_messages::kFunctionAborted, name);
    return 1;
  }
  Log(job_messages::kFunctionFinished, name);
  return 0;
}

bool JobRunner::ReadTransferKeys(const KeyMap& function, const char* file_key, int missing_file_message,
                                 uint32_t& device, uint32_t& instance, int32_t& start, int32_t& end,
                                 std::string& file)
{
  bool ok = true;
  if (auto v = function.get("DEVICE_ID")) {
    device = uint32_t(std::atoi(v->c_str()));
    if (device > kMaxInstance) {
      Log(job_messages::kDeviceIdOutOfRange);
      ok = false;
    }
  } else {
    Log(job_messages::kNoDeviceId);
    ok = false;
  }
  if (auto v = function.get("FILE_INSTANCE")) {
    instance = uint32_t(std::atoi(v->c_str()));
    // Packed into an object identifier, a larger number would name another File object.
    if (instance > kMaxInstance) {
      Log(job_messages::kFileInstanceOutOfRange);
      ok = false;
    }
  } else {
    Log(job_messages::kNoFileInstance);
    ok = false;
  }
  auto start_text = function.get("START");
  if (start_text)
    start = std::atoi(start_text->c_str());
  else {
    Log(job_messages::kNoStart);
    ok = false;
  }
  auto end_text = function.get("END");
  if (end_text)
    end = std::atoi(end_text->c_str());
  else {
    Log(job_messages::kNoEnd);
    ok = false;
  }
  file = with_forward_slashes(function.get(file_key).value_or(""));
  if (file.empty()) {
    Log(missing_file_message);
    ok = false;
  }
  // The count is END - START in 64 bits: no range may wrap into another one.
  if (start_text && end_text) {
    int64_t count = int64_t(end) - int64_t(start);
    if (count < 0) {
      Log(job_messages::kStartAboveEnd);
      ok = false;
    } else if (count > kLargestTransfer) {
      Log(job_messages::kRangeTooLarge);
      ok = false;
    }
  }
  return ok;
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
