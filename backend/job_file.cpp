#include "backend/job_file.h"

#include <cstdio>
#include <string_view>
#include <utility>

namespace {

constexpr size_t kSectionLimit = 102400;
constexpr uint32_t kBuckets = 10;

uint32_t text_hash(const std::string& key)
{
  uint32_t h = 0;
  for (char c : key)
    h = (h << 5) + h + uint32_t(int32_t(static_cast<signed char>(c)));
  return h;
}

std::string_view trim(std::string_view s)
{
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos)
    return {};
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

}  // namespace

void KeyMap::set(const std::string& key, const std::string& value)
{
  for (Entry& e : entries_)
    if (e.key == key) {
      e.value = value;
      return;
    }
  entries_.push_back({key, value, text_hash(key) % kBuckets});
}

std::optional<std::string> KeyMap::get(const std::string& key) const
{
  for (const Entry& e : entries_)
    if (e.key == key)
      return e.value;
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> KeyMap::entries() const
{
  // Entries are kept in the order they came: within a bucket, newest first is that order
  // backwards.
  std::vector<std::pair<std::string, std::string>> out;
  out.reserve(entries_.size());
  for (uint32_t bucket = 0; bucket < kBuckets; ++bucket)
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e)
      if (e->bucket == bucket)
        out.emplace_back(e->key, e->value);
  return out;
}

namespace {

// Takes the file line by line; a line is what lies between two line ends, without them.
class LineReader {
public:
  // False once the file goes beyond its limits: reading stops there.
  bool take(std::string_view raw)
  {
    // Longer than any section or the list of names can hold: nothing after it could be read
    // as it was written, and a file without line ends (a device) is over at once.
    if (raw.size() > kSectionLimit)
      return refuse();
    std::string_view line = trim(raw);
    if (line.empty())
      return true;
    std::vector<JobFileSection>& sections = file_.sections;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string_view name = trim(line.substr(1, close == std::string_view::npos ? close : close - 1));
      // Every name counts, repeats too. A list beyond its limit refuses the file: cut short,
      // it would drop the last functions unseen and the job would still end as a success.
      names_used_ += name.size() + 1;
      if (names_used_ >= kSectionLimit)
        return refuse();
      sections.push_back({std::string(name), {}});
      section_used_ = 0;
      return true;
    }
    if (sections.empty() || line.front() == ';')
      return true;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
      return true;
    section_used_ += line.size() + 1;
    if (section_used_ >= kSectionLimit)
      return refuse();
    std::string_view key = trim(line.substr(0, eq));
    std::string_view value = trim(line.substr(eq + 1));
    if (!value.empty())
      sections.back().lines.emplace_back(key, value);
    return true;
  }

  JobFile& file() { return file_; }

private:
  bool refuse()
  {
    file_.fits = false;
    return false;
  }

  JobFile file_;
  size_t names_used_ = 0;
  size_t section_used_ = 0;  // characters taken by the current section's lines
};

JobFile parse(std::string_view text)
{
  LineReader reader;
  for (size_t at = 0; at < text.size();) {
    size_t newline = text.find('\n', at);
    if (newline == std::string_view::npos)
      newline = text.size();
    if (!reader.take(text.substr(at, newline - at)))
      break;
    at = newline + 1;
  }
  return std::move(reader.file());
}

}  // namespace

std::vector<JobFileSection> parse_job_file(std::string_view text) { return parse(text).sections; }

JobFile read_job_file(const std::string& path)
{
  // A path that opens but cannot be read (a folder) counts as a missing file.
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in)
    return {};
  // Held at once: one chunk and the start of a line no longer than a section, whatever the
  // file's length.
  LineReader reader;
  std::string pending;
  char chunk[65536];
  bool reading = true;
  for (size_t n; reading && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
    pending.append(chunk, n);
    size_t at = 0;
    for (size_t newline; reading && (newline = pending.find('\n', at)) != std::string::npos; at = newline + 1)
      reading = reader.take(std::string_view(pending).substr(at, newline - at));
    pending.erase(0, at);
    // A line that has outgrown every limit before its end came is refused now.
    if (reading && pending.size() > kSectionLimit)
      reading = reader.take(pending);
  }
  bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed)
    return {};
  if (reading && !pending.empty())
    reader.take(pending);
  return std::move(reader.file());
}
