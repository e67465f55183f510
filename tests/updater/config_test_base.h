// A test fixture that puts the run configuration back after each test and
// switches the variant and language for it.
#pragma once

#include <gtest/gtest.h>

#include "updater/config.h"

class ConfigTest : public testing::Test {
  protected:
    void SetUp() override { saved_ = gConfig; }
    void TearDown() override { gConfig = saved_; }
    void variant(int mainProduct, int demo, int dutch) {
        gConfig.mainProduct = mainProduct;
        gConfig.demo = demo;
        gConfig.dutch = dutch;
    }

  private:
    RunConfig saved_;
};
