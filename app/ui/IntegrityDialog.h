#pragma once

// Tools > Check Integrity...: checks the three figures of the whole company database against
// the allocation rows when it opens, lists every figure out of step, and repairs them on
// request (after asking, through the host's prompter) in one transaction. Controls:
// lblSummary, driftList (row, figure, recorded, expected), cmdCheck, cmdRepair, cmdClose.

#include "host/IntegrityCheck.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace tesr::host {

class ReferenceHost;

class IntegrityDialog final : public QDialog {
    Q_OBJECT
public:
    explicit IntegrityDialog(ReferenceHost& host, QWidget* parent = nullptr);

    // Runs the check again and shows what it found.
    void check();
    // Asks, then repairs; true when figures were set right.
    bool repair();

    const IntegrityReport& report() const { return m_report; }
    // Whether a repair changed the database while the dialog was open.
    bool repaired() const { return m_repaired; }

private:
    int repairable() const; // findings the repair can set right
    ReferenceHost& m_host;
    IntegrityReport m_report;
    bool m_repaired = false;
    QLabel* m_summary = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_repair = nullptr;
};

} // namespace tesr::host
