// SPDX-License-Identifier: GPL-3.0-or-later
// The /proc readings the idle and memory benchmarks rest on: a misread field would print a
// plausible but wrong figure rather than fail.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <unistd.h>

#include "player_process.h"

namespace velmora::bench {
namespace {

// Thread names may hold blanks and parentheses (Qt's "Thread (pooled)"): the fields count from
// the last ')'.
TEST(ProcFields, StatTicksAddsUserAndSystemTimeWhateverTheThreadName) {
    const std::string rest = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20";
    struct Row {
        std::string stat;
        long ticks;
    } rows[] = {
        {"42 (velmora)" + rest, 11 + 12},
        {"43 (Thread (pooled))" + rest, 11 + 12},
        {"44 (a) b) S c)" + rest, 11 + 12},
        {"45 (short) S 1 2", -1},
        {"no parenthesis", -1},
    };
    for (const Row& r : rows) EXPECT_EQ(StatTicks(r.stat), r.ticks) << r.stat;
}

// "voluntary_ctxt_switches" is the tail of "nonvoluntary_ctxt_switches"; "Rss" begins "RssAnon".
TEST(ProcFields, FieldKbMatchesWholeKeysAtLineStarts) {
    const std::string status =
        "Name:\tvelmora\nRssAnon:\t  900 kB\nRss:\t 1234 kB\n"
        "nonvoluntary_ctxt_switches:\t7\nvoluntary_ctxt_switches:\t30\n";
    EXPECT_EQ(FieldKb(status, "Name"), 0);  // present, not a number
    EXPECT_EQ(FieldKb(status, "Rss"), 1234);
    EXPECT_EQ(FieldKb(status, "RssAnon"), 900);
    EXPECT_EQ(FieldKb(status, "voluntary_ctxt_switches"), 30);
    EXPECT_EQ(FieldKb(status, "nonvoluntary_ctxt_switches"), 7);
    EXPECT_EQ(FieldKb(status, "Pss"), -1);
    EXPECT_EQ(FieldKb("", "Rss"), -1);
}

// The live files parse: this process has its memory, its ticks and this thread.
TEST(ProcFields, ReadsThisProcess) {
    const Memory m = ReadMemory(getpid());
    ASSERT_TRUE(m.valid());
    EXPECT_GT(m.rss_kb, 0);
    EXPECT_GE(m.rss_kb, m.anon_kb);
    EXPECT_GE(ProcessTicks(getpid()), 0);
    // A short sleep is a voluntary switch, so the count cannot still be 0 in a fresh process.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto threads = ReadThreads(getpid());
    ASSERT_EQ(threads.count(getpid()), 1u);
    EXPECT_GT(threads.at(getpid()).switches, 0);
}

}  // namespace
}  // namespace velmora::bench
