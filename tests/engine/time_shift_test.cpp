// SPDX-License-Identifier: GPL-3.0-or-later
// Pausing a live station: the download goes on into the time-shift file, the sound resumes at the
// very sample it stopped at, titles follow the sound, skips and Live move what is heard, and the
// file goes with the stream. The sound device is SDL's disk driver, so the test hears exactly
// what a listener would.
#include <cmath>
#include <fstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

// The stereo frames of `bytes` decoded start to end, with no resampling: what the engine's
// decoder gives at 44.1 kHz.
std::vector<float> DecodeReference(const std::string& bytes, const std::string& path) {
    std::ofstream(path, std::ios::binary) << bytes;
    std::vector<float> out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(fmt, nullptr);
    const AVCodecParameters* par = fmt->streams[0]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, par);
    avcodec_open2(dec, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) >= 0) {
            const auto* l = reinterpret_cast<const float*>(frame->extended_data[0]);
            const auto* r = reinterpret_cast<const float*>(frame->extended_data[1]);
            for (int i = 0; i < frame->nb_samples; ++i) {
                out.push_back(l[i]);
                out.push_back(r[i]);
            }
        }
    };
    while (av_read_frame(fmt, packet) >= 0) {
        if (avcodec_send_packet(dec, packet) >= 0) receive();
        av_packet_unref(packet);
    }
    avcodec_send_packet(dec, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return out;
}

// The frames that are not digital silence: the pause, a starved period's rest and the device's
// first periods are all exact zeros, and so the same in both.
std::vector<float> Sounding(const std::vector<float>& frames) {
    std::vector<float> out;
    for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
        if (frames[i] == 0.0f && frames[i + 1] == 0.0f) continue;
        out.push_back(frames[i]);
        out.push_back(frames[i + 1]);
    }
    return out;
}

// Tones of changing pitch: no stretch of the sound repeats another, so a repeat or a gap in
// what is heard cannot match the reference by chance.
std::string ChangingTones(int count) {
    std::string audio;
    for (int i = 0; i < count; ++i)
        audio += EncodedTone(AudioCodec::Mp3, 1.0, 44100, 310.0 + 173.3 * i);
    return audio;
}

class TimeShiftTest : public EngineTest {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/velmora-timeshift-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        base_ = tmpl;
        EngineTest::SetUp();
        // The disk driver writes what the output mixes, here at about 18 times real time.
        engine::Free();
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", (base_ + "/heard.raw").c_str(), 1);
        ::setenv("SDL_DISKAUDIODELAY", "10", 1);
        ASSERT_TRUE(engine::Init(-1, 44100, 0, nullptr));
        // The device stays open through the pause: reopening would start the file afresh.
        engine::SetConfig(engine::Config::DeviceLinger, 60000);
        engine::SetConfig(engine::Config::TimeShift, 3600);
        ASSERT_TRUE(engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, base_.c_str()));
    }
    void TearDown() override {
        EngineTest::TearDown();
        engine::Free();
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        engine::Init(-1, 44100, 0, nullptr);
        engine::SetConfig(engine::Config::DeviceLinger, 2000);
        engine::SetConfig(engine::Config::TimeShift, 0);
        engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, nullptr);
        std::system(("rm -rf '" + base_ + "'").c_str());
    }

    engine::TimeShiftInfo Info(engine::Handle h) {
        engine::TimeShiftInfo info;
        EXPECT_TRUE(engine::ChannelGetTimeShift(h, &info)) << engine::ErrorGetCode();
        return info;
    }
    std::string Meta(engine::Handle h) {
        const char* m = engine::ChannelGetTags(h, engine::TagKind::Meta);
        return m ? m : "";
    }
    std::vector<float> Heard() {
        std::ifstream in(base_ + "/heard.raw", std::ios::binary);
        std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<float> frames(raw.size() / sizeof(float));
        std::memcpy(frames.data(), raw.data(), frames.size() * sizeof(float));
        return frames;
    }

    std::string base_;
};

