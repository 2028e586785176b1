#pragma once
// The control factory: the loader's createWidget turns the custom class
// names of the layouts into our widgets; unknown classes become plain
// containers so a layout always loads.
#include <QUiLoader>

namespace m470::qt {

class ControlLoader : public QUiLoader {
public:
    using QUiLoader::QUiLoader;
    QWidget* createWidget(const QString& className, QWidget* parent = nullptr, const QString& name = QString()) override;
};

}  // namespace m470::qt
