#include "gui/widgets/GuiState.h"

QPointer<QWidget> g_paramManagerWnd;
