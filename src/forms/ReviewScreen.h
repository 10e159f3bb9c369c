#pragma once

// What the three review screens (Customer Payments, Order Payments, Payment Allocations) share
// beyond every screen's parts: one list that grows with the window, Close at the bottom right, a delete or remove
// button held to the user's right, the question before a row's money is taken back, and what the list and the user are
// shown once that job has run.

#include "forms/Screen.h"
#include "shared/PaymentRemoval.h"

namespace tesr {

class ReviewScreen : public Screen {
    Q_OBJECT
public:
    using Screen::Screen;

protected:
    // The list, named `name`, at the design area's top left (8, 8) and growing with the window;
    // what it shows and its name for a screen reader. UpdateButtons runs on every change of its
    // selection.
    ReportControl* MakeList(const char* name, int width, int height, const QString& description,
                            const QString& accessibleName);
    // The list's columns, set up as the screen loads.
    virtual void SetupGrid() = 0;
    // The buttons enabled for the list's selection.
    virtual void UpdateButtons() = 0;

    // Close (Escape; Alt+C) at design position (x, y), kept at the bottom right; it unloads the
    // screen.
    void MakeCloseButton(int x, int y);

    // Leaves `button` enabled only while it is and the user may delete and remove.
    void HoldToRemoveRight(PushButton& button) const;

    // The ID of the row selected in `list` once the user said Yes to `question`; 0 when
    // `button` is disabled, no row is selected, there is no host or the user said No.
    int ConfirmedSelection(const PushButton& button, ReportControl& list, const QString& question,
                           const QString& explanation) const;

    // After a deletion or removal of the row `id`: the row leaves `list` when the database no
    // longer holds it (removed now or elsewhere before), and the user is told why anything else
    // changed nothing. True when the job was done.
    bool Settle(const removal::Result& result, int id, ReportControl& list, removal::What what,
                const QString& failedHeadline) const;

    PushButton* cmdClose = nullptr;

private:
    void OnLoad() final;
};

} // namespace tesr
