#pragma once
// The program's icon, drawn in code from the same shapes as data/quorvane.svg,
// so the window has it without Qt's SVG plug-in.

#include <QIcon>

QIcon AppIcon();
