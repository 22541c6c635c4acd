#include "audio/ProcessPriority.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/types.h>
#endif

namespace halvix {

#ifdef _WIN32

bool raiseProcessPriority() {
    // Real-time class would starve the desktop's own input handling; high is what a bell needs.
    return SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS) != 0;
}

#else

namespace {

// Lowers the nice value of one thread (Linux) or the process as far as allowed; the best value reached.
int raiseNice(int who) {
    for (int nice = -20; nice < 0; ++nice) {
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(who), nice) == 0)
            return nice;
    }
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(who));
    return errno == 0 ? current : 0;
}

} // namespace

bool raiseProcessPriority() {
    const int reached = raiseNice(0);
#ifdef __linux__
    // On Linux a nice value belongs to one thread: raise every thread the process already has;
    // threads started later inherit the value of the thread that starts them.
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.')
                continue;
            raiseNice(static_cast<int>(std::strtol(entry->d_name, nullptr, 10)));
        }
        closedir(tasks);
    }
#endif
    return reached < 0;
}

#endif

} // namespace halvix
