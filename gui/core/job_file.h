// The backend's job file tmp/config.ini, written anew before every backend run: the general
// and link sections from the BACnet settings, then one scan function or the File-object
// reads and writes of the configuration block (conf) and the register block (reg).
// A job file that cannot be written whole is reported to the user and no job may start.
// User-interface thread only; must not run while a backend reads the file.
#pragma once

#include <QString>

namespace global {

// Deletes an old job file and writes the GENERAL section and the link's section. Each
// writer is true when the whole job file stands; otherwise the user has been told, and the
// old job file is gone.
bool WriteJobGeneral();
bool WriteScanJob();
// conf: File objects 1 and 4; reg: 2, 3 and 5 (reads) or 3 and 5 (writes).
bool WriteReadJobs(bool conf, bool reg);
bool WriteWriteJobs(bool conf, bool reg);

// True when the job file asks the backend to write into the unit.
bool JobWritesUnit(const QString& jobFile);

}  // namespace global
