#pragma once

// The module's one public class. A host creates one Library, hands it its SharedCodeLibrary
// with Initialize, opens every payment screen through the Show... methods and calls
// PreTerminate before it lets the module go. Screens open each other through the same object.

#include "platform/HostServices.h"
#include "platform/ILibrary.h"

#include <QString>

#include <memory>

class QObject;

#if defined(TESRPAY5_BUILDING)
#define TESRPAY5_EXPORT __attribute__((visibility("default")))
#else
#define TESRPAY5_EXPORT
#endif

namespace tesr {

class TESRPAY5_EXPORT Library final : public ILibrary, public IReceipts {
public:
    Library();
    ~Library() override;

    // Empty before Initialize and after PreTerminate.
    tesr::SharedCodeLibrary* SharedCodeLibrary() const { return m_scl.get(); }
    tesr::SharedCodeLibrary* GetSharedCodeLibrary() const override { return m_scl.get(); }
    void Initialize(std::shared_ptr<tesr::SharedCodeLibrary> oSCL) override;
    void PreTerminate() override;
    // The new payment's ID, or 0 when nothing was saved. After a save, once the caller has its
    // ID back, the user is asked whether to print a receipt, unless the host's user option
    // "Receipts"/"OfferAfterNewPayment" is 0.
    int ShowNewPayment(int CustomerID, bool ForceCustomer = false) override;
    // True when the dialog saved.
    bool ShowEditPayment(int ID) override;
    bool ShowAllocateCredit(int CustomerID) override;
    void ShowCustomerPayments(int CustomerID) override;
    void ShowOrderPayments(int OrderID) override;
    void ShowPaymentAllocations(int PaymentID) override;
    void ShowReceipt(int PaymentID) override;
    bool SaveReceiptPdf(int PaymentID, const QString& FileName, QString* Error = nullptr) override;

private:
    void OfferReceipt(int PaymentID);

    std::shared_ptr<tesr::SharedCodeLibrary> m_scl;
    std::unique_ptr<QObject> m_later; // work queued for after a Show... call has returned
};

class HelperFactory;

// What a host finds in the shared library file when it loads it at run time.
struct ModuleEntry {
    int abiVersion;               // ModuleAbiVersion
    const char* description;      // "TESR 5 - Payments"
    ILibrary* (*createLibrary)(); // delete with destroyLibrary
    void (*destroyLibrary)(ILibrary*);
    // Opens a company database: a SQLite file path, a postgresql:// URL or an odbc: string.
    Connection* (*openConnection)(const char* url, QString* error); // caller deletes
    void (*setHelperFactory)(std::shared_ptr<HelperFactory>* factory);
};
inline constexpr int ModuleAbiVersion = 1;

} // namespace tesr

extern "C" TESRPAY5_EXPORT const tesr::ModuleEntry* tesrpay5_module();
// The receipts of a library the module created (nullptr for any other ILibrary).
extern "C" TESRPAY5_EXPORT tesr::IReceipts* tesrpay5_receipts(tesr::ILibrary* library);
