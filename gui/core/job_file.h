// The backend's job file tmp/config.ini, written anew before every backend run: the general
// and link sections from the BACnet settings, then one scan function or the File-object
// reads and writes of the configuration block (conf) and the register block (reg).
// User-interface thread only; must not run while a backend reads the file.
#pragma once

namespace global {

// Deletes an old job file and writes the GENERAL section and the link's section.
void WriteJobGeneral();
void WriteScanJob();
// conf: File objects 1 and 4; reg: 2, 3 and 5 (reads) or 3 and 5 (writes).
void WriteReadJobs(bool conf, bool reg);
void WriteWriteJobs(bool conf, bool reg);

}  // namespace global
