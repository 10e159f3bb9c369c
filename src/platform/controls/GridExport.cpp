#include "platform/controls/GridExport.h"

#include "platform/controls/MessageBox.h"
#include "values/Currency.h"
#include "values/OleDate.h"
#include "values/Regional.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTreeView>

#include <algorithm>

namespace tesr::gridexport {

namespace {

QString oneLine(QString text)
{
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

// What a spreadsheet should read: money as a plain number, a date as ISO 8601 (the date alone
// when the cell shows it alone, or when it is a whole day). The blank separator instead of 'T'
// is the form spreadsheets read as a date and time.
QString machineText(const Cell& cell)
{
    if (cell.text.isEmpty())
        return {};
    const QMetaType type = cell.value.metaType();
    if (type == QMetaType::fromType<Currency>())
        return cell.value.value<Currency>().toPlainString();
    if (type == QMetaType::fromType<OleDate>()) {
        const OleDate date = cell.value.value<OleDate>();
        const QString day = date.date().toString(u"yyyy-MM-dd");
        if (date.startOfDay() == date || cell.text == Regional::formatShortDate(date))
            return day;
        return day + u' ' + date.time().toString(u"HH:mm:ss");
    }
    return cell.text;
}

// Where the file dialog opens: the folder the user exported to last, else the documents folder.
QString& lastFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString TabText(const Table& table)
{
    QString out;
    auto line = [&out](const QStringList& fields) {
        out += fields.join(u'\t');
        out += u'\n';
    };
    QStringList headers;
    for (const QString& h : table.headers)
        headers << oneLine(h);
    line(headers);
    for (const auto& row : table.rows) {
        QStringList fields;
        for (const Cell& cell : row)
            fields << oneLine(cell.text);
        line(fields);
    }
    return out;
}

QString CsvField(const Cell& cell)
{
    QString text = machineText(cell);
    if (!text.contains(u'"') && !text.contains(u',') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QString CsvText(const Table& table)
{
    QString out;
    QStringList fields;
    for (const QString& h : table.headers)
        fields << CsvField({h, {}});
    out += fields.join(u',') + QStringLiteral("\r\n");
    for (const auto& row : table.rows) {
        fields.clear();
        for (const Cell& cell : row)
            fields << CsvField(cell);
        out += fields.join(u',') + QStringLiteral("\r\n");
    }
    return out;
}

bool WriteCsvFile(const QString& path, const Table& table, QString* error)
{
    QSaveFile file(path);
    const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + CsvText(table).toUtf8();
    // A full disk shows when the buffer is flushed; commit() alone lets a short final write pass
    // and would put a truncated file in place of the user's.
    const bool ok =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit();
    if (!ok) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
    }
    return ok;
}

Table TableOf(const QTreeView& view, bool selectedOnly, int valueRole)
{
    Table table;
    const QAbstractItemModel* model = view.model();
    if (!model)
        return table;
    const QHeaderView* header = view.header();
    std::vector<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!view.isColumnHidden(logical)) {
            columns.push_back(logical);
            table.headers << model->headerData(logical, Qt::Horizontal).toString();
        }
    }
    std::vector<int> rows;
    if (selectedOnly) {
        if (const QItemSelectionModel* selection = view.selectionModel())
            for (const QModelIndex& i : selection->selectedRows())
                rows.push_back(i.row());
        std::sort(rows.begin(), rows.end());
    } else {
        for (int r = 0; r < model->rowCount(); ++r)
            rows.push_back(r);
    }
    for (int r : rows) {
        if (view.isRowHidden(r, QModelIndex()))
            continue;
        std::vector<Cell> cells;
        for (int c : columns) {
            const QModelIndex index = model->index(r, c);
            cells.push_back({index.data(Qt::DisplayRole).toString(), index.data(valueRole)});
        }
        table.rows.push_back(std::move(cells));
    }
    return table;
}

QString AskFileToSave(QWidget* parent, const QString& objectName, const QString& title, const QString& fileName,
                      const QString& nameFilter, const QString& suffix)
{
    QString name = fileName;
    for (QChar& c : name)
        if (QStringLiteral("/\\:*?\"<>|").contains(c))
            c = u'-';
    QString folder = lastFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QFileDialog dialog(parent, title);
    dialog.setObjectName(objectName);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(nameFilter);
    dialog.setDefaultSuffix(suffix);
    dialog.setDirectory(folder);
    dialog.selectFile(QDir(folder).filePath(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder() = QFileInfo(path).absolutePath();
    return path;
}

GridActions::GridActions(QWidget* owner, Source source) : QObject(owner), m_owner(owner), m_source(std::move(source))
{
    m_copy = new QAction(tr("Copy"), owner);
    m_copy->setObjectName(QStringLiteral("actionCopyRows"));
    m_copy->setShortcut(QKeySequence::Copy);
    // Only while the list itself has the focus: an open cell editor keeps its own Ctrl+C.
    m_copy->setShortcutContext(Qt::WidgetShortcut);
    m_copy->setToolTip(tr("Copy the selected rows, with the column headings, as tab-separated text"));
    m_export = new QAction(tr("Export to CSV..."), owner);
    m_export->setObjectName(QStringLiteral("actionExportCsv"));
    m_export->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_export->setShortcutContext(Qt::WidgetShortcut);
    m_export->setToolTip(tr("Save every row of the list in a CSV file for a spreadsheet"));
    owner->addAction(m_copy);
    owner->addAction(m_export);
    connect(m_copy, &QAction::triggered, this, &GridActions::Copy);
    connect(m_export, &QAction::triggered, this, &GridActions::Export);
}

void GridActions::Copy()
{
    const Table table = m_source(true);
    if (table.rows.empty())
        return;
    QApplication::clipboard()->setText(TabText(table));
}

void GridActions::Export()
{
    const QString name = m_fileName ? m_fileName() : QString();
    const QString path = AskFileToSave(m_owner->window(), QStringLiteral("exportFileDialog"), tr("Export to CSV"),
                                       (name.trimmed().isEmpty() ? tr("List") : name) + QStringLiteral(".csv"),
                                       tr("CSV files (*.csv);;All files (*)"), QStringLiteral("csv"));
    if (!path.isEmpty())
        ExportTo(path);
}

bool GridActions::ExportTo(const QString& path)
{
    QString error;
    if (WriteCsvFile(path, m_source(false), &error))
        return true;
    MessageBox::Show(tr("The list could not be exported to %1: %2.\n\nNothing was written. Choose another folder, "
                        "or make room on the disk, and export again.")
                         .arg(QDir::toNativeSeparators(path), error),
                     MessageBox::OkOnly | MessageBox::Exclamation, tr("Export to CSV"));
    return false;
}

} // namespace tesr::gridexport
