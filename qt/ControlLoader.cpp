#include "qt/ControlLoader.h"

#include <array>
#include <functional>

#include "qt/ColorPalette.h"
#include "qt/DeviceKeyButton.h"
#include "qt/ElidingComboBox.h"
#include "qt/SelectPanel.h"

namespace m470::qt {
namespace {

struct CustomClass {
    const char* name;
    QWidget* (*create)(QWidget* parent);
};

// Layout class names of our own controls, compared without regard to case.
const std::array<CustomClass, 4> kCustomClasses{{
    {"ColorPalette", [](QWidget* parent) -> QWidget* { return new ColorPalette(parent); }},
    {"QComboBox", [](QWidget* parent) -> QWidget* { return new ElidingComboBox(parent); }},
    {"DeviceKeyButton", [](QWidget* parent) -> QWidget* { return new DeviceKeyButton(parent); }},
    {"SelectPanel", [](QWidget* parent) -> QWidget* { return new SelectPanel(parent); }},
}};

}  // namespace

QWidget* ControlLoader::createWidget(const QString& className, QWidget* parent, const QString& name) {
    QWidget* widget = nullptr;
    for (const CustomClass& custom : kCustomClasses)
        if (className.compare(QLatin1String(custom.name), Qt::CaseInsensitive) == 0) widget = custom.create(parent);
    if (widget == nullptr) widget = QUiLoader::createWidget(className, parent, name);
    if (widget == nullptr) widget = new QWidget(parent);  // a class of a later panel: an empty container
    widget->setObjectName(name);
    widget->setProperty("m470Class", className);
    return widget;
}

}  // namespace m470::qt
