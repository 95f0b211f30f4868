// TEMPORARY stand-in until batch/run.h lands.
#include "app/batch_stub.h"
#include <windows.h>
#include <cstdio>
#include "settings/shared_data.h"
namespace ravolin {
struct FileSystem {};
FileSystem& platform_file_system() { static FileSystem fs; return fs; }
int run_batch(FileSystem&, const std::atomic<bool>& cancel) {
    g_text_slots[1][0] = 0;
    for (int i = 0; i < 30; ++i) {
        if (cancel.load()) return 1;
        Sleep(100);
        append_text(g_text_slots[1], kSlotSize, "Converted: x.c(1 tabs, 0 dots)\r\n");
    }
    copy_text(g_text_slots[0], kSlotSize, "Converted files = 30 (Total 30 tabs, 0 dots), Non conv. = 0, Refused = 0\r\n");
    append_text(g_text_slots[0], kSlotSize, g_text_slots[1]);
    g_text_slots[1][0] = 0;
    return 0;
}
}
