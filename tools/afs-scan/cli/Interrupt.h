#pragma once

namespace afs_scan {

// SIGINT and SIGTERM during a job. The first one asks the job to stop: the
// item callback and every later call into the plug-in fail, and the sleeps
// of the plug-in's retries and high-availability wait end at once, so the
// job ends as a failed one (nothing of it stored) and the plug-in is
// unloaded cleanly. A second signal ends the process at once; the scan
// database still holds nothing of the job, since its transaction never
// commits.
void InstallInterruptHandlers();

// The signal that asked the job to stop; 0 when none came.
int InterruptSignal();

}  // namespace afs_scan
