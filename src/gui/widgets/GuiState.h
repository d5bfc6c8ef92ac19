#pragma once
// Program-wide state that only the windows use.

#include <QPointer>
#include <QWidget>

// The open parameter manager (set and cleared by the manager itself).
extern QPointer<QWidget> g_paramManagerWnd;
