// Drawing a receipt on paper or into a PDF, and the print preview it is printed from.

#include "forms/Receipt/Receipt.h"

#include "platform/controls/GridExport.h"
#include "platform/controls/MessageBox.h"
#include "values/Regional.h"

#include <QAction>
#include <QDir>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QScreen>
#include <QToolBar>

#include <functional>

namespace tesr::receipt {

namespace {

constexpr double MarginMm = 18;

QPageSize pageSizeForRegion()
{
    return QPageSize(Regional::locale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                         : QPageSize::A4);
}

// Lays the receipt out top to bottom in millimetres on the paintable area of each page.
class Layout {
public:
    Layout(QPainter& p, QPagedPaintDevice& device) : m_p(p), m_device(device)
    {
        m_unit = device.logicalDpiX() / 25.4;
        const QRectF area = device.pageLayout().paintRectPixels(device.logicalDpiX());
        m_width = area.width() / m_unit;
        m_height = area.height() / m_unit;
    }

    double width() const { return m_width; }
    double y() const { return m_y; }
    void down(double mm) { m_y += mm; }
    // Room left above the footer.
    bool fits(double mm) const { return m_y + mm <= m_height - FooterMm; }
    void newPage()
    {
        m_device.newPage();
        m_y = 0;
    }

    QFont font(double points, bool bold = false, bool italic = false) const
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setStyleHint(QFont::SansSerif);
        f.setPointSizeF(points);
        f.setBold(bold);
        f.setItalic(italic);
        return f;
    }
    // Height in mm the text takes in a box of the width, wrapped at word boundaries.
    double wrappedMm(const QString& s, const QFont& f, double widthMm) const
    {
        const QRectF box(0, 0, widthMm * m_unit, 10000);
        const double h = QFontMetricsF(f, &m_device).boundingRect(box, Qt::TextWordWrap, s).height() / m_unit;
        return std::max(h, lineMm(f));
    }
    // Height in mm of one line of the font.
    double lineMm(const QFont& f) const { return QFontMetricsF(f, &m_device).height() / m_unit; }

