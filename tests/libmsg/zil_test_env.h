// The zil tests' common ground: a clean library state per test, with the
// environment the library reads set the way the test says.
#ifndef ZIL_TEST_ENV_H
#define ZIL_TEST_ENV_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "zil.h"
#include "zil_internal.h"

namespace ziltest {

// ZILDIR points at the build tree, whose codeset/ holds the built tables.
class ZilTest : public ::testing::Test {
protected:
    void SetUp() override {
        zil_uninit();
        for (const char *name : {"ZIL_CODESET", "NLSPATH", "BINDIR", "ZILDIR"})
            unsetenv(name);
        setenv("LC_ALL", "C", 1);
        setenv("ZILDIR", ZIL_TEST_BUILD_DIR, 1);
    }
    void TearDown() override {
        zil_uninit();
        zil::setLanginfoSource(nullptr);
        unsetenv("ZILDIR");
    }
};

}  // namespace ziltest

#endif  // ZIL_TEST_ENV_H
