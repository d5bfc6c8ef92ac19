#pragma once
// A look taken between the requests of long work on a drive (a capture's
// completion polls, the window's idle alarm read). The layers that do such
// work sit below the run test, whose look it is (runs left by a program that
// died, runtest/LeftRunWatch): the program installs it at start-up, and work
// below only calls it. Without one installed nothing is looked at.

#include "core/link/DriveHandle.h"

namespace hx {

using BetweenRequestsLook = void (*)(DriveHandle drive);
void SetBetweenRequestsLook(BetweenRequestsLook look);
void LookBetweenRequests(DriveHandle drive);

}  // namespace hx
