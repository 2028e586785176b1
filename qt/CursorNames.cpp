#include "qt/CursorNames.h"

#include <array>

namespace m470::qt {
namespace {

struct CursorName {
    const char* name;
    Qt::CursorShape shape;
};

// "icon" has no shape of its own any more; it has long looked like the arrow.
constexpr std::array<CursorName, 14> kCursorNames{{
    {"arrow", Qt::ArrowCursor},
    {"ibeam", Qt::IBeamCursor},
    {"wait", Qt::WaitCursor},
    {"cross", Qt::CrossCursor},
    {"uparrow", Qt::UpArrowCursor},
    {"size", Qt::SizeAllCursor},
    {"icon", Qt::ArrowCursor},
    {"sizenwse", Qt::SizeFDiagCursor},
    {"sizenesw", Qt::SizeBDiagCursor},
    {"sizewe", Qt::SizeHorCursor},
    {"sizens", Qt::SizeVerCursor},
    {"sizeall", Qt::SizeAllCursor},
    {"no", Qt::ForbiddenCursor},
    {"hand", Qt::PointingHandCursor},
}};

const CursorName* Find(const QString& name) {
    for (const CursorName& row : kCursorNames)
        if (name.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0) return &row;
    return nullptr;
}

}  // namespace

Qt::CursorShape CursorShapeOf(const QString& name) {
    const CursorName* row = Find(name);
    return row != nullptr ? row->shape : Qt::ArrowCursor;
}

bool IsCursorName(const QString& name) { return Find(name) != nullptr; }

}  // namespace m470::qt
