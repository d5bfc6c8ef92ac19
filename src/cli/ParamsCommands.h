#pragma once
// The `params ...` commands of halvex-cli.

#include <future>
#include <string>
#include <vector>

#include "cli/CliContext.h"

class CliCommands;
class CParameter;
namespace hx {
struct DriveIdentity;
struct ParameterDefinition;
}

// Connects as the connection window does (register 0 answers, then the
// identity), registers the model's types in the table, tells the change gate
// who the drive is and says when its last whole-set write did not finish
// (a command that only reads, use, looks for its mark first). requireDefinitions: refuse (as a
// file cannot be saved or loaded without them); otherwise only warn. False
// with *status set. With typesLater, the types are only read from the
// database, beside what the caller does next, for RegisterDefinitions.
bool ConnectDrive(const CliContext& ctx, CParameter& table, hx::DriveIdentity* identity, int* status,
                  bool requireDefinitions = false, std::vector<hx::ParameterDefinition>* definitions = nullptr,
                  CliContext::LinkUse use = CliContext::LinkUse::MayChange,
                  std::future<std::vector<hx::ParameterDefinition>>* typesLater = nullptr);
bool RegisterDefinitions(const CliContext& ctx, CParameter& table, const hx::DriveIdentity& identity,
                         std::future<std::vector<hx::ParameterDefinition>>& loaded, int* status,
                         bool requireDefinitions, std::vector<hx::ParameterDefinition>* definitions);

// Registers "params dump|save|read|load|compare" with halvex-cli.
void AddParamsCommands(CliCommands& commands);
