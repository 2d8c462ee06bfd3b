// Shared helpers of the table tests: the assertion check and the list of
// the families.
#pragma once

#include "mgproc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

// The tables' assertion prints on standard output; a death test reads the
// error stream, so the child sends the one into the other first.
#define EXPECT_TABLE_ASSERT(statement, module)                                      \
    EXPECT_DEATH(                                                                   \
        {                                                                           \
            std::fflush(stdout);                                                    \
            dup2(2, 1);                                                             \
            statement;                                                              \
        },                                                                          \
        "Assertion failed: 0, file " module "\\.cpp, line [0-9]+")

const DeviceFamily ALL_FAMILIES[] = {FAMILY_CORE14, FAMILY_CORE16, FAMILY_CORE12,
                                     FAMILY_CORE16E};
