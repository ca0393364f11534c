#include "backend/api/xml_scanner.h"

#include <cstring>
#include <string_view>

namespace {

bool opens(std::string_view rest, std::string_view name)
{
  // "<name>" or "<name "
  return rest.size() > name.size() + 1 && rest[0] == '<' && rest.substr(1, name.size()) == name &&
         (rest[name.size() + 1] == '>' || rest[name.size() + 1] == ' ');
}

bool closes(std::string_view rest, std::string_view name)
{
  return rest.size() >= name.size() + 3 && rest.substr(0, 2) == "</" && rest.substr(2, name.size()) == name &&
         rest[name.size() + 2] == '>';
}

const char* after_tag_end(std::string_view all, std::size_t from)
{
  std::size_t end = all.find('>', from);
  return end == std::string_view::npos ? nullptr : all.data() + end + 1;
}

}  // namespace

const char* xml_find_start_tag(const char* text, std::size_t length, char* name)
{
  if (!text || !name)
    return nullptr;
  std::string_view all(text, length);
  if (name[0] != '\0') {
    std::string_view wanted(name, strnlen(name, kXmlNameCapacity));
    if (wanted.size() >= kXmlNameCapacity)
      return nullptr;
    std::string exact = "<" + std::string(wanted) + ">";
    std::size_t at = all.find(exact);
    if (at != std::string_view::npos)
      return text + at + exact.size();
    at = all.find("<" + std::string(wanted) + " ");
    return at == std::string_view::npos ? nullptr : after_tag_end(all, at + wanted.size() + 2);
  }
  std::size_t at = all.find('<');
  if (at == std::string_view::npos)
    return nullptr;
  std::size_t end = all.find_first_of(" >", at + 1);
  if (end == std::string_view::npos)
    return nullptr;
  std::size_t name_length = end - at - 1;
  if (name_length == 0 || name_length >= kXmlNameCapacity || text[at + 1] == '/')
    return nullptr;
  const char* after = after_tag_end(all, end);
  if (!after)
    return nullptr;
  std::memcpy(name, text + at + 1, name_length);
  name[name_length] = '\0';
  return after;
}

const char* xml_find_end_tag(const char* position, std::size_t length, const char* name)
{
  if (!position || !name || name[0] == '\0')
    return nullptr;
  std::string_view all(position, length);
  std::string_view wanted(name, strnlen(name, kXmlNameCapacity));
  int depth = 0;
  for (std::size_t at = all.find('<'); at != std::string_view::npos; at = all.find('<', at + 1)) {
    std::string_view rest = all.substr(at);
    if (closes(rest, wanted)) {
      if (depth == 0)
        return position + at + wanted.size() + 3;
      --depth;
    } else if (opens(rest, wanted)) {
      ++depth;
    }
  }
  return nullptr;
}

int xml_next_element(XmlElement* record, const char* text, std::size_t length)
{
  if (!record || !text)
    return -1;
  record->name[0] = '\0';
  const char* content = xml_find_start_tag(text, length, record->name);
  if (!content)
    return -1;
  std::size_t rest = length - std::size_t(content - text);
  const char* end = xml_find_end_tag(content, rest, record->name);
  if (!end)
    return -1;
  record->text = text;
  record->length = std::size_t(end - text);
  record->content = content;
  record->content_length = std::size_t(end - content) - (std::strlen(record->name) + 3);
  return 0;
}

int xml_expect_element(XmlElement* record, const char* name, const char* text, std::size_t length)
{
  if (xml_next_element(record, text, length) != 0)
    return -1;
  return std::strcmp(record->name, name) == 0 ? 0 : -1;
}

int xml_append(std::string* out, const char* text)
{
  if (!out || !text)
    return -1;
  out->append(text);
  return 0;
}
