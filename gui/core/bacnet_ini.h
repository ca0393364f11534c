// bacnet.ini beside the program: the BACnet settings the user applied in the settings dialog,
// read back when the configuration window opens. Nine keys in the sections BACNET, IP and
// MS/TP; no scan range, destination or Modbus setting. A number that is empty, malformed or
// beyond its field's type keeps the value it had, so an edited file can never stop the
// program. User-interface thread only.
#pragma once

namespace global {

// Writes the nine keys from BacnetSettings, each replacing only its own key.
void SaveBacnetIni();

// When bacnet.ini exists, reads the nine keys into BacnetSettings. A missing text key reads
// as an empty text; a missing or unusable number leaves its setting as it was.
void LoadBacnetIni();

}  // namespace global
