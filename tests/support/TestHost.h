#pragma once

// The reference host as a test runs it: its services over a fresh TestDatabase, a scripted
// prompter, a log in the test's temporary folder, a configuration in memory (user 1 with
// every right, no options but the receipt offer after New Payment turned off: change them per
// test through config()), and the module's Library
// initialised with it.

#include "entry/Library.h"
#include "host/ReferenceHost.h"
#include "support/ScriptedPrompter.h"
#include "support/TestDatabase.h"

#include <memory>

namespace tesrtest {

class TestHost {
public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    TestDatabase& db() { return *m_db; }
    ScriptedPrompter& prompter() { return *m_prompter; }
    tesr::host::ReferenceHost& host() { return *m_host; }
    std::shared_ptr<tesr::host::ReferenceHost> hostPtr() const { return m_host; }
    tesr::host::HostConfig& config() { return m_host->config(); }
    tesr::host::Logger& logger() { return m_host->logger(); }
    tesr::Library& library() { return *m_library; }

private:
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<QTemporaryDir> m_logDir;
    std::shared_ptr<ScriptedPrompter> m_prompter;
    std::shared_ptr<tesr::host::ReferenceHost> m_host;
    std::unique_ptr<tesr::Library> m_library;
};

} // namespace tesrtest
