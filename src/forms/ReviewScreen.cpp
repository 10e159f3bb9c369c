#include "forms/ReviewScreen.h"

#include "platform/HostServices.h"
#include "platform/controls/Access.h"
#include "platform/controls/ReportControl.h"
#include "platform/controls/Resizer.h"
#include "shared/modSharedReportControl.h"

namespace tesr {

ReportControl* ReviewScreen::MakeList(const char* name, int width, int height, const QString& description,
                                      const QString& accessibleName)
{
    auto* list = Make<ReportControl>(name);
    Resizer1->Add(list, 8, 8, width, height, Resizer::All());
    access::Describe(this, {access::Control{name, description, {}, accessibleName}});
    connect(list, &ReportControl::SelectionChanged, this, &ReviewScreen::UpdateButtons);
    return list;
}

void ReviewScreen::OnLoad()
{
    SetupGrid();
}

void ReviewScreen::MakeCloseButton(int x, int y)
{
    cmdClose = MakeButton("cmdClose", tr("Close"), &Form::Unload);
    Resizer1->Add(cmdClose, x, y, 80, 24, Resizer::BottomRight());
    // The caption is a fixed word: the key reaches the button without an underlined letter.
    access::Describe(this, {access::Control{"cmdClose", tr("Closes the list (Escape)"), access::Alt(Qt::Key_C)}});
}

void ReviewScreen::HoldToRemoveRight(PushButton& button) const
{
    if (button.Enabled())
        button.SetEnabled(removal::MayRemove(host()));
}

int ReviewScreen::ConfirmedSelection(const PushButton& button, ReportControl& list, const QString& question,
                                     const QString& explanation) const
{
    if (!button.Enabled())
        return 0;
    const int id = modSharedReportControl::GetSelectedRecordID(list);
    if (id <= 0)
        return 0;
    SharedCodeLibrary* scl = host();
    if (!scl)
        return 0;
    return scl->ShowMessageStyle1(question, explanation, SharedCodeLibrary::ButtonsYesNo) ==
                   SharedCodeLibrary::AnswerYes
               ? id
               : 0;
}

bool ReviewScreen::Settle(const removal::Result& result, int id, ReportControl& list, removal::What what,
                          const QString& failedHeadline) const
{
    if (result.outcome == removal::Outcome::Done || result.outcome == removal::Outcome::Gone)
        modSharedReportControl::RemoveRecordByID(id, list);
    if (SharedCodeLibrary* scl = host())
        removal::TellNotDone(*scl, result, what, failedHeadline);
    return result.outcome == removal::Outcome::Done;
}

} // namespace tesr
