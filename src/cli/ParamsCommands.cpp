#include "cli/ParamsCommands.h"

#include <ostream>

#include "cli/CliContext.h"

int RunParamsCommand(const CliContext& ctx, const std::vector<std::string>& /*args*/) {
    ctx.Err() << "params: not available\n";
    return kExitUsage;
}
