#include "qt/ControlLoader.h"

#include <QCoreApplication>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolBox>
#include <array>
#include <functional>

#include "qt/AudioRecordUI.h"
#include "qt/ChartViewUI.h"
#include "qt/CircleProgressUI.h"
#include "qt/ColorPalette.h"
#include "qt/Container.h"
#include "qt/DeviceKeyButton.h"
#include "qt/ElidingComboBox.h"
#include "qt/HandImgButtonUI.h"
#include "qt/RedioMacroButtonUI.h"
#include "qt/SelectPanel.h"
#include "qt/WndUI.h"

namespace m470::qt {
namespace {

struct CustomClass {
    const char* name;
    QWidget* (*create)(QWidget* parent);
};

// Qt's loader makes a page of a stack, tabs or tool box without a parent (the
// container adopts it as it adds it), and its widgets then meet the window's
// style sheet once, when it is added: a page made here does the same.
QWidget* PageParent(QWidget* parent) {
    const bool holdsPages = qobject_cast<QStackedWidget*>(parent) != nullptr || qobject_cast<QTabWidget*>(parent) != nullptr ||
                            qobject_cast<QToolBox*>(parent) != nullptr;
    return holdsPages ? nullptr : parent;
}

// Layout class names of our own controls, compared without regard to case.
const std::array<CustomClass, 12> kCustomClasses{{
    {"ColorPalette", [](QWidget* parent) -> QWidget* { return new ColorPalette(parent); }},
    {"QComboBox", [](QWidget* parent) -> QWidget* { return new ElidingComboBox(parent); }},
    {"QWidget", [](QWidget* parent) -> QWidget* { return new Container(PageParent(parent)); }},
    {"DeviceKeyButton", [](QWidget* parent) -> QWidget* { return new DeviceKeyButton(parent); }},
    {"SelectPanel", [](QWidget* parent) -> QWidget* { return new SelectPanel(parent); }},
    {"RedioMacroButton", [](QWidget* parent) -> QWidget* { return new CRedioMacroButtonUI(parent); }},
    {"HandImgButton", [](QWidget* parent) -> QWidget* { return new CHandImgButtonUI(parent); }},
    {"HandImgSelectButton", [](QWidget* parent) -> QWidget* { return new CHandImgSelectButtonUI(parent); }},
    {"CircleProgress", [](QWidget* parent) -> QWidget* { return new CCircleProgressUI(parent); }},
    {"AudioRecord", [](QWidget* parent) -> QWidget* { return new CAudioRecordUI(parent); }},
    {"ChartView", [](QWidget* parent) -> QWidget* { return new CChartViewUI(parent); }},
    {"Wnd", [](QWidget* parent) -> QWidget* { return new CWndUI(parent); }},
}};

}  // namespace

LibraryPathsSetAside::LibraryPathsSetAside() : paths_(QCoreApplication::libraryPaths()) {
    QCoreApplication::setLibraryPaths({});
}

void LibraryPathsSetAside::Restore() const { QCoreApplication::setLibraryPaths(paths_); }

QWidget* ControlLoader::createWidget(const QString& className, QWidget* parent, const QString& name) {
    QWidget* widget = nullptr;
    for (const CustomClass& custom : kCustomClasses)
        if (className.compare(QLatin1String(custom.name), Qt::CaseInsensitive) == 0) widget = custom.create(parent);
    if (widget == nullptr) widget = QUiLoader::createWidget(className, parent, name);
    if (widget == nullptr) widget = new Container(parent);  // a class of a later panel: an empty container
    widget->setObjectName(name);
    widget->setProperty("m470Class", className);
    return widget;
}

}  // namespace m470::qt
