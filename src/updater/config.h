// Run configuration: the two build flags that pick the installer's variant,
// the run flags set at start-up and the product found in the registry.
#pragma once

#include <cstdint>

#ifndef VORN_MAIN_PRODUCT
#define VORN_MAIN_PRODUCT 1
#endif
#ifndef VORN_DEMO
#define VORN_DEMO 0
#endif

constexpr int kProductDirMax = 260;
constexpr int kVersionMax = 80;

struct RunConfig {
    // Build flags: fixed by the build, never changed by the installer itself
    // (tests switch them to try the other variants).
    int mainProduct;
    int demo;
    // Run flags.
    int dutch;
    int logEnabled;
    int spawned;
    uintptr_t instance;
    uint32_t ddeInstance;
    char productDir[kProductDirMax];
    char installedVersion[kVersionMax];
    // Set when the run ends without installing what it was asked to: the
    // process then ends with exit code 2, never with the success report.
    int notInstalled;
};

extern RunConfig gConfig;
