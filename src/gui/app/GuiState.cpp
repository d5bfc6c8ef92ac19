#include "gui/app/GuiState.h"

QPointer<QWidget> g_paramManagerWnd;