    // Text in a box x..x+w at the current line; returns the height used (wrapped when asked).
    double text(double x, double w, const QString& s, const QFont& f, Qt::Alignment align = Qt::AlignLeft,
                const QColor& color = Qt::black, bool wrap = false, double atY = -1)
    {
        m_p.setFont(f);
        m_p.setPen(color);
        const int flags = int(align | Qt::AlignTop) | (wrap ? Qt::TextWordWrap : 0);
        const QRectF box(x * m_unit, (atY < 0 ? m_y : atY) * m_unit, w * m_unit, 10000);
        QRectF used;
        m_p.drawText(box, flags, s, &used);
        return std::max(used.height() / m_unit, lineMm(f));
    }
    void rule(double thicknessMm, const QColor& color, double atY = -1)
    {
        const double y = (atY < 0 ? m_y : atY) * m_unit;
        m_p.fillRect(QRectF(0, y, m_width * m_unit, thicknessMm * m_unit), color);
    }
    void fill(double x, double w, double h, const QColor& color)
    {
        m_p.fillRect(QRectF(x * m_unit, m_y * m_unit, w * m_unit, h * m_unit), color);
    }
    double bottom() const { return m_height; }
    static constexpr double FooterMm = 26;

private:
    QPainter& m_p;
    QPagedPaintDevice& m_device;
    double m_unit = 1;
    double m_width = 0;
    double m_height = 0;
    double m_y = 0;
};

const QColor Ink(0x1f, 0x29, 0x37);
const QColor Muted(0x5b, 0x64, 0x70);
const QColor Line(0xc9, 0xcf, 0xd6);
const QColor Band(0xee, 0xf1, 0xf4);

// Columns of the orders table: x and width in mm, the last two right-aligned money columns.
struct Columns {
    double date, order, sidemark, applied, balance;
    double dateW, orderW, sidemarkW, moneyW;
    explicit Columns(double width)
    {
        moneyW = 27;
        dateW = 26;
        orderW = 30;
        date = 2;
        order = date + dateW;
        sidemark = order + orderW;
        balance = width - moneyW - 2;
        applied = balance - moneyW - 2;
        sidemarkW = applied - sidemark - 2;
    }
};

void tableHeading(Layout& l, const Columns& c, bool continued)
{
    if (continued) {
        const QFont title = l.font(11, true);
        l.text(0, l.width(), QObject::tr("Applied to (continued)"), title, Qt::AlignLeft, Ink);
        l.down(l.lineMm(title) + 2);
    }
    const QFont f = l.font(8.5, true);
    const double h = l.lineMm(f) + 2.4;
    l.fill(0, l.width(), h, Band);
    const double top = l.y() + 1.2;
    l.text(c.date, c.dateW, QObject::tr("Applied on"), f, Qt::AlignLeft, Muted, false, top);
    l.text(c.order, c.orderW, QObject::tr("Order"), f, Qt::AlignLeft, Muted, false, top);
    l.text(c.sidemark, c.sidemarkW, QObject::tr("Sidemark"), f, Qt::AlignLeft, Muted, false, top);
    l.text(c.applied, c.moneyW, QObject::tr("Applied"), f, Qt::AlignRight, Muted, false, top);
    l.text(c.balance, c.moneyW, QObject::tr("Balance after"), f, Qt::AlignRight, Muted, false, top);
    l.down(h + 1);
}

void footer(Layout& l, const Receipt& r)
{
    const double top = l.bottom() - Layout::FooterMm + 6;
    l.rule(0.3, Line, top);
    const QFont small = l.font(7.5, false, false);
    l.text(0, l.width(), r.footer, l.font(10, false, true), Qt::AlignHCenter, Ink, false, top + 3);
    l.text(0, l.width(),
           QObject::tr("Balance after: the order's balance once the amount beside it was applied. Printed %1.")
               .arg(Regional::formatGeneralDate(r.printedOn)),
           small, Qt::AlignHCenter, Muted, true, top + 10);
}

void paint(QPainter& p, QPagedPaintDevice& device, const Receipt& r)
{
    Layout l(p, device);
    const double w = l.width();

    // The shop at the left, what this is at the right.
    const double top = l.y();
    double left = 0;
    if (!r.shopName.isEmpty())
        left += l.text(0, w * 0.62, r.shopName, l.font(16, true), Qt::AlignLeft, Ink, true, top) + 1;
    for (const QString& line : r.shopAddress)
        left += l.text(0, w * 0.62, line, l.font(9.5), Qt::AlignLeft, Muted, true, top + left);
    double right = l.text(w * 0.5, w * 0.5, QObject::tr("RECEIPT"), l.font(20, true), Qt::AlignRight, Ink, false, top);
    right += l.text(w * 0.5, w * 0.5, QObject::tr("Payment No. %1").arg(r.paymentID), l.font(9.5), Qt::AlignRight,
                    Muted, false, top + right);
    l.down(std::max(left, right) + 5);
    l.rule(0.6, Ink);
    l.down(6);

    // Who paid, when, how.
    const QFont label = l.font(9, false);
    const QFont value = l.font(11);
    const double labelW = 34;
    auto field = [&](const QString& name, const QString& text) {
        const double h = l.text(labelW, w - labelW, text, value, Qt::AlignLeft, Ink, true);
        l.text(0, labelW, name, label, Qt::AlignLeft, Muted, false, l.y() + 0.6);
        l.down(h + 2);
    };
    field(QObject::tr("Received from"), r.customerName);
    field(QObject::tr("Date"), r.paymentDate.isAbsent() ? QString() : Regional::formatShortDate(r.paymentDate));
    if (!r.method.isEmpty())
        field(QObject::tr("Method"), r.method);
    if (!r.memo.isEmpty())
        field(QObject::tr("Memo"), r.memo);
    l.down(2);

    // The amount, in a band of its own.
    const QFont big = l.font(14, true);
    const double bandH = l.lineMm(big) + 5;
    l.fill(0, w, bandH, Band);
    const double bandText = l.y() + 2.5;
    l.text(4, w / 2, QObject::tr("Amount received"), l.font(11, true), Qt::AlignLeft, Ink, false, bandText + 0.8);
    l.text(w / 2, w / 2 - 4, Regional::formatCurrency(r.amount), big, Qt::AlignRight, Ink, false, bandText);
    l.down(bandH + 8);

    // Where it went.
    l.text(0, w, QObject::tr("Applied to"), l.font(11, true), Qt::AlignLeft, Ink);
    l.down(l.lineMm(l.font(11, true)) + 2);
    const Columns c(w);
    const QFont cell = l.font(9.5);
    const double rowGap = 2.2;
    const double rowH = l.lineMm(cell) + rowGap;
    CurrencyTotal applied;
    if (r.applied.empty()) {
        l.text(c.date, w, QObject::tr("Nothing; the whole amount is credit."), l.font(9.5, false, true), Qt::AlignLeft,
               Muted);
        l.down(rowH);
    } else {
        tableHeading(l, c, false);
        for (const AppliedLine& a : r.applied) {
            // Long order numbers and sidemarks wrap: a receipt shows them whole.
            const QString sidemark = a.orderKnown ? a.sidemark : QObject::tr("(kept on another system)");
            const double h =
                std::max(l.wrappedMm(a.orderNumber, cell, c.orderW - 2), l.wrappedMm(sidemark, cell, c.sidemarkW)) +
                rowGap;
            if (!l.fits(h)) {
                footer(l, r);
                l.newPage();
                tableHeading(l, c, true);
            }
            const QString date = a.appliedOn.isAbsent() ? QString() : Regional::formatShortDate(a.appliedOn);
            l.text(c.date, c.dateW, date, cell);
            l.text(c.order, c.orderW - 2, a.orderNumber, cell, Qt::AlignLeft, Qt::black, true);
            l.text(c.sidemark, c.sidemarkW, sidemark, cell, Qt::AlignLeft, Qt::black, true);
            l.text(c.applied, c.moneyW, Regional::formatCurrency(a.amount), cell, Qt::AlignRight);
            if (a.orderKnown)
                l.text(c.balance, c.moneyW, Regional::formatCurrency(a.balanceAfter), cell, Qt::AlignRight);
            l.down(h - 0.8);
            l.rule(0.15, Line);
            l.down(0.8);
            applied.add(a.amount);
        }
    }
    l.down(3);

    // The totals, under the money columns.
    if (!l.fits(16)) {
        footer(l, r);
        l.newPage();
    }
    const double totalsX = c.applied - 40;
    auto total = [&](const QString& name, const std::optional<Currency>& amount, bool strong) {
        const QFont f = l.font(10.5, strong);
        l.text(totalsX, 40 + c.moneyW - 2, name, f, Qt::AlignLeft, strong ? Ink : Muted);
        l.text(c.balance - 2, c.moneyW + 2, Regional::formatCurrency(amount), f, Qt::AlignRight, Ink);
        l.down(l.lineMm(f) + 1.5);
    };
    total(QObject::tr("Total applied"), applied.value(), false);
    total(QObject::tr("Left as credit"), r.credit, true);

    footer(l, r);
}

} // namespace

