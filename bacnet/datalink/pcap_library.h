// libpcap, loaded when an Ethernet port or the adapter list first needs it. A program that only
// speaks BACnet/IP (a job of the backend) then starts without it and the dozen libraries it
// pulls in, which take longer to load than such a job takes to run.
#pragma once

#include <pcap/pcap.h>

#include <string>

struct PcapLibrary {
  decltype(&pcap_findalldevs) findalldevs;
  decltype(&pcap_freealldevs) freealldevs;
  decltype(&pcap_create) create;
  decltype(&pcap_set_snaplen) set_snaplen;
  decltype(&pcap_set_promisc) set_promisc;
  decltype(&pcap_set_timeout) set_timeout;
  decltype(&pcap_set_immediate_mode) set_immediate_mode;
  decltype(&pcap_activate) activate;
  decltype(&pcap_setnonblock) setnonblock;
  decltype(&pcap_setdirection) setdirection;
  decltype(&pcap_geterr) geterr;
  decltype(&pcap_close) close;
  decltype(&pcap_datalink) datalink;
  decltype(&pcap_compile) compile;
  decltype(&pcap_setfilter) setfilter;
  decltype(&pcap_freecode) freecode;
  decltype(&pcap_get_selectable_fd) get_selectable_fd;
  decltype(&pcap_next_ex) next_ex;
  decltype(&pcap_sendpacket) sendpacket;
};

// The library's functions, loaded on the first call; null with `error` set when the library
// or one of its functions cannot be found. Safe from any thread.
const PcapLibrary* pcap_library(std::string* error);
