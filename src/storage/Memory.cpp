#include "storage/Memory.h"

#include <malloc.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace storage {
namespace {

// "MemAvailable" of /proc/meminfo, in bytes.
uint64_t systemAvailable() {
    std::FILE* f = std::fopen("/proc/meminfo", "re");
    if (!f) return UINT64_MAX;
    char line[256];
    uint64_t kib = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
        found = std::sscanf(line, "MemAvailable: %lu kB", &kib) == 1;
    std::fclose(f);
    return found ? kib * 1024 : UINT64_MAX;
}

// Pages of address space (statm field 1) and of data (field 6) this process maps now.
bool mappedNow(uint64_t& addressSpace, uint64_t& data) {
    std::FILE* f = std::fopen("/proc/self/statm", "re");
    if (!f) return false;
    unsigned long size = 0, resident = 0, shared = 0, text = 0, lib = 0, dataPages = 0;
    const bool ok = std::fscanf(f, "%lu %lu %lu %lu %lu %lu", &size, &resident, &shared, &text, &lib, &dataPages) == 6;
    std::fclose(f);
    const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    addressSpace = size * page;
    data = dataPages * page;
    return ok;
}

uint64_t headroom(int resource, uint64_t used) {
    rlimit limit{};
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

}  // namespace

uint64_t memoryAtHand() {
    uint64_t atHand = systemAvailable();
    uint64_t addressSpace = 0, data = 0;
    if (mappedNow(addressSpace, data)) {
        atHand = std::min(atHand, headroom(RLIMIT_AS, addressSpace));
        atHand = std::min(atHand, headroom(RLIMIT_DATA, data));
    }
    return atHand;
}

void oneHeapUnderAddressLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) ::mallopt(M_ARENA_MAX, 1);
}

int usableCores() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, CPU_COUNT(&set));
}

}  // namespace storage
