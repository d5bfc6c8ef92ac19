#include "core/link/BetweenRequests.h"

#include <atomic>

namespace hx {
namespace {
std::atomic<BetweenRequestsLook> g_look{nullptr};
}  // namespace

void SetBetweenRequestsLook(BetweenRequestsLook look) { g_look = look; }

void LookBetweenRequests(DriveHandle drive) {
    if (const BetweenRequestsLook look = g_look.load()) look(drive);
}

}  // namespace hx
