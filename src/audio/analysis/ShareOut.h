#pragma once
// Many independent jobs (takes to export or measure) on one thread per core.

#include "audio/WorkControl.h"

#include <cstddef>
#include <functional>

namespace praatkist::audio {

// Runs Work(0) .. Work(Count - 1) on one thread per core (at least two, so that one
// take's wait for the disk overlaps another's decoding), this thread among them, each
// taking the next one not yet taken. Before each job this thread reports the jobs done
// (of Steps); a cancel ends the taking of new jobs. When all threads have
// ended: the failure of the first job that failed is raised, else EWorkCancelled after
// a cancel.
void ShareOut(std::size_t count, const std::function<void(std::size_t)> &work,
              TWorkControl *control, double steps);

} // namespace praatkist::audio
