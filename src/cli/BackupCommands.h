#pragma once
// The `params backups|restore|history` commands of halvex-cli, and their
// work for one drive.

#include <string>

#include "core/backup/ChangeGate.h"

class CliCommands;
class CliContext;

// Registers "params backups|restore|history"; after AddParamsCommands.
void AddBackupCommands(CliCommands& commands);

// The backups of the drive at port and station (all when port is empty and
// station -1), newest first.
int ListBackups(const CliContext& ctx, const std::string& port, int station);
// The journal of the drive at port and station, newest first (count <= 0: all).
int ShowHistory(const CliContext& ctx, const std::string& port, int station, int count);
// Restores a file (or "latest", the drive's newest backup) onto a connected
// drive: only what differs is written, then read back.
int RestoreDrive(const CliContext& ctx, hx::DriveHandle drive, const hx::DriveInfo& info, const std::string& which,
                 bool force);
