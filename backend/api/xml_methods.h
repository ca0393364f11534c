// The XML API: a method name followed by a REQUEST element runs one BACnet service through the
// blocking calls and answers with an ACK element holding the acknowledgement, or an ERROR
// element holding the device's error. Runs on an API connection thread and blocks it for the
// call. Must not: answer with a partial text when a request or an answer cannot be handled.
#pragma once

#include <cstddef>
#include <string>

// Runs the request and puts the answer text into `answer`. 0, or -1 for an unknown method,
// getRecordset, a malformed request, a call that cannot be made, an error of a service without
// an error form, or an answer that has no XML form (`answer` is then left alone).
int xml_execute(const char* request, std::size_t length, std::string* answer);
