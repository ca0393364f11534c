#include "backend/job_file.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

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

std::string trim(const std::string& s)
{
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos)
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
  entries_.push_back({key, value, text_hash(key) % kBuckets, next_sequence_++});
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
  std::vector<const Entry*> order;
  for (const Entry& e : entries_)
    order.push_back(&e);
  std::sort(order.begin(), order.end(), [](const Entry* a, const Entry* b) {
    if (a->bucket != b->bucket)
      return a->bucket < b->bucket;
    return a->sequence > b->sequence;
  });
  std::vector<std::pair<std::string, std::string>> out;
  for (const Entry* e : order)
    out.emplace_back(e->key, e->value);
  return out;
}

std::vector<JobFileSection> parse_job_file(const std::string& text)
{
  std::vector<JobFileSection> sections;
  std::vector<size_t> used;  // characters taken by each section's lines
  size_t names_used = 0;
  bool names_full = false;
  std::istringstream in(text);
  for (std::string raw; std::getline(in, raw);) {
    std::string line = trim(raw);
    if (line.empty())
      continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string name = trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      names_used += name.size() + 1;
      if (names_used >= kSectionLimit)
        names_full = true;
      if (names_full)
        sections.push_back({});  // still swallows its lines, but gets no name
      else
        sections.push_back({name, {}});
      used.push_back(0);
      continue;
    }
    if (sections.empty() || line.front() == ';')
      continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos)
      continue;
    used.back() += line.size() + 1;
    if (used.back() >= kSectionLimit)
      continue;
    std::string key = trim(line.substr(0, eq));
    std::string value = trim(line.substr(eq + 1));
    if (!value.empty())
      sections.back().lines.emplace_back(key, value);
  }
  // Sections past the name limit are not seen at all.
  sections.erase(std::remove_if(sections.begin(), sections.end(),
                                [](const JobFileSection& s) { return s.name.empty(); }),
                 sections.end());
  return sections;
}

std::vector<JobFileSection> read_job_file(const std::string& path)
{
  // A path that opens but cannot be read (a folder) counts as a missing file.
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in)
    return {};
  std::string text;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
    text.append(chunk, n);
  bool failed = std::ferror(in) != 0;
  std::fclose(in);
  return failed ? std::vector<JobFileSection>{} : parse_job_file(text);
}
