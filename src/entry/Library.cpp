#include "entry/Library.h"
#include "entry/ScreenRunner.h"

#include "platform/HelperTools.h"
#include "platform/SqlConnection.h"

#include <QObject>

namespace tesr {

Library::Library() : m_later(std::make_unique<QObject>()) {}
Library::~Library() = default;

void Library::Initialize(std::shared_ptr<tesr::SharedCodeLibrary> oSCL)
{
    m_scl = std::move(oSCL);
}

void Library::PreTerminate()
{
    m_scl.reset();
}

bool HostPresent(const Library& library, const char* call)
{
    if (library.SharedCodeLibrary())
        return true;
    qWarning("tesrpay5: %s was called without the host's services (before Initialize or after PreTerminate); "
             "no screen was opened.",
             call);
    return false;
}

} // namespace tesr

namespace {

tesr::ILibrary* createLibrary()
{
    return new tesr::Library();
}

void destroyLibrary(tesr::ILibrary* library)
{
    delete library;
}

tesr::Connection* openConnection(const char* url, QString* error)
{
    return tesr::openCompanyConnection(QString::fromUtf8(url), error).release();
}

void installHelperFactory(std::shared_ptr<tesr::HelperFactory>* factory)
{
    tesr::setHelperFactory(factory ? *factory : nullptr);
}

} // namespace

extern "C" tesr::IReceipts* tesrpay5_receipts(tesr::ILibrary* library)
{
    return dynamic_cast<tesr::IReceipts*>(library);
}

extern "C" const tesr::ModuleEntry* tesrpay5_module()
{
    static const tesr::ModuleEntry entry{tesr::ModuleAbiVersion, "TESR 5 - Payments", &createLibrary,
                                         &destroyLibrary,        &openConnection,     &installHelperFactory};
    return &entry;
}
