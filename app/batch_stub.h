// TEMPORARY stand-in until batch/run.h lands.
#pragma once
#include <atomic>
namespace ravolin {
struct FileSystem;
FileSystem& platform_file_system();
int run_batch(FileSystem& fs, const std::atomic<bool>& cancel);
}
