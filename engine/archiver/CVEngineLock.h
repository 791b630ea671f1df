// The engine's one process-wide re-entrant lock. The file-system scan of AddFiles / MoveFiles and the
// batch driver of ExtractFiles / TestFiles / DeleteFiles / UpdateFiles hold it for their whole run, so
// two components on two threads never interleave those walks; the holding thread may re-enter it
// (from an event handler, say).
#pragma once

#include <mutex>

std::recursive_mutex& EngineLock();
