#include "KernelEnvironment.h"

#include <gtest/gtest.h>

namespace {

KernelApi g_kernel;

class KernelEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(g_kernel.StartAsTheProgramDoes(29400)); }
    void TearDown() override { g_kernel.Stop(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new KernelEnvironment);

} // namespace

KernelApi& TheKernel() { return g_kernel; }
