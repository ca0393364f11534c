// The text commands of the TCP API: "n get:" and "n set:" of present values on device n,
// "xml:" requests, "n con:" and "unc:" raw APDUs in hex, and the texts of values and BACnet
// errors. Runs on an API connection thread and blocks it for the BACnet call and for writing
// the answer. Must not: put an answer into the out-queue (a full one would drop it), or answer
// with a partial text on failure.
#pragma once

#include "backend/api/api_client.h"
#include "bacnet/value/value_types.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// One item of "get:" (type.instance.property) or "set:" (type.instance.property.priority and
// the value).
struct ApiTextItem {
  uint32_t type = 0;
  uint32_t instance = 0;
  uint32_t property = 0;
  uint32_t priority = 0;
  float value = 0;
};

// A payload that does not begin with octet 0 is a text command.
bool api_is_text_command(std::span<const uint8_t> payload);
// Answers the command at once with one frame holding the answer text, written by the
// connection thread past its out-queue, so a full queue does not drop it.
void api_answer_text_command(ApiClient* client, std::span<const uint8_t> payload);

// The answer to one text command: the answer of the command the earliest keyword names,
// "Error : Unknown Command" without a keyword, "Error : Internal Error" when the command fails.
std::string api_handle_text_command(const char* payload, std::size_t length);
// The payload of the answer frame: as above, "Error : - Internal" when the answer is empty.
std::string api_text_answer(const char* payload, std::size_t length);

// Items are separated by single blanks. -1 for an invalid item, 0 for the last one, else the
// offset at which the next item begins.
int api_parse_get_item(std::string_view text, ApiTextItem* item);
int api_parse_set_item(std::string_view text, ApiTextItem* item);
// Reads or writes the present values the items name on the device; the answer holds one text
// per value (or error). 0, or -1 when an item is invalid or the call cannot be made.
int api_text_get(int32_t device, std::string_view items, std::string* answer);
int api_text_set(int32_t device, std::string_view items, std::string* answer);

std::string api_value_to_text(const BACnetValue* value);
std::string api_error_to_text(uint32_t error_class, uint32_t error_code);
