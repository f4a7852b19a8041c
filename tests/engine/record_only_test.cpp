// SPDX-License-Identifier: GPL-3.0-or-later
// A stream that is recorded and never played: titles come in place between its audio bytes (also
// those sent while it was being identified), and a full buffer never holds its download back.
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

// Audio bytes, and how many of them had come when each title came.
struct InPlace {
    static void Proc(const void* buffer, std::uint32_t length, void* user) {
        auto* self = static_cast<InPlace*>(user);
        std::lock_guard lock(self->mutex);
        if (!buffer) return;
        if (length > 0) {
            self->audio.append(static_cast<const char*>(buffer), length);
            return;
        }
        const std::string line(static_cast<const char*>(buffer));
        const std::string prefix = engine::kMetaLinePrefix;
        if (line.compare(0, prefix.size(), prefix) == 0)
            self->titles.emplace_back(self->audio.size(), line.substr(prefix.size()));
    }
    std::size_t AudioSize() {
        std::lock_guard lock(mutex);
        return audio.size();
    }

    std::mutex mutex;
    std::string audio;
    std::vector<std::pair<std::size_t, std::string>> titles;
};

TEST_F(EngineTest, RecordOnlyStreamGetsTitlesInPlaceAndNeverStalls) {
    SineSpec spec;
    spec.seconds = 20;  // four times what the buffer holds
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.metaint = 8000;
    route.titles = {{0, "A - 1"}, {1, "B - 2"}, {30, "C - 3"}};
    route.burst_bytes = 64000;  // the first titles come while the stream is identified
    route.bytes_per_second = 400000;
    server_.AddStream("/rec", route);

    const auto recorder = std::make_shared<InPlace>();
    const engine::Handle h = Track(engine::StreamCreateURL(
        server_.Url("/rec").c_str(), 0, engine::kStreamMeta, &InPlace::Proc, recorder));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine::ChannelRecordOnly(h));
    EXPECT_FALSE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(
        WaitUntil([&] { return recorder->AudioSize() == route.audio.size(); }, Scaled(10000ms)));
    std::lock_guard lock(recorder->mutex);
    EXPECT_TRUE(recorder->audio == route.audio);
    const std::vector<std::pair<std::size_t, std::string>> expected = {
        {8000, "StreamTitle='A - 1';"},
        {16000, "StreamTitle='B - 2';"},
        {248000, "StreamTitle='C - 3';"}};
    EXPECT_EQ(recorder->titles, expected);
}

}  // namespace
}  // namespace velmora::test
