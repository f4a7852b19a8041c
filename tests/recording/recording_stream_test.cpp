// SPDX-License-Identifier: GPL-3.0-or-later
// A recording of a real loopback stream, fed by the engine's download callback through the
// stream-opening worker, across a title change.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "engine/engine_fixture.h"
#include "opening/stream_opener.h"
#include "recording/recording_names.h"
#include "recording/stream_recorder.h"

namespace velmora::test {
namespace {

// Everything the worker and the callbacks report, kept for the test thread.
class Reports {
  public:
    void Add(const StatusReport& r) {
        std::lock_guard lock(mutex_);
        if (r.code == StreamStatus::Title) titles_.push_back(r.text);
        if (r.code == StreamStatus::StationName) station_ = r.text;
    }
    std::vector<std::string> Titles() const {
        std::lock_guard lock(mutex_);
        return titles_;
    }
    std::string Station() const {
        std::lock_guard lock(mutex_);
        return station_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> titles_;
    std::string station_;
};

bool HasTitle(const Reports& r, const std::string& title) {
    const auto t = r.Titles();
    return std::find(t.begin(), t.end(), title) != t.end();
}

// One file, named after the station and the title at the press, filed in the station's folder,
// whose bytes are one unbroken span of the audio the server sent, title change included.
TEST_F(EngineTest, RecordingIsAnUnbrokenSpanOfTheServedAudio) {
    const std::string first = "Artist / Song: Live";
    const std::string second = "Next: " + std::string(94, 'n');
    StreamRoute route;
    route.audio = EncodeSine({});
    route.loop = true;
    route.metaint = 4096;
    route.headers = {"icy-name:Loop: FM"};
    route.titles = {{12, first}, {30, second}};
    route.burst_bytes = 32768;
    route.bytes_per_second = 32000;
    server_.AddStream("/live", route);

    const auto reports = std::make_shared<Reports>();
    const auto recorder = std::make_shared<StreamRecorder>();
    StreamOpener opener([reports](const StatusReport& r) { reports->Add(r); }, [] { return 0; },
                        [recorder](const void* d, std::uint32_t n) { recorder->Append(d, n); });
    ASSERT_TRUE(opener.Start(server_.Url("/live")));
    ASSERT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(opener.CurrentStream()) == 1; },
                          Scaled(5000ms)));
    ASSERT_TRUE(WaitUntil([&] { return HasTitle(*reports, first); }, Scaled(3000ms)));
    EXPECT_FALSE(HasTitle(*reports, second));

    QTemporaryDir docs;
    ASSERT_TRUE(docs.isValid());
    const QDateTime started(QDate(2024, 5, 6), QTime(7, 8, 9));
    const RecordingPlan plan =
        PlanRecording(docs.path(), QString::fromStdString(reports->Station()),
                      QString::fromStdString(first), started);
    const RecordingStartResult res = recorder->Start(plan);
    ASSERT_EQ(res.error, RecordingStartError::None) << res.reason.toStdString();
    EXPECT_EQ(plan.file_path, docs.path() +
                                  "/Velmora Recordings/Loop  FM/24.05.06_07.08.09 - Artist   "
                                  "Song  Live.mp3");

    ASSERT_TRUE(WaitUntil([&] { return HasTitle(*reports, second); }, Scaled(5000ms)));
    ASSERT_TRUE(
        WaitUntil([&] { return QFileInfo(plan.file_path).size() > 64000; }, Scaled(5000ms)));
    EXPECT_TRUE(recorder->Stop());
    const qint64 size_at_stop = QFileInfo(plan.file_path).size();
    // The stream goes on downloading; none of it reaches the file after the stop.
    const auto stream = opener.CurrentStream();
    const std::uint64_t downloaded =
        engine::StreamGetFilePosition(stream, engine::FilePos::Download);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return engine::StreamGetFilePosition(stream, engine::FilePos::Download) >=
                   downloaded + 16000;
        },
        Scaled(5000ms)));
    EXPECT_EQ(QFileInfo(plan.file_path).size(), size_at_stop);
    EXPECT_EQ(engine::ChannelIsActive(opener.CurrentStream()), 1);  // the stream plays on

    QFile file(plan.file_path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string recorded = file.readAll().toStdString();
    const auto sent = server_.ConnectionsTo("/live");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].sent_audio.find(recorded), std::string::npos)
        << "recorded " << recorded.size() << " bytes are not one span of the "
        << sent[0].sent_audio.size() << " sent";
    EXPECT_EQ(QDir(plan.station_folder).entryList(QDir::Files).size(), 1);
    opener.StopAndFree();
}

}  // namespace
}  // namespace velmora::test
