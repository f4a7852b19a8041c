// SPDX-License-Identifier: GPL-3.0-or-later
// The time-shift buffer's rules without a stream: frames found in bytes fed in any pieces, times
// kept across a reconnection's cut, the bound dropping the oldest part, titles at positions, and
// the file on disk.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/byte_ring.h"
#include "engine/time_shift_file.h"
#include "engine/time_shift_index.h"
#include "support/test_audio.h"

namespace velmora::test {
namespace {

using engine::FrameFinder;
using engine::TimeShiftIndex;

struct Found {
    std::vector<std::uint64_t> pos;
    std::vector<double> seconds;
    double end = 0;  // the time after the last frame
};

Found FindFrames(const std::string& bytes, std::size_t piece) {
    FrameFinder finder;
    Found f;
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        finder.Feed(p + at, std::min(piece, bytes.size() - at), at,
                    [&](std::uint64_t pos, double s) {
                        f.pos.push_back(pos);
                        f.seconds.push_back(s);
                    });
    }
    f.end = finder.seconds();
    return f;
}

// Every found frame starts with a header whose stated length leads to the next one.
void ExpectFrameChain(const std::string& bytes, const Found& f) {
    for (std::size_t i = 0; i + 1 < f.pos.size(); ++i) {
        const auto h = engine::ParseFrameHeader(
            reinterpret_cast<const std::uint8_t*>(bytes.data()) + f.pos[i]);
        ASSERT_GT(h.bytes, 0u) << "frame " << i;
        if (f.pos[i] + h.bytes != f.pos[i + 1]) {
            // Only across damage: the time goes on by exactly one frame.
            EXPECT_NEAR(f.seconds[i + 1] - f.seconds[i], h.seconds, 1e-9) << "frame " << i;
        }
    }
}

TEST(TimeShiftRules, FramesAndTimesWhateverThePiecesAndCuts) {
    const std::string mp3 = EncodedTone(AudioCodec::Mp3, 3.0);
    const std::string aac = EncodedTone(AudioCodec::Aac, 3.0);
    const std::string vorbis = EncodedTone(AudioCodec::Vorbis, 3.0);
    const std::string opus = EncodedTone(AudioCodec::Opus, 3.0);
    const std::string other_rate = EncodedTone(AudioCodec::Mp3, 1.0, 22050);
    struct Row {
        const char* name;
        std::string bytes;
        double seconds;  // of sound found, within a frame
    } rows[] = {
        {"mp3", mp3, 3.0},
        {"adts", aac, 3.0},
        // A listener joins mid-frame.
        {"mp3 joined mid-frame", mp3.substr(417), 3.0 - 417.0 / 16000},
        // A reconnection: the old connection's last frame is cut, the new one starts mid-frame.
        {"mp3 cut and joined", mp3.substr(0, 20000) + mp3.substr(30333), 3.0 - 10333.0 / 16000},
        {"adts cut and joined", aac.substr(0, 9000) + aac.substr(21111), 0},
        // Garbage between (a server's error page on a reconnection).
        {"mp3 with junk",
         mp3.substr(0, 8000) + std::string(3000, '\xff') + "<html>" + mp3.substr(8000), 3.0},
        {"mp3 of another rate", other_rate, 1.0},
        {"ogg vorbis", vorbis, 3.0},
        {"ogg opus", opus, 3.0},
        {"ogg vorbis joined mid-page", vorbis.substr(0, 9000) + vorbis.substr(12345), 0},
        {"no frames (text)", std::string(5000, 'x'), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Found whole = FindFrames(row.bytes, row.bytes.size());
        for (std::size_t piece : {1u, 7u, 1000u, 4096u}) {
            const Found f = FindFrames(row.bytes, piece);
            EXPECT_EQ(f.pos, whole.pos) << "pieces of " << piece;
        }
        if (std::string(row.name).rfind("ogg", 0) == 0) {
            for (std::uint64_t pos : whole.pos)
                ASSERT_EQ(row.bytes.compare(pos, 4, "OggS"), 0) << "a page at " << pos;
        } else {
            ExpectFrameChain(row.bytes, whole);
        }
        if (row.seconds > 0) {
            ASSERT_FALSE(whole.pos.empty());
            EXPECT_NEAR(whole.end, row.seconds, 0.1);
        } else if (std::string(row.name).find("no frames") != std::string::npos) {
            EXPECT_TRUE(whole.pos.empty());
        }
        for (std::size_t i = 1; i < whole.seconds.size(); ++i)
            ASSERT_GT(whole.seconds[i], whole.seconds[i - 1]);
    }
}

TEST(TimeShiftRules, BoundDropsTheOldestAndKeepsTheTitleHeardThere) {
    // One frame of 0.1 s every 1000 bytes: bytes and seconds are easy to read.
    struct Row {
        const char* name;
        std::uint64_t written;
        std::uint64_t max_bytes;
        double bound;
        std::uint64_t oldest;
        std::string title_at_oldest;
    } rows[] = {
        {"within both bounds", 100000, 1000000, 60, 0, ""},
        {"time bound: 5 s of 10 kept", 100000, 1000000, 5, 50000, "B"},
        {"byte bound inside a point: the next point", 100000, 30500, 60, 70000, "C"},
        {"both: the stricter", 100000, 80000, 2, 80000, "C"},
        {"byte bound exactly on a point", 100000, 50000, 60, 50000, "B"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TimeShiftIndex index(0.5);
        for (std::uint64_t pos = 0; pos < row.written; pos += 1000)
            index.AddFrame(pos, static_cast<double>(pos) / 10000);
        index.SetLive(row.written, static_cast<double>(row.written) / 10000);
        index.AddTitle(0, "A");
        index.AddTitle(42000, "B");
        index.AddTitle(42000, "B");  // repeated by the server: nothing new
        index.AddTitle(61000, "C");
        EXPECT_EQ(index.Trim(row.written, row.max_bytes, row.bound), row.oldest);
        EXPECT_EQ(index.oldest(), row.oldest);
        EXPECT_EQ(index.TitleAt(row.oldest), row.oldest == 0 ? "A" : row.title_at_oldest);
        EXPECT_EQ(index.TitleAt(row.written), "C");
        EXPECT_NEAR(index.oldest_seconds(), static_cast<double>(row.oldest) / 10000, 1e-9);
        // Nothing before the oldest is answered any more.
        EXPECT_GE(index.PositionAt(-5), row.oldest);
        // Points every 0.5 s: times and positions between them.
        if (row.oldest <= 20000) {
            EXPECT_EQ(index.PositionAt(2.2), 20000u);
            EXPECT_NEAR(index.SecondsAt(21000), 2.1, 1e-9);
        }
        EXPECT_EQ(index.PositionAt(99), index.PositionAt(index.live_seconds()));
        EXPECT_NEAR(index.SecondsAt(row.written), index.live_seconds(), 1e-9);
        EXPECT_LE(index.point_count(), 21u);
    }
}

class TimeShiftFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/velmora-shift-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        base_ = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + base_ + "'").c_str()); }
    std::string Folder() const { return base_ + "/velmora/timeshift"; }
    std::string base_;
};

