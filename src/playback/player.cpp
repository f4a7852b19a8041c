// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/player.h"

#include <QDir>
#include <QTimer>
#include <atomic>

#include "engine/engine.h"
#include "opening/engine_start.h"
#include "opening/stream_opener.h"
#include "playback/stream_status_sink.h"
#include "playback/time_shift_rules.h"
#include "playback/volume.h"
#include "text/server_text.h"

namespace velmora {
namespace {

bool StateIs(engine::Handle stream, engine::ActiveState state) {
    return engine::ChannelIsActive(stream) == static_cast<int>(state);
}

// $XDG_CACHE_HOME, default ~/.cache: the time-shift files go to velmora/timeshift in it.
QString CacheHome() {
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    return cache.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : cache;
}

}  // namespace

struct Player::Engine {
    // --- the Player's thread only
    std::shared_ptr<StreamStatusSink> sink;
    std::unique_ptr<StreamOpener> opener;
    // The playing stream's character set, decided by its texts; reset at each opening.
    ServerTextDecoder decoder;
    // The stream that played when the current opening started; it is not the opening's sound.
    engine::Handle replaced = 0;
    bool init_tried = false;
    bool proxy_set = false;
    int shift_minutes = kDefaultTimeShiftMinutes;
    // --- written here, read by the opening worker before playback starts
    std::shared_ptr<std::atomic<int>> volume = std::make_shared<std::atomic<int>>(kDefaultVolume);
};

Player::Player(QObject* parent, int start_watch_ms, int end_watch_ms)
    : QObject(parent), engine_(std::make_unique<Engine>()) {
    start_watch_ = new QTimer(this);
    start_watch_->setObjectName(QStringLiteral("StartWatch"));
    start_watch_->setInterval(start_watch_ms);
    connect(start_watch_, &QTimer::timeout, this, &Player::CheckStarted);
    end_watch_ = new QTimer(this);
    end_watch_->setObjectName(QStringLiteral("EndWatch"));
    end_watch_->setInterval(end_watch_ms);
    connect(end_watch_, &QTimer::timeout, this, &Player::CheckEnded);
}

Player::~Player() {
    // Reports still under way find the Player gone; a worker waiting on one is let go.
    if (engine_->sink) engine_->sink->Close();
    // Callbacks still due from freed streams find their opening's owner gone and do nothing.
    engine_->opener.reset();
    // The proxy was this Player's choice; the engine outlives it in tests and goes direct again.
    if (engine_->proxy_set) engine::SetConfigPtr(engine::ConfigPtr::NetProxy, nullptr);
    // Releasing the engine stops and frees every stream, and removes their time-shift files.
    if (engine_->init_tried) {
        engine::Free();
        engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, nullptr);
    }
}

Player::StartupFailure Player::StartEngine() {
    if (started_) return StartupFailure::None;
    const EngineStart start = velmora::StartEngine();
    if (start == EngineStart::WrongVersion) return StartupFailure::EngineVersion;
    engine_->init_tried = true;
    if (start == EngineStart::NoOutput) {
        startup_error_code_ = engine::ErrorGetCode();
        return StartupFailure::SoundCard;
    }

    // Its folder is made private and cleared of what a crashed run left here, once.
    engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, CacheHome().toLocal8Bit().constData());
    SetTimeShiftMinutes(engine_->shift_minutes);
    engine_->sink =
        StreamStatusSink::Create(this, [this](const StatusReport& report) { OnReport(report); });
    engine_->opener = std::make_unique<StreamOpener>(
        [sink = engine_->sink](const StatusReport& report) { sink->Report(report); },
        [volume = engine_->volume] { return volume->load(); });
    started_ = true;
    return StartupFailure::None;
}

unsigned Player::CurrentStream() const {
    return engine_->opener ? engine_->opener->CurrentStream() : 0;
}

bool Player::IsOpening() const {
    return engine_->opener && engine_->opener->IsOpening();
}

bool Player::IsPlaying() const {
    return StateIs(CurrentStream(), engine::ActiveState::Playing);
}

bool Player::IsBusy() const {
    return opening_ != 0 &&
           (IsOpening() || !StateIs(CurrentStream(), engine::ActiveState::Stopped));
}

bool Player::AnalyserData(Magnitudes& out) const {
    const engine::Handle stream = CurrentStream();
    if (!StateIs(stream, engine::ActiveState::Playing)) return false;
    if (engine::ChannelGetData(stream, out.data(), engine::kDataFft1024) < 0) out.fill(0.0f);
    return true;
}

bool Player::AttachRecorder(DataSink sink) {
    return engine_->opener && engine_->opener->AttachSink(std::move(sink));
}

void Player::SetProxy(const char* address) {
    engine_->proxy_set = true;
    engine::SetConfigPtr(engine::ConfigPtr::NetProxy, address);
}

std::uint64_t Player::Play(const std::string& url) {
    if (!engine_->opener || engine_->opener->IsOpening()) return 0;
    const engine::Handle before = CurrentStream();
    const std::uint64_t id = engine_->opener->Start(url);
    if (id == 0) return 0;
    opening_ = id;
    engine_->replaced = before;
    engine_->decoder.Reset();
    end_watch_->stop();
    start_watch_->start();
    return id;
}

