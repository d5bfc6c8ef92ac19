#include "core/util/LinkActivity.h"

#include <atomic>

namespace hx {
namespace {
std::atomic<int> g_inProgress{0};
std::atomic<uint64_t> g_ended{0};
}  // namespace

LinkWorkScope::LinkWorkScope() { g_inProgress.fetch_add(1); }

LinkWorkScope::~LinkWorkScope() {
    // Ended first: whoever sees the work gone also sees it counted as ended.
    g_ended.fetch_add(1);
    g_inProgress.fetch_sub(1);
}

int LinkWorkInProgress() { return g_inProgress.load(); }
uint64_t LinkWorkEnded() { return g_ended.load(); }

}  // namespace hx
