#include "ui/IntegrityDialog.h"

#include "host/ReferenceHost.h"
#include "values/Regional.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tesr::host {

IntegrityDialog::IntegrityDialog(ReferenceHost& host, QWidget* parent) : QDialog(parent), m_host(host)
{
    setObjectName(QStringLiteral("IntegrityDialog"));
    setWindowTitle(tr("Check Integrity"));
    setModal(true);

    auto* intro = new QLabel(tr("Every payment's Allocated should be the sum of its allocations, every order's "
                                "Payments the sum of the allocations applied to it, and its Balance its total less "
                                "those payments."));
    intro->setWordWrap(true);
    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("lblSummary"));
    m_summary->setTextFormat(Qt::PlainText); // an engine's words may hold anything
    m_summary->setWordWrap(true);
    QFont bold = m_summary->font();
    bold.setBold(true);
    m_summary->setFont(bold);

    m_list = new QTreeWidget;
    m_list->setObjectName(QStringLiteral("driftList"));
    m_list->setHeaderLabels({tr("Row"), tr("Figure"), tr("Recorded"), tr("Allocations say")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->setColumnWidth(1, 90);
    m_list->setColumnWidth(2, 110);
    m_list->setColumnWidth(3, 110);
    m_list->setAccessibleName(tr("Figures out of step"));
    m_list->setAccessibleDescription(tr("Each recorded figure that differs from what its allocations say"));

    // Only Repair changes with what the check found; the others are wired once.
    auto* checkAgain = new QPushButton(tr("Check &Again"));
    checkAgain->setObjectName(QStringLiteral("cmdCheck"));
    m_repair = new QPushButton(tr("&Repair"));
    m_repair->setObjectName(QStringLiteral("cmdRepair"));
    auto* closeButton = new QPushButton(tr("&Close"));
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    closeButton->setDefault(true);
    checkAgain->setAccessibleDescription(tr("Checks every figure again"));
    m_repair->setAccessibleDescription(tr("Sets every figure to what its allocations say"));
    closeButton->setAccessibleDescription(tr("Closes the check (Escape)"));
    connect(checkAgain, &QPushButton::clicked, this, [this] { check(); });
    connect(m_repair, &QPushButton::clicked, this, [this] { repair(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(checkAgain);
    buttons->addStretch(1);
    buttons->addWidget(m_repair);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_summary);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(640, 400);

    check();
}

void IntegrityDialog::check()
{
    m_list->clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto conn = m_host.CurrentCompanyConn();
    if (conn) {
        m_report = checkIntegrity(*conn);
        conn->Close();
    } else {
        m_report = IntegrityReport();
        m_report.error = m_host.lastError();
    }
    QApplication::restoreOverrideCursor();
    if (!m_report.ran)
        m_host.logger().error(tr("The integrity check could not be made."), m_report.error);
    m_summary->setText(m_report.summary());
    for (const Drift& d : m_report.drifts) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, d.row());
        item->setText(1, d.figureName());
        item->setText(2, d.recordedText());
        item->setText(3, d.expectedText());
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(0, Qt::convertFromPlainText(d.describe())); // an order number is not markup
    }
    m_repair->setEnabled(repairable() > 0);
}

bool IntegrityDialog::repair()
{
    if (repairable() == 0)
        return false;
    const int answer = m_host.prompter().ask(
        tr("Repair %n figure(s)?", nullptr, repairable()),
        tr("Each figure is set to what the allocation rows say, all in one step, and every corrected payment and "
           "order gets a line in its activity history. The allocations themselves are not changed."),
        6, 2);
    if (answer != 2)
        return false;
    auto conn = m_host.CurrentCompanyConn();
    RepairResult result;
    if (conn) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        result = repairIntegrity(*conn, m_host.config().userId());
        QApplication::restoreOverrideCursor();
        conn->Close();
    } else {
        result.error = m_host.lastError();
    }
    if (!result.ok) {
        m_host.logger().error(tr("The figures could not be repaired."), result.error);
        m_host.prompter().showError(tr("The figures could not be repaired."),
                                    tr("Nothing was changed in the database."), result.error);
        check();
        return false;
    }
    m_repaired = true;
    m_host.logger().info(tr("Repaired %n figure(s).", nullptr, int(result.repaired.size())),
                         tr("%n row(s) corrected.", nullptr, result.rowsCorrected));
    QStringList left;
    for (const Drift& d : result.left)
        left << d.describe();
    if (!left.isEmpty())
        m_host.logger().warning(tr("%n finding(s) left for a person to correct.", nullptr, int(left.size())),
                                left.join(u'\n'));
    check();
    return true;
}

int IntegrityDialog::repairable() const
{
    if (!m_report.ran)
        return 0;
    return int(std::count_if(m_report.drifts.cbegin(), m_report.drifts.cend(),
                             [](const Drift& d) { return d.unrepairable.isEmpty(); }));
}

} // namespace tesr::host
