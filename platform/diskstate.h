#pragma once

#include <cstdint>

// What a failed call, or a folder's file system, says about the disk as a
// whole, so a report can name the disk's state rather than the file's.
namespace Platform {

enum class DiskState { Answering, Full, Gone, ReadOnly };

// The state an error code names; Answering when it names none.
DiskState diskStateOf(int error);
// Asked through a folder held open: Gone when the disk no longer answers,
// ReadOnly when it takes no writes, Full when fewer than `needed` bytes are
// free to this user. Blocks on the file system: worker threads only.
DiskState diskStateAt(int folder, std::int64_t needed);

} // namespace Platform
