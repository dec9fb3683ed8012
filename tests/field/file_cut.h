// A watch for a load that cuts its file to `size` bytes the first time the
// reader asks it, as a log rotated or a download restarted would, at a
// point the test knows.
#pragma once

#include <sys/types.h>
#include <unistd.h>

struct FileCut {
    const char* path;
    off_t size;
    bool done = false;
    static bool go_on(void* context)
    {
        auto* cut = static_cast<FileCut*>(context);
        if (!cut->done)
            cut->done = truncate(cut->path, cut->size) == 0;
        return true;
    }
};