TEST_F(TimeShiftFileTest, PrivateFolderLeftoversAndTheFileGoesWithItsRing) {
    // Files nobody holds locked were left by runs that crashed, whatever process has their PID
    // now (ours, after a reboot, too); a held file and strangers' files stay.
    std::string error;
    ASSERT_TRUE(engine::TimeShiftFile::OpenFolder(base_, &error)) << error;
    const std::string dead = Folder() + "/" + engine::TimeShiftFileName(999999999, 1);
    const std::string reused = Folder() + "/" + engine::TimeShiftFileName(::getppid(), 1);
    const std::string alive = Folder() + "/" + engine::TimeShiftFileName(::getppid(), 2);
    const std::string other = Folder() + "/notes.txt";
    for (const auto& p : {dead, reused, alive, other}) fclose(fopen(p.c_str(), "w"));
    // Held as a running process holds its files; our own PID's next names are taken too.
    std::vector<int> held;
    for (unsigned seq = 0; seq <= 3; ++seq) {
        const std::string p =
            seq ? Folder() + "/" + engine::TimeShiftFileName(::getpid(), seq) : alive;
        held.push_back(::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        ASSERT_EQ(::flock(held.back(), LOCK_EX), 0);
    }
    ::chmod(Folder().c_str(), 0755);

    auto folder = engine::TimeShiftFile::OpenFolder(base_, &error);
    ASSERT_TRUE(folder) << error;
    struct stat st {};
    ASSERT_EQ(::stat(Folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_NE(::access(dead.c_str(), F_OK), 0);
    EXPECT_NE(::access(reused.c_str(), F_OK), 0);
    EXPECT_EQ(::access(alive.c_str(), F_OK), 0);
    EXPECT_EQ(::access(other.c_str(), F_OK), 0);
    EXPECT_EQ(engine::TimeShiftFileOwner("timeshift-12-3.bytes"), 12);
    EXPECT_EQ(engine::TimeShiftFileOwner("timeshift--3.bytes"), 0);
    EXPECT_EQ(engine::TimeShiftFileOwner("timeshift-12-3.bytes~"), 0);

    // A ring whose file is smaller than what goes through it: the oldest bytes are dropped,
    // the reader is sent on, and what it reads there are the stream's bytes.
    const std::string mp3 = EncodedTone(AudioCodec::Mp3, 4.0);
    auto file = engine::TimeShiftFile::Create(folder, 20000, &error);
    ASSERT_TRUE(file) << error << " (a taken name is skipped)";
    const std::string path = file->path();
    for (const int fd : held) ::close(fd);
    // An open file is held: a second run's clean-up leaves it.
    ASSERT_TRUE(engine::TimeShiftFile::OpenFolder(base_, &error)) << error;
    EXPECT_EQ(::access(path.c_str(), F_OK), 0);
    {
        engine::ByteRing ring(8000);
        ring.EnableTimeShift(std::move(file), 3600, "A");
        const auto* p = reinterpret_cast<const std::uint8_t*>(mp3.data());
        for (std::size_t at = 0; at < mp3.size(); at += 3000)
            ASSERT_TRUE(ring.Write(p + at, std::min<std::size_t>(3000, mp3.size() - at)));
        EXPECT_TRUE(ring.AddTitle("B"));
        const auto shift = ring.shift();
        EXPECT_TRUE(shift.on && shift.frames);
        EXPECT_GE(shift.oldest, mp3.size() - 20000);
        EXPECT_EQ(shift.drops, 1u);  // once per time the reader was passed
        ASSERT_TRUE(ring.seek_pending());
        const std::uint64_t at = ring.TakeSeek();
        EXPECT_EQ(at, shift.oldest);
        EXPECT_GT(engine::ParseFrameHeader(p + at).bytes, 0u) << "a frame boundary";
        std::vector<std::uint8_t> got(500);
        std::size_t n = 0;
        ASSERT_EQ(ring.Read(got.data(), got.size(), 0, std::chrono::steady_clock::now(), &n, {}),
                  engine::ByteRing::ReadResult::Data);
        EXPECT_EQ(std::memcmp(got.data(), p + at, n), 0);
        EXPECT_EQ(ring.TitleAt(at), "A");
        EXPECT_EQ(ring.TitleAt(mp3.size()), "B");
        // Asked back before the oldest: the oldest.
        ring.RequestSeek(0);
        EXPECT_EQ(ring.TakeSeek(), shift.oldest);
        EXPECT_EQ(::access(path.c_str(), F_OK), 0);
        ring.UnlinkTimeShift();
        EXPECT_NE(::access(path.c_str(), F_OK), 0) << "removed on Stop";
        // Still readable by the threads that end after the stop.
        ring.RequestSeek(shift.oldest);
        ring.TakeSeek();
        EXPECT_EQ(ring.Read(got.data(), got.size(), 0, std::chrono::steady_clock::now(), &n, {}),
                  engine::ByteRing::ReadResult::Data);
    }
    // Without frames (an Ogg stream) the reader is sent on to the first song kept whole.
    auto ogg = engine::TimeShiftFile::Create(folder, 20000, &error);
    ASSERT_TRUE(ogg) << error;
    engine::ByteRing ring(8000);
    ring.EnableTimeShift(std::move(ogg), 3600, "");
    const std::string page(1000, 'x');
    for (int i = 0; i < 40; ++i) {
        if (i % 15 == 0) ring.MarkBoundary(ring.written());
        ASSERT_TRUE(ring.Write(reinterpret_cast<const std::uint8_t*>(page.data()), page.size()));
    }
    EXPECT_FALSE(ring.shift().frames);
    EXPECT_EQ(ring.shift().oldest, 20000u);
    EXPECT_EQ(ring.TakeSeek(), 30000u);
}

TEST_F(TimeShiftFileTest, AReaderPassedByTheBoundLandsAMarginAfterTheOldest) {
    // 10 s, or 5 % of a long bound: a burst right after (a reconnection's) does not pass it again.
    struct Row {
        double bound;
        double margin;
    };
    std::string error;
    auto folder = engine::TimeShiftFile::OpenFolder(base_, &error);
    ASSERT_TRUE(folder) << error;
    const std::string piece = EncodedTone(AudioCodec::Mp3, 2.0);
    for (const Row& row : {Row{20, 10}, Row{400, 20}}) {
        auto file = engine::TimeShiftFile::Create(folder, 64u << 20, &error);
        ASSERT_TRUE(file) << error;
        engine::ByteRing ring(8000);
        ring.EnableTimeShift(std::move(file), row.bound, "");
        std::string stream;
        const auto write = [&] {
            stream += piece;
            return ring.Write(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
        };
        while (ring.shift().drops == 0) ASSERT_TRUE(write());
        const auto shift = ring.shift();
        const std::uint64_t at = ring.TakeSeek();
        EXPECT_NEAR(ring.SecondsAt(at) - shift.oldest_seconds, row.margin, 0.6) << row.bound;
        EXPECT_GT(
            engine::ParseFrameHeader(reinterpret_cast<const std::uint8_t*>(stream.data()) + at)
                .bytes,
            0u);
        for (int i = 0; i < 2; ++i) ASSERT_TRUE(write());
        EXPECT_FALSE(ring.seek_pending()) << row.bound;
        EXPECT_EQ(ring.shift().drops, 1u);
    }
}

}  // namespace
}  // namespace velmora::test
