// Shared by the namespace test tools: the check that a tool runs inside the test lab, and the
// trace printer they hand to the stack.
#pragma once

#include <ifaddrs.h>

#include <cstdio>
#include <string>

// The lab's veth pairs are named z17a.../z17b...; any other interface but loopback means we are
// not inside a test namespace, and nothing may be sent from here.
inline bool inside_lab(std::string* stranger)
{
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0)
    return false;
  bool ok = true;
  for (ifaddrs* i = all; i && ok; i = i->ifa_next) {
    std::string name = i->ifa_name ? i->ifa_name : "";
    if (name != "lo" && name.rfind("z17", 0) != 0) {
      ok = false;
      *stranger = name;
    }
  }
  freeifaddrs(all);
  return ok;
}

inline void print_log(int level, const char* text) { std::fprintf(stderr, "[%d] %s\n", level, text); }