void PaintReceipt(const Receipt& receipt, QPagedPaintDevice& device)
{
    QPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, device, receipt);
}

bool WriteReceiptPdf(const Receipt& receipt, const QString& path, QString* error)
{
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        QPdfWriter writer(&file);
        writer.setTitle(QObject::tr("Receipt for payment %1").arg(receipt.paymentID));
        writer.setCreator(QStringLiteral("TESR 5 - Payments"));
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(pageSizeForRegion(), QPageLayout::Portrait,
                                         QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter));
        PaintReceipt(receipt, writer);
    }
    // The writer has finished the file when it goes; a full disk shows at the flush.
    ok = ok && file.flush() && file.commit();
    if (!ok) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
    }
    return ok;
}

void PreviewReceipt(const Receipt& receipt, QWidget* parent)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QObject::tr("Receipt %1").arg(receipt.paymentID));
    printer.setPageSize(pageSizeForRegion());
    printer.setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName(QStringLiteral("receiptPreview"));
    preview.setWindowTitle(QObject::tr("Receipt for payment %1").arg(receipt.paymentID));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&receipt](QPrinter* target) { PaintReceipt(receipt, *target); });

    // Saving as PDF sits beside Print, so a receipt can be mailed without a PDF printer.
    auto* save = new QAction(QObject::tr("Save as PDF..."), &preview);
    save->setObjectName(QStringLiteral("actionSaveReceiptPdf"));
    save->setShortcut(QKeySequence::Save);
    save->setToolTip(QObject::tr("Save the receipt as a PDF file (Ctrl+S)"));
    preview.addAction(save);
    // First on the tool bar, where a narrow window never folds it away.
    if (auto* bar = preview.findChild<QToolBar*>()) {
        QAction* first = bar->actions().value(0);
        bar->insertAction(first, save);
        bar->insertSeparator(first);
    }
    QObject::connect(save, &QAction::triggered, &preview, [&preview, &receipt] {
        const QString path =
            gridexport::AskFileToSave(&preview, QStringLiteral("receiptFileDialog"), QObject::tr("Save Receipt as PDF"),
                                      QObject::tr("Receipt %1.pdf").arg(receipt.paymentID),
                                      QObject::tr("PDF files (*.pdf)"), QStringLiteral("pdf"));
        if (path.isEmpty())
            return;
        QString error;
        if (!WriteReceiptPdf(receipt, path, &error))
            MessageBox::Show(QObject::tr("The receipt could not be saved to %1: %2.\n\nNothing was written. Choose "
                                         "another folder, or make room on the disk, and save again.")
                                 .arg(QDir::toNativeSeparators(path), error),
                             MessageBox::OkOnly | MessageBox::Exclamation, QObject::tr("Save Receipt as PDF"));
    });
    // Big enough to read the page and to show every tool, Save as PDF included.
    QSize size(900, 1000);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 0.9);
    preview.resize(size);
    preview.exec();
}

} // namespace tesr::receipt
