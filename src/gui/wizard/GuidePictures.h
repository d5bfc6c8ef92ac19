#pragma once
// The header pictures of the wizard's pages, drawn rather than stored so they
// stay sharp at any width: the drive's front panel with its station switch,
// the motor current dropping to standby, an encoder disc with its pulses, and
// the I/O connector.

#include <QPixmap>
#include <QSize>

namespace hx::gui {

enum class GuidePicture { FrontPanel, CurrentWave, EncoderDisc, Connector };

QPixmap DrawGuidePicture(GuidePicture picture, QSize size);

}  // namespace hx::gui
