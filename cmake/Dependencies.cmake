# libiberty's hash table: Debian ships only the static library and its headers.
find_path(LIBIBERTY_INCLUDE_DIR libiberty.h PATH_SUFFIXES libiberty REQUIRED)
find_library(LIBIBERTY_LIBRARY NAMES libiberty.a iberty REQUIRED)
add_library(libiberty::libiberty STATIC IMPORTED)
set_target_properties(libiberty::libiberty PROPERTIES
  IMPORTED_LOCATION ${LIBIBERTY_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${LIBIBERTY_INCLUDE_DIR})

# libpcap: only its header is built in; the Ethernet datalink loads the library when it needs it.
find_path(PCAP_INCLUDE_DIR pcap.h REQUIRED)

# Every source file of a layer folder belongs to its library: adding a module is adding a file.
function(zor17_sources out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()
