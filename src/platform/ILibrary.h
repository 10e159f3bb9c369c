#pragma once

// The module as its screens and a host that loads it at run time see it: the Show... calls
// through which screens open each other, and the receipts. Library implements both.

#include <QString>

#include <memory>

namespace tesr {

class SharedCodeLibrary;

// The interface a host sees when it loads the module at run time (see tesrpay5_module()).
class ILibrary {
public:
    virtual ~ILibrary() = default;
    virtual SharedCodeLibrary* GetSharedCodeLibrary() const = 0;
    virtual void Initialize(std::shared_ptr<tesr::SharedCodeLibrary> oSCL) = 0;
    virtual void PreTerminate() = 0;
    virtual int ShowNewPayment(int CustomerID, bool ForceCustomer = false) = 0;
    virtual bool ShowEditPayment(int ID) = 0;
    virtual bool ShowAllocateCredit(int CustomerID) = 0;
    virtual void ShowCustomerPayments(int CustomerID) = 0;
    virtual void ShowOrderPayments(int OrderID) = 0;
    virtual void ShowPaymentAllocations(int PaymentID) = 0;
};

// Receipts. An interface of its own, so that ILibrary and ModuleEntry stay exactly as hosts built
// before receipts know them; a host reaches it with tesrpay5_receipts() (a module without
// receipts lacks that symbol).
class IReceipts {
public:
    virtual ~IReceipts() = default;
    // The print preview of the payment's receipt (modal), from which the user prints it or saves
    // it as PDF. A payment that cannot be read is reported through the host's ShowErrorMessage.
    virtual void ShowReceipt(int PaymentID) = 0;
    // Writes the payment's receipt to a PDF file, without any window. False, with the reason in
    // Error, when the payment cannot be read or the file cannot be written.
    virtual bool SaveReceiptPdf(int PaymentID, const QString& FileName, QString* Error = nullptr) = 0;
};

} // namespace tesr
