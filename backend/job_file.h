// Reading the INI job file the way the backend has always read it: every section by name in
// file order (repeats included), each "key=value" line split at the first "=", empty values
// dropped. Key maps iterate in their hash order, which the log's section dumps show.
// Runs on the main thread only; pure file reading, no stack access.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A text-to-text map with ten buckets that iterates bucket by bucket, newest entry first
// within a bucket; the log's section dumps follow this order.
class KeyMap {
public:
  void set(const std::string& key, const std::string& value);
  void reserve(size_t keys) { entries_.reserve(keys); }
  std::optional<std::string> get(const std::string& key) const;
  bool contains(const std::string& key) const { return get(key).has_value(); }
  // Entries in iteration order.
  std::vector<std::pair<std::string, std::string>> entries() const;
  size_t size() const { return entries_.size(); }

private:
  struct Entry {
    std::string key, value;
    uint32_t bucket;
  };
  std::vector<Entry> entries_;  // in the order the keys came
};

struct JobFileSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> lines;  // key, non-empty value, file order
};

struct JobFile {
  std::vector<JobFileSection> sections;
  // False when the file goes beyond its limits; `sections` then holds what came before.
  bool fits = true;
};

// All sections of the file in order; a missing or unreadable file gives none. Each section
// holds at most 102400 characters of lines and the list of all section names (each with its
// end) 102400 characters; a file of any length within them is read whole, and reading stops
// where it goes beyond them, or at a line longer than a section.
JobFile read_job_file(const std::string& path);
std::vector<JobFileSection> parse_job_file(std::string_view text);
