#pragma once

#include "ui/conversion_run.h"
#include "ui/window_growth.h"

#include <QTreeWidget>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class QMenu;

namespace pagelift::window {

// Opens a file or folder with the desktop's program for it; false when no
// program could be started. QDesktopServices::openUrl in the program.
using UrlOpener = std::function<bool(const QUrl& url)>;

// The list of a run's results: a row per file with its source (relative to
// the source folder, the full path as its tooltip), what was written and the
// result. Paths that do not fit are shortened in the middle, columns keep
// their proportions as the list grows and sort by a click on their heading.
// A row opens its JPEG by a double click or Enter; its context menu offers
// "Open", "Open Containing Folder" and "Copy Path".
class ResultsList : public QTreeWidget {
    Q_OBJECT
public:
    ResultsList(UrlOpener opener, QWidget* parent = nullptr);

    // Sizes the first two columns to their headings, the last filling the
    // rest; from then on the columns follow the list's width.
    void sizeColumnsToHeadings();

    // The heading of the destination column names the format written:
    // "Destination JPEG Files".
    void setOutputWord(const std::string& word);

    void clearRows();
    // Adds the row of the index-th file of the run (the indexes come in order).
    void addRow(int index, const std::string& source, const std::string& entry);
    // Fills the row of the index-th file; nothing when it has no row.
    void finishRow(int index, const FileResult& result);
    // The row of the index-th file of the run, wherever sorting put it; null
    // when there is none.
    QTreeWidgetItem* rowOf(int index) const;

    // The file a row's actions use: its JPEG, or with none its source.
    static QString jpegOf(const QTreeWidgetItem& row);
    static QString sourceOf(const QTreeWidgetItem& row);
    // Where the row's fax is now: its source, or where the run moved it.
    static QString faxOf(const QTreeWidgetItem& row);
    // Why the row's outputs were not written; empty when they were.
    static QString causeOf(const QTreeWidgetItem& row);

    // Opens the row's JPEG (the first page of several). False, with a
    // message saying why, when the row has none, the file is gone or no
    // program could open it.
    bool openRow(const QTreeWidgetItem& row);

    // The row's context menu: "Open" (its JPEG; disabled without one),
    // "Open Containing Folder" and "Copy Path" (of its JPEG, or of its
    // source when it has none).
    std::unique_ptr<QMenu> rowMenu(const QTreeWidgetItem& row);

protected:
    // Enter on a row opens it instead of ending the program.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool openJpeg(const QString& jpeg, const QString& source, const QString& word);
    void showMessage(const QString& text);
    void applyColumnShares();

    UrlOpener opener_;
    std::vector<QTreeWidgetItem*> rows_;  // by index in the run
    ColumnShares shares_;
    bool settingWidths_ = false;
};

}  // namespace pagelift::window
