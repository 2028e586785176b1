#pragma once
// Cursor names of the layouts and the cursor shape each stands for.
#include <QString>
#include <Qt>

namespace m470::qt {

// Compared without regard to case; an unknown name gives the arrow.
Qt::CursorShape CursorShapeOf(const QString& name);
bool IsCursorName(const QString& name);

}  // namespace m470::qt
