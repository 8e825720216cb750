#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QMimeData;
class QWidget;

// The box text for what is being dragged when it is one local file that is (or links to)
// a regular file: the path a picker would write for it. The picker names a folder as the
// current folder reads back, links resolved, so the dropped file's folder is named so
// too. Nothing otherwise: several items, a folder, a remote or missing file.
std::optional<QString> DroppedFilePath(const QMimeData& data);

// Lets a file dragged from a file manager onto a box be written into it through write,
// the box's picker writer, as the picker's OK would. Anything else dragged there is
// refused. The box stays read-only; the current folder is not touched.
class FileDropTarget : public QObject {
    Q_OBJECT
public:
    using Writer = std::function<void(const QString& text)>;

    // Installs itself on box and lives as long as it.
    FileDropTarget(QWidget* box, Writer write);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Writer write_;
};
