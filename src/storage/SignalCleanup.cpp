#include "storage/SignalCleanup.h"

#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <iterator>
#include <utility>

namespace storage {
namespace {

// The temporary files being written, for the signal handler to remove: a sheet and its frame list
// may be open together.
constexpr size_t kMostOpen = 4;
std::atomic<const char*> g_partFiles[kMostOpen] = {};
int g_watching = 0;  // temporary files noted; the handlers are in place while there is one
constexpr int kCleanUpSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};  // SIGXFSZ: past the user's file size limit
struct sigaction g_previous[std::size(kCleanUpSignals)];
bool g_installed[std::size(kCleanUpSignals)] = {};

void removePartFilesAndDie(int signal) {
    for (auto& slot : g_partFiles)
        if (const char* part = slot.exchange(nullptr)) ::unlink(part);
    for (size_t i = 0; i < std::size(kCleanUpSignals); ++i)
        if (kCleanUpSignals[i] == signal) ::sigaction(signal, &g_previous[i], nullptr);
    ::raise(signal);  // as the signal would have ended the program without us
}

}  // namespace

void watchSignals(const char* part) {
    for (auto& slot : g_partFiles) {
        const char* none = nullptr;
        if (slot.compare_exchange_strong(none, part)) break;
    }
    if (g_watching++ > 0) return;
    for (size_t i = 0; i < std::size(kCleanUpSignals); ++i) {
        struct sigaction now {};
        now.sa_handler = removePartFilesAndDie;
        sigemptyset(&now.sa_mask);
        struct sigaction before {};
        ::sigaction(kCleanUpSignals[i], nullptr, &before);
        if (before.sa_handler == SIG_IGN) continue;  // a background job ignores it: so do we
        g_installed[i] = ::sigaction(kCleanUpSignals[i], &now, &g_previous[i]) == 0;
    }
}

void unwatchSignals(const char* part) {
    for (auto& slot : g_partFiles) {
        const char* expected = part;
        if (slot.compare_exchange_strong(expected, nullptr)) break;
    }
    if (--g_watching > 0) return;
    for (size_t i = 0; i < std::size(kCleanUpSignals); ++i)
        if (std::exchange(g_installed[i], false)) ::sigaction(kCleanUpSignals[i], &g_previous[i], nullptr);
}

}  // namespace storage
