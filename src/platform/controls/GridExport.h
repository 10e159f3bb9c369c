#pragma once

// Copying a list to the clipboard and exporting it to a CSV file, for every grid of the module
// and of a host: the rows as the grid shows them (its order, its visible columns, its captions),
// with a header row.
//
// The clipboard gets tab-separated text, cell captions exactly as shown, so a paste into a
// spreadsheet or a mail looks like the screen. The CSV file is for spreadsheets to compute with:
// RFC 4180 quoting, UTF-8, money as plain decimal numbers ("-1234.5") and dates as ISO 8601
// ("2024-05-01", or "2024-05-01 14:45:00" when the time of day matters), so they are read as
// numbers and dates whatever the reader's regional settings.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

class QAction;
class QTreeView;
class QWidget;

namespace tesr::gridexport {

// One cell: the text shown, and the value behind it (tesr::Currency and tesr::OleDate values are
// written in their machine-readable form; any other value leaves the text to speak).
struct Cell {
    QString text;
    QVariant value;
};

struct Table {
    QStringList headers;
    std::vector<std::vector<Cell>> rows;
};

// Tab-separated text, a header row first, "\n" after every line. A tab or line break inside a
// cell becomes a blank, so every row stays on one line.
QString TabText(const Table& table);

// One CSV field, quoted (its quotes doubled) when it holds a quote, comma or line break.
QString CsvField(const Cell& cell);
// The whole table as CSV, CRLF after every record.
QString CsvText(const Table& table);

// Writes the CSV to the file as UTF-8 with a byte-order mark (which spreadsheets take as the
// sign of UTF-8), all or nothing: on any failure the file the user named is left as it was.
// False, with the reason in `error`, when the file could not be written.
bool WriteCsvFile(const QString& path, const Table& table, QString* error = nullptr);

// The rows of a plain list view (a QTreeWidget, say): its visible columns in their order, the
// selected rows only or all of them, top to bottom. `valueRole` is the item role holding the
// typed value of money and date cells.
Table TableOf(const QTreeView& view, bool selectedOnly, int valueRole);

// Asks where to save a file: the save dialog (named `objectName`) opened in the folder the user
// saved to last (else the documents folder), offering `fileName` with characters no file system
// takes replaced. Empty when the user cancels.
QString AskFileToSave(QWidget* parent, const QString& objectName, const QString& title, const QString& fileName,
                      const QString& nameFilter, const QString& suffix);

// The two actions a grid offers in its context menu: "Copy" (Ctrl+C, the selected rows to the
// clipboard) and "Export to CSV..." (Ctrl+E, every row to a file the user chooses). They belong
// to `owner`, which gets them as actions (so they appear in an actions context menu and their
// shortcuts work while it has the focus).
class GridActions : public QObject {
    Q_OBJECT
public:
    using Source = std::function<Table(bool selectedOnly)>;
    GridActions(QWidget* owner, Source source);

    QAction* CopyAction() const { return m_copy; }
    QAction* ExportAction() const { return m_export; }

    // The file name offered first (".csv" is added), e.g. the window's caption.
    void SetFileName(std::function<QString()> name) { m_fileName = std::move(name); }

    // Puts the selected rows on the clipboard; nothing happens when no row is selected.
    void Copy();
    // Asks for a file (the dialog is named "exportFileDialog") and writes every row to it.
    void Export();
    // Writes every row to the file; a failure is shown in a message box. True when written.
    bool ExportTo(const QString& path);

private:
    QWidget* m_owner;
    Source m_source;
    std::function<QString()> m_fileName;
    QAction* m_copy;
    QAction* m_export;
};

} // namespace tesr::gridexport
