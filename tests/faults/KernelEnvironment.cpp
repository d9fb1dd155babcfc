#include "KernelEnvironment.h"

#include <gtest/gtest.h>

namespace {

KernelApi g_kernel;

class KernelEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(g_kernel.Load(KernelDllPath()));
        // The program's own start parameters: TCP, uTP and peer exchange.
        DLBT_START_PARAMS params{1, 1, 1, 0, 0, 29400, 29410};
        ASSERT_TRUE(g_kernel.Startup(&params, nullptr, 0));
    }
    void TearDown() override
    {
        g_kernel.PreShutdown();
        g_kernel.Shutdown();
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new KernelEnvironment);

} // namespace

KernelApi& TheKernel() { return g_kernel; }
