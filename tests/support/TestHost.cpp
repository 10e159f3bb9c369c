#include "support/TestHost.h"

namespace tesrtest {

TestHost::TestHost()
    : m_db(std::make_unique<TestDatabase>()), m_logDir(makeTempDir()), m_prompter(std::make_shared<ScriptedPrompter>())
{
    tesr::host::HostConfig config;
    config.setDatabaseUrl(m_db->url());
    config.setUserId(1);
    config.setDefaultRights(-1);
    config.setLogFolder(m_logDir->filePath(QStringLiteral("logs")));
    // The receipt offered after New Payment saves is off: the tests that look at it turn it on.
    config.setOption(QStringLiteral("Receipts"), QStringLiteral("OfferAfterNewPayment"), 0);
    auto logger = std::make_shared<tesr::host::Logger>(config.logFolder());
    m_host = std::make_shared<tesr::host::ReferenceHost>(config, m_prompter, logger);
    m_library = std::make_unique<tesr::Library>();
    m_library->Initialize(m_host);
}

TestHost::~TestHost()
{
    m_library->PreTerminate();
}

} // namespace tesrtest
