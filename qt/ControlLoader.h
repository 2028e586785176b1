#pragma once
// The control factory: the loader's createWidget turns the custom class
// names of the layouts into our widgets; unknown classes become plain
// containers so a layout always loads.
#include <QStringList>
#include <QUiLoader>

namespace m470::qt {

// Qt's loader loads every Designer widget plugin as it is made (one of them
// brings in Qt Quick and QML, about 5 MiB resident, for nothing): our
// layouts hold only Qt's own classes and ours. The library paths are set
// aside while it is made, on the UI thread, the only one that loads plugins.
class LibraryPathsSetAside {
protected:
    LibraryPathsSetAside();
    void Restore() const;

private:
    QStringList paths_;
};

// Qt's loader without Designer's widget plugins.
class PlainLoader : private LibraryPathsSetAside, public QUiLoader {
public:
    explicit PlainLoader(QObject* parent = nullptr) : QUiLoader(parent) { Restore(); }
};

class ControlLoader : public PlainLoader {
public:
    using PlainLoader::PlainLoader;
    QWidget* createWidget(const QString& className, QWidget* parent = nullptr, const QString& name = QString()) override;
};

}  // namespace m470::qt