TEST_F(TimeShiftTest, ResumeContinuesAtTheSampleItPausedAtAndTheFileGoesWithTheStream) {
    const std::string audio = ChangingTones(5);
    StreamRoute route;
    route.audio = audio;
    // Three times real time: the download is still going when the pause comes.
    route.burst_bytes = 24000;
    route.bytes_per_second = 48000;
    server_.AddStream("/live", route);
    const engine::Handle h = Create(server_.Url("/live"));
    ASSERT_NE(h, 0u) << engine::ErrorGetCode();
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    const std::string file = engine::ChannelTimeShiftPath(h);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(::access(file.c_str(), F_OK), 0);

    ASSERT_TRUE(WaitUntil([&] { return Info(h).position >= 1.0; }, Scaled(5000ms)));
    ASSERT_TRUE(engine::ChannelPause(h));
    EXPECT_EQ(engine::ChannelIsActive(h), static_cast<int>(engine::ActiveState::Paused));
    const engine::TimeShiftInfo paused = Info(h);
    EXPECT_TRUE(paused.paused);
    // A second and a half of the station comes in while nothing is heard.
    ASSERT_TRUE(
        WaitUntil([&] { return Info(h).buffered >= paused.buffered + 1.5; }, Scaled(5000ms)));
    EXPECT_NEAR(Info(h).position, paused.position, 0.05) << "the sound stood still";
    EXPECT_GT(Info(h).behind, 1.4);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    EXPECT_FALSE(Info(h).paused);
    // Played to the end of what the station sent.
    ASSERT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 0; }, Scaled(8000ms)));

    const std::vector<float> heard = Sounding(Heard());
    const std::vector<float> reference = Sounding(DecodeReference(audio, base_ + "/ref.mp3"));
    ASSERT_GT(heard.size(), reference.size() * 9 / 10);
    ASSERT_LE(heard.size(), reference.size());
    std::size_t first_difference = heard.size();
    for (std::size_t i = 0; i < heard.size(); ++i) {
        if (heard[i] != reference[i]) {
            first_difference = i;
            break;
        }
    }
    EXPECT_EQ(first_difference, heard.size()) << "heard differs from the station's sound at frame "
                                              << first_difference / 2 << " of " << heard.size() / 2;

    // Stop drops the buffer's file at once; at exit every stream's file goes.
    ASSERT_TRUE(engine::StreamFree(h));
    tracked_.clear();
    EXPECT_NE(::access(file.c_str(), F_OK), 0);
    const engine::Handle again = Create(server_.Url("/live"));
    ASSERT_TRUE(engine::ChannelPlay(again, false));
    const std::string second = engine::ChannelTimeShiftPath(again);
    EXPECT_EQ(::access(second.c_str(), F_OK), 0);
    engine::Free();
    tracked_.clear();
    EXPECT_NE(::access(second.c_str(), F_OK), 0);
}

TEST_F(TimeShiftTest, TitlesFollowTheSoundThroughPauseSkipAndLive) {
    StreamRoute route;
    route.audio = ChangingTones(4);
    route.loop = true;
    route.metaint = 8000;  // half a second
    route.titles = {{0, "A"}, {5, "B"}};
    route.burst_bytes = 16000;
    route.bytes_per_second = 64000;
    server_.AddStream("/titles", route);
    const engine::Handle h = Create(server_.Url("/titles"));
    ASSERT_NE(h, 0u) << engine::ErrorGetCode();
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return Meta(h) == "StreamTitle='A';"; }, Scaled(5000ms)));
    ASSERT_TRUE(engine::ChannelPause(h));
    const double at = Info(h).position;

    // B arrives (after three seconds of sound) while the sound stands before it.
    ASSERT_TRUE(server_.WaitForAudioSent("/titles", 8 * 8000, Scaled(5000ms)));
    ASSERT_TRUE(WaitUntil([&] { return Info(h).buffered >= 4.5; }, Scaled(5000ms)));
    EXPECT_LT(at, 2.5);
    EXPECT_EQ(Meta(h), "StreamTitle='A';");

    // Forward while paused: the sound moves, the title with it.
    ASSERT_TRUE(engine::ChannelSkip(h, 3.0));
    ASSERT_TRUE(WaitUntil([&] { return Info(h).position >= at + 2.5; }, Scaled(3000ms)));
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return Meta(h) == "StreamTitle='B';"; }, Scaled(5000ms)));

    // Back before B: A again; the skip lands within the buffer.
    const double before = Info(h).position;
    ASSERT_TRUE(engine::ChannelSkip(h, -30.0));
    ASSERT_TRUE(WaitUntil([&] { return Info(h).position < before - 2.0; }, Scaled(3000ms)));
    ASSERT_TRUE(WaitUntil([&] { return Meta(h) == "StreamTitle='A';"; }, Scaled(5000ms)));
    EXPECT_GT(Info(h).behind, 2.0);

    // Live: as far behind the download as before the pause.
    ASSERT_TRUE(engine::ChannelGoLive(h));
    ASSERT_TRUE(WaitUntil([&] { return Info(h).behind < 0.5; }, Scaled(3000ms))) << Info(h).behind;
    ASSERT_TRUE(WaitUntil([&] { return Meta(h) == "StreamTitle='B';"; }, Scaled(5000ms)));
    // At the live edge forward is nowhere: nothing is played again.
    const double live = Info(h).position;
    ASSERT_TRUE(engine::ChannelSkip(h, 10.0));
    EXPECT_GE(Info(h).position, live - 0.01);
}