void Player::Cancel() {
    if (!IsOpening()) return;
    engine_->opener->Cancel();
    const std::uint64_t abandoned = opening_;
    opening_ = 0;
    start_watch_->stop();
    emit stopped(abandoned);
}

void Player::Stop() {
    const std::uint64_t stopping = opening_;
    const bool busy = IsOpening() || CurrentStream() != 0;
    opening_ = 0;  // what the stopped stream still reports is not passed on
    if (engine_->opener) engine_->opener->StopAndFree();
    start_watch_->stop();
    end_watch_->stop();
    if (busy) emit stopped(stopping);
}

void Player::SetVolume(int position) {
    engine_->volume->store(position);
    engine::ChannelSetAttribute(CurrentStream(), engine::Attribute::Volume, EngineVolume(position));
}

int Player::Volume() const {
    return engine_->volume->load();
}

void Player::Mute() {
    engine::ChannelSetAttribute(CurrentStream(), engine::Attribute::Volume, 0.0f);
}

Player::TimeShiftState Player::TimeShift() const {
    TimeShiftState state;
    engine::TimeShiftInfo info;
    if (!engine::ChannelGetTimeShift(CurrentStream(), &info)) {
        state.failed = engine::ErrorGetCode() == static_cast<int>(engine::ErrorCode::Write);
        return state;
    }
    state.available = true;
    state.paused = info.paused;
    state.seekable = info.seekable;
    state.behind = info.behind;
    state.buffered = info.buffered;
    state.position = info.position;
    state.drops = info.drops;
    return state;
}

bool Player::IsPaused() const {
    return StateIs(CurrentStream(), engine::ActiveState::Paused);
}

void Player::SetTimeShiftMinutes(int minutes) {
    engine_->shift_minutes = ClampTimeShiftMinutes(minutes);
    if (started_ || engine_->init_tried)
        engine::SetConfig(engine::Config::TimeShift,
                          static_cast<std::uint32_t>(engine_->shift_minutes) * 60);
}

int Player::TimeShiftMinutes() const {
    return engine_->shift_minutes;
}

bool Player::Pause() {
    if (opening_ == 0 || IsOpening() || !engine::ChannelPause(CurrentStream())) return false;
    emit timeShifted(opening_);
    return true;
}

bool Player::Resume() {
    if (opening_ == 0 || !IsPaused() || !engine::ChannelPlay(CurrentStream(), false)) return false;
    emit timeShifted(opening_);
    return true;
}

bool Player::Skip(int seconds) {
    if (opening_ == 0 || !engine::ChannelSkip(CurrentStream(), seconds)) return false;
    emit timeShifted(opening_);
    return true;
}

bool Player::GoLive() {
    if (opening_ == 0 || !engine::ChannelGoLive(CurrentStream())) return false;
    emit timeShifted(opening_);
    return true;
}

void Player::OnReport(const StatusReport& report) {
    // Reports of an abandoned opening, or of a stream already stopped, would overwrite what the
    // user chose since.
    if (report.opening == 0 || report.opening != opening_) return;
    const std::uint64_t id = report.opening;
    const auto text = [&] { return QString::fromStdString(ReportText(report, engine_->decoder)); };
    switch (report.code) {
        case StreamStatus::Connecting:
            emit opening(id);
            break;
        case StreamStatus::CannotPlay:
            start_watch_->stop();
            emit failed(id, static_cast<int>(report.number));
            break;
        case StreamStatus::Buffering:
            emit buffering(id, static_cast<int>(report.number));
            break;
        case StreamStatus::StationName:
            emit station(id, text());
            break;
        case StreamStatus::Bitrate:
            emit bitRate(id, text());
            break;
        case StreamStatus::ServerLine:
            emit serverLine(id, text());
            break;
        case StreamStatus::Title:
            emit title(id, text());
            break;
        case StreamStatus::Reconnect:
            emit stalled(id, report.number == 1);
            break;
    }
}

// Start watch: the opening's own stream makes sound, or the opening ended without any.
void Player::CheckStarted() {
    const engine::Handle stream = CurrentStream();
    const bool own = stream != 0 && stream != engine_->replaced;
    if (own && StateIs(stream, engine::ActiveState::Playing)) {
        start_watch_->stop();
        end_watch_->start();
        emit playing(opening_);
        return;
    }
    // A stream that stalls at once is still starting; one that failed was reported as failed.
    if (!IsOpening() && (!own || StateIs(stream, engine::ActiveState::Stopped)))
        start_watch_->stop();
}

// End watch: a playing stream that ended by itself (the server closed it, reconnecting gave up).
void Player::CheckEnded() {
    if (!StateIs(CurrentStream(), engine::ActiveState::Stopped)) return;
    end_watch_->stop();
    // The engine gave up (nothing decodable after a skip): said, not a silent end.
    const int code = engine::ChannelGetEndError(CurrentStream());
    const std::uint64_t ended = opening_;
    emit stopped(ended);
    if (code != static_cast<int>(engine::ErrorCode::Ok)) emit failed(ended, code);
}

}  // namespace velmora
