// require.h: where a test cannot run on this machine (no GL context, no Xvfb), it skips; with
// QUORBEL_REQUIRE_ALL set (CI sets it) the same reason is a failure, so a run cannot go green
// without having tested.
#pragma once

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

inline bool requireAll() {
    const char* value = std::getenv("QUORBEL_REQUIRE_ALL");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

// Ends the test: a skip, or a failure under QUORBEL_REQUIRE_ALL, with the reason as its message.
#define SKIP_OR_FAIL(reason)                     \
    do {                                         \
        if (requireAll()) GTEST_FAIL() << reason; \
        GTEST_SKIP() << reason;                  \
    } while (0)
