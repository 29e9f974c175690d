// Suites on the demo level and the skew level (nothing symmetric about
// it): both are written once per suite into a temporary folder (a suite may
// write more levels beside them) and loaded quietly where a test asks. Base is the suite's kind: ::testing::Test, or GlTest
// for a headless GL context.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "headless/headless_level.h"
#include "test_util.h"
#include "writer/demo_level.h"
#include "writer/skew_level.h"

template <class Base>
class DemoSuite : public Base {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        ASSERT_TRUE(wvwrite::WriteDemoLevel(dir->path(), nullptr));
        ASSERT_TRUE(wvwrite::WriteSkewLevel(dir->path(), nullptr));
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static std::string File(const std::string& name) { return dir->File(name); }
    // Loads a level headless (the demo unless another is named), what it
    // prints unseen.
    void LoadQuietly(const std::string& swpPath = File("demo-130.swp")) {
        loaded.console = nullptr;
        headless::LoadLevel(swpPath, loaded);
    }

    static inline TempDir* dir = nullptr;
    headless::LoadedLevel loaded;
};
