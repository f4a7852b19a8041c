// SPDX-License-Identifier: GPL-3.0-or-later
// The shared system helpers: whole writes through short and interrupted writes, the web-address
// rule, and a worker thread's last guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>

#include "base/posix_io.h"
#include "base/thread_start.h"
#include "base/web_scheme.h"

namespace velmora {
namespace {

TEST(WriteAll, GoesOnAfterShortAndInterruptedWritesAndReportsWhyItStopped) {
    std::string written;
    int calls = 0;
    // Every other call is interrupted; the others take at most three bytes.
    const WriteCall trickle = [&](int, const void* data, std::size_t size) -> ssize_t {
        if (++calls % 2 == 0) {
            errno = EINTR;
            return -1;
        }
        const std::size_t n = std::min<std::size_t>(size, 3);
        written.append(static_cast<const char*>(data), n);
        return static_cast<ssize_t>(n);
    };
    const std::string text = "a whole buffer, not a prefix";
    EXPECT_EQ(WriteAll(-1, text.data(), text.size(), trickle), 0);
    EXPECT_EQ(written, text);

    const WriteCall full = [](int, const void*, std::size_t) -> ssize_t { return 0; };
    EXPECT_EQ(WriteAll(-1, "x", 1, full), ENOSPC);
    const WriteCall broken = [](int, const void*, std::size_t) -> ssize_t {
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(WriteAll(-1, "x", 1, broken), EIO);
}

TEST(WebScheme, OnlyHttpAndHttpsInAnyCase) {
    const struct {
        const char* url;
        bool web;
    } rows[] = {
        {"http://a", true},   {"HTTPS://a/b", true}, {"hTtP://", true},
        {"ftp://a", false},   {"https:a", false},    {"httpx://a", false},
        {"file:///x", false}, {"a http://b", false}, {"", false},
    };
    for (const auto& r : rows) EXPECT_EQ(IsHttpUrl(r.url), r.web) << r.url;
    EXPECT_TRUE(IsHttpScheme("Https"));
    EXPECT_FALSE(IsHttpScheme("http "));
}

TEST(StartThread, WhatTheBodyThrowsGoesToItsGuardOnItsThread) {
    bool ran = false, guarded = false;
    StartThread([&] { ran = true; }, [&] { guarded = true; }).join();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(guarded);
    StartThread([] { throw std::runtime_error("lost"); }, [&] { guarded = true; }).join();
    EXPECT_TRUE(guarded);
}

}  // namespace
}  // namespace velmora
