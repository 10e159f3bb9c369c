#include "platform/HelperTools.h"

#include "platform/DataTools.h"
#include "platform/InputTools.h"
#include "platform/RegistryTools.h"

namespace tesr {

namespace {

std::shared_ptr<HelperFactory>& installedFactory()
{
    static std::shared_ptr<HelperFactory> factory;
    return factory;
}

HelperFactory& moduleFactory()
{
    static HelperFactory factory;
    return factory;
}

} // namespace

std::unique_ptr<DataTools> HelperFactory::CreateDataTools()
{
    return makeDefaultDataTools();
}

std::unique_ptr<InputTools> HelperFactory::CreateInputTools()
{
    return makeDefaultInputTools();
}

std::unique_ptr<RegistryTools> HelperFactory::CreateRegistryTools()
{
    return makeDefaultRegistryTools();
}

HelperFactory& helperFactory()
{
    if (const auto& installed = installedFactory())
        return *installed;
    return moduleFactory();
}

void setHelperFactory(std::shared_ptr<HelperFactory> factory)
{
    installedFactory() = std::move(factory);
}

} // namespace tesr