TEST_F(EngineTest, OggSkipsReadTheHeadersOfTheSongTheyLandIn) {
    // Two songs of a chained Vorbis stream: a skip into the middle of either plays it.
    SineSpec first;
    first.codec = AudioCodec::Vorbis;
    first.frequency = BinFrequency(24);
    first.seconds = 3;
    first.artist = "Band";
    first.title = "A";
    first.serial_offset = 1000;
    SineSpec second = first;
    second.frequency = BinFrequency(48);
    second.title = "B";
    second.serial_offset = 2000;
    StreamRoute route;
    route.audio = EncodeSine(first) + EncodeSine(second);
    route.content_type = CodecContentType(AudioCodec::Vorbis);
    route.style = StatusStyle::Http10;
    route.loop = true;  // the titles move on with the download, which a live station keeps up
    route.burst_bytes = 8000;
    route.bytes_per_second = 40000;
    server_.AddStream("/songs.ogg", route);
    char folder[] = "/tmp/velmora-ogg-shift-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const engine::Handle h = Create(server_.Url("/songs.ogg"));
    ASSERT_NE(h, 0u) << engine::ErrorGetCode();
    // The buffer is made when the stream starts to play; the next tests play without.
    engine::SetConfig(engine::Config::TimeShift, 600);
    engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, folder);
    const bool played = engine::ChannelPlay(h, false);
    engine::SetConfig(engine::Config::TimeShift, 0);
    engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, nullptr);
    ASSERT_TRUE(played);
    ASSERT_TRUE(engine::ChannelPause(h));
    engine::TimeShiftInfo info;
    ASSERT_TRUE(
        WaitUntil([&] { return engine::ChannelGetTimeShift(h, &info) && info.buffered >= 5.5; },
                  Scaled(5000ms)));
    EXPECT_TRUE(info.seekable);
    ASSERT_TRUE(engine::ChannelSkip(h, 4.0));
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ExpectPlaysBin(h, 48);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const char* m = engine::ChannelGetTags(h, engine::TagKind::Meta);
            return m && std::string(m) == "StreamTitle='Band - B';";
        },
        Scaled(3000ms)));
    ASSERT_TRUE(engine::ChannelSkip(h, -10.0));
    ExpectPlaysBin(h, 24);
    std::system((std::string("rm -rf '") + folder + "'").c_str());
}

TEST_F(EngineTest, WithoutTimeShiftPauseSkipAndLiveAreRefused) {
    // No folder configured: a stream plays as before and says it cannot pause.
    StreamRoute route;
    route.audio = EncodedTone(AudioCodec::Mp3, 2.0);
    route.loop = true;
    route.bytes_per_second = 32000;
    server_.AddStream("/plain", route);
    const engine::Handle h = Create(server_.Url("/plain"));
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    engine::TimeShiftInfo info;
    for (const bool ok : {engine::ChannelPause(h), engine::ChannelSkip(h, -10),
                          engine::ChannelGoLive(h), engine::ChannelGetTimeShift(h, &info)}) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::NotAvailable));
    }
    EXPECT_TRUE(engine::ChannelTimeShiftPath(h).empty());
    EXPECT_FALSE(engine::ChannelPause(0));
    EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::Handle));
}

}  // namespace
}  // namespace velmora::test
