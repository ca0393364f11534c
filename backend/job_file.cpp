#include "backend/job_file.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

constexpr size_t kSectionLimit = 102400;
// The whole file: room for a full section beside a full list of names, far beyond any job,
// and little enough to hold at once whatever the file holds.
constexpr size_t kFileLimit = 2 * kSectionLimit;
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

JobFile parse(std::string_view text)
{
  JobFile file;
  std::vector<JobFileSection>& sections = file.sections;
  size_t names_used = 0;
  size_t section_used = 0;  // characters taken by the current section's lines
  bool in_section = false;
  for (size_t at = 0; at < text.size();) {
    size_t newline = text.find('\n', at);
    if (newline == std::string_view::npos)
      newline = text.size();
    std::string_view line = trim(text.substr(at, newline - at));
    at = newline + 1;
    if (line.empty())
      continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string_view name = trim(line.substr(1, close == std::string_view::npos ? close : close - 1));
      names_used += name.size() + 1;
      if (names_used >= kSectionLimit) {
        file.fits = false;
        break;
      }
      sections.push_back({std::string(name), {}});
      section_used = 0;
      in_section = true;
      continue;
    }
    if (!in_section || line.front() == ';')
      continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
      continue;
    section_used += line.size() + 1;
    if (section_used >= kSectionLimit) {
      file.fits = false;
      break;
    }
    std::string_view key = trim(line.substr(0, eq));
    std::string_view value = trim(line.substr(eq + 1));
    if (!value.empty())
      sections.back().lines.emplace_back(key, value);
  }
  return file;
}

}  // namespace

std::vector<JobFileSection> parse_job_file(std::string_view text) { return parse(text).sections; }

JobFile read_job_file(const std::string& path)
{
  // A path that opens but cannot be read (a folder) counts as a missing file.
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in)
    return {};
  // Never more than the limit and one character: that one tells a file that goes on.
  std::string text;
  char chunk[4096];
  for (size_t n; text.size() <= kFileLimit && !std::feof(in) &&
                 (n = std::fread(chunk, 1, std::min(sizeof chunk, kFileLimit + 1 - text.size()), in)) > 0;)
    text.append(chunk, n);
  bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed)
    return {};
  if (text.size() <= kFileLimit)
    return parse(text);
  // Only whole lines: a value cut short could name another log file.
  size_t last_line_end = text.rfind('\n', kFileLimit - 1);
  JobFile file = parse(std::string_view(text).substr(0, last_line_end == std::string::npos ? 0 : last_line_end));
  file.fits = false;
  return file;
}
