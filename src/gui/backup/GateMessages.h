#pragma once
// What a window says when the change gate kept a change from the drive: the
// backup or the journal could not be written, or the drive could not be read
// for the backup. Every window that writes to a drive reports through here.

#include "core/backup/ChangeGate.h"

class QWidget;

namespace hx::gui {

// Shows why nothing was written. When the disk was the trouble, asks whether
// to write once without a backup; on Yes the gate lets the next change to the
// drive through without one, and true tells the caller to send it again.
bool OfferToGoOnWithoutBackup(QWidget* parent, ChangeGate& changes, const GateResult& gate, const DriveHandle& drive);

// After a connect: says so when the drive's last whole-set write (a file,
// a restore, a setup) did not finish, and names the backup taken before it.
void TellOfUnfinishedWrite(QWidget* parent, ChangeGate& changes, const DriveHandle& drive);

}  // namespace hx::gui
