#include "bacnet/datalink/pcap_library.h"

#include <dlfcn.h>

namespace {

// The names the library's run-time file goes by (Debian keeps the old one).
constexpr const char* kLibraryNames[] = {"libpcap.so.0.8", "libpcap.so.1", "libpcap.so"};

struct Loaded {
  PcapLibrary functions{};
  std::string error;  // empty once every function was found
};

// The first function that is missing names the error.
template <class Function>
void resolve(void* library, const char* name, Function* function, std::string* error)
{
  *function = reinterpret_cast<Function>(dlsym(library, name));
  if (!*function && error->empty())
    *error = std::string("libpcap has no ") + name;
}

Loaded load()
{
  Loaded loaded;
  void* library = nullptr;
  for (const char* name : kLibraryNames)
    if ((library = dlopen(name, RTLD_NOW | RTLD_LOCAL)))
      break;
  if (!library) {
    const char* why = dlerror();
    loaded.error = std::string("libpcap could not be loaded: ") + (why ? why : "not found");
    return loaded;
  }
  PcapLibrary& f = loaded.functions;
  std::string* e = &loaded.error;
  resolve(library, "pcap_findalldevs", &f.findalldevs, e);
  resolve(library, "pcap_freealldevs", &f.freealldevs, e);
  resolve(library, "pcap_create", &f.create, e);
  resolve(library, "pcap_set_snaplen", &f.set_snaplen, e);
  resolve(library, "pcap_set_promisc", &f.set_promisc, e);
  resolve(library, "pcap_set_timeout", &f.set_timeout, e);
  resolve(library, "pcap_set_immediate_mode", &f.set_immediate_mode, e);
  resolve(library, "pcap_activate", &f.activate, e);
  resolve(library, "pcap_setnonblock", &f.setnonblock, e);
  resolve(library, "pcap_setdirection", &f.setdirection, e);
  resolve(library, "pcap_geterr", &f.geterr, e);
  resolve(library, "pcap_close", &f.close, e);
  resolve(library, "pcap_datalink", &f.datalink, e);
  resolve(library, "pcap_compile", &f.compile, e);
  resolve(library, "pcap_setfilter", &f.setfilter, e);
  resolve(library, "pcap_freecode", &f.freecode, e);
  resolve(library, "pcap_get_selectable_fd", &f.get_selectable_fd, e);
  resolve(library, "pcap_next_ex", &f.next_ex, e);
  resolve(library, "pcap_sendpacket", &f.sendpacket, e);
  return loaded;  // the library stays loaded for the process's life
}

}  // namespace

const PcapLibrary* pcap_library(std::string* error)
{
  static const Loaded loaded = load();
  if (loaded.error.empty())
    return &loaded.functions;
  if (error)
    *error = loaded.error;
  return nullptr;
}
