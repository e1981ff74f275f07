// A fresh sandbox root for each test of the core services.
#pragma once

#include "sim/testSupport.h"

#include <gtest/gtest.h>
#include <string>

class SandboxTest : public ::testing::Test {
protected:
    void SetUp() override { root = makeTestSandbox(); }
    void TearDown() override { removeTestSandbox(root); }
    std::string host(const char* absPath) const { return root + absPath; }
    std::string root;
};
