#pragma once
// The tuning tests' name for the shared drive rig.
#include "support/PtyDrive.h"
namespace hx::coretest {
using namespace hx::test;
}
