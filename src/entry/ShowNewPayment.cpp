#include "entry/Library.h"
#include "entry/ScreenRunner.h"
#include "forms/frmNewPayment/frmNewPayment.h"

namespace tesr {

int Library::ShowNewPayment(int CustomerID, bool ForceCustomer)
{
    if (!HostPresent(*this, "ShowNewPayment"))
        return 0;
    // The new payment's ID is read only after a save; a dialog closed any other way gives 0.
    const int id =
        RunScreen<frmNewPayment>([](const frmNewPayment& form) { return form.Cancelled ? 0 : form.NewPaymentID; },
                                 CustomerID, ForceCustomer, *this);
    if (id > 0)
        OfferReceipt(id);
    return id;
}

} // namespace tesr
