// SPDX-License-Identifier: GPL-3.0-or-later
// Player: the one object between the windows and the audio engine. It starts and ends the engine,
// opens stations through the stream-opening worker, and turns the worker's status reports into
// typed signals that carry the opening they belong to. Volume, the analyser's magnitudes, the
// proxy, the recorder's hook and pausing (the time-shift buffer) go through it too, so no window
// needs an engine header.
//
// Threads: every member is called on the thread the Player lives on (the user-interface thread).
// Status reports come from the worker and the engine's threads and are handed over synchronously:
// the sender waits until the signals have been delivered, and is released when the Player goes.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace velmora {

struct StatusReport;

class Player final : public QObject {
    Q_OBJECT
  public:
    // What StartEngine() could not do; the window tells the user.
    enum class StartupFailure { None, EngineVersion, SoundCard };
    // Magnitudes of one analyser frame.
    static constexpr std::size_t kAnalyserBins = 512;
    using Magnitudes = std::array<float, kAnalyserBins>;
    // One stream's raw downloaded bytes (length > 0) and the end of its download (null data), on
    // that stream's download thread.
    using DataSink = std::function<void(const void* data, std::uint32_t length)>;

    // `start_watch_ms` paces the check for playback starting (between Play and the first sound);
    // `end_watch_ms` the check for a playing stream ending by itself.
    explicit Player(QObject* parent = nullptr, int start_watch_ms = 66, int end_watch_ms = 500);
    // Stops whatever plays and, when StartEngine() succeeded, releases the engine. Emits nothing.
    ~Player() override;

    // Loads the WMA plug-in, checks the engine's version, opens the sound output and sets the
    // network options. On failure the engine's error code is kept in StartupErrorCode().
    StartupFailure StartEngine();
    bool Started() const { return started_; }
    int StartupErrorCode() const { return startup_error_code_; }

    // The opening whose reports are passed on; 0 after Stop and before the first Play.
    std::uint64_t CurrentOpening() const { return opening_; }
    // The engine's handle of the stream being played, 0 when none (for diagnostics and tests).
    unsigned CurrentStream() const;
    // True while a stream-opening worker runs.
    bool IsOpening() const;
    // The current stream is producing sound.
    bool IsPlaying() const;
    // From Play until Stop, a failed opening or the stream's end (stalled streams included).
    bool IsBusy() const;

    // The newest analyser frame of the playing stream; false, leaving `out` as it was, when
    // nothing plays.
    bool AnalyserData(Magnitudes& out) const;
    // Hands the playing stream's bytes, and the end of its download, to `sink`; false when no
    // stream plays.
    bool AttachRecorder(DataSink sink);
    // The proxy for the next openings: "host:port" or "user:pass@host:port"; null or "" for a
    // direct connection. The engine copies the text.
    void SetProxy(const char* address);

    // The slider position the playing and the next streams play at.
    int Volume() const;

    // Time-shift: the playing station's buffer for pausing, skipping and going back to live.
    struct TimeShiftState {
        bool available = false;  // the playing station has a buffer: it can pause
        bool paused = false;
        bool seekable = false;  // its frames are known: it can skip and go live
        double behind = 0;      // seconds behind the live edge
        double buffered = 0;    // seconds kept
        double position = 0;    // seconds from the oldest kept to what is heard
        unsigned drops = 0;     // how often the bound dropped sound not yet heard
        bool failed = false;    // its buffer's file failed: it plays on, unable to pause
    };
    TimeShiftState TimeShift() const;
    bool IsPaused() const;
    // Minutes a station that starts to play keeps for pausing (0: none, Pause stops); the
    // buffer is a file of a private folder in the user's cache folder.
    void SetTimeShiftMinutes(int minutes);
    int TimeShiftMinutes() const;

  public slots:
    // Starts opening `url` and returns the opening's number; 0, doing nothing, while another
    // opening runs or before the engine started (the caller beeps).
    std::uint64_t Play(const std::string& url);
    // Abandons an opening still under way; the stream that plays (if any) goes on.
    void Cancel();
    // Cancels an opening under way and stops and frees the current stream.
    void Stop();
    // Slider position 0..100, for the playing stream and the next ones.
    void SetVolume(int position);
    // Silences the playing stream without changing the stored volume.
    void Mute();
    // The playing station stops sounding but goes on downloading (and recording); false when it
    // cannot (nothing plays, no buffer).
    bool Pause();
    // A paused station sounds again from where it paused.
    bool Resume();
    // Moves what is heard by `seconds` within the buffer (negative: back).
    bool Skip(int seconds);
    // Back to the live edge.
    bool GoLive();

  signals:
    // "Connecting...": the worker has started.
    void opening(std::uint64_t opening);
    void buffering(std::uint64_t opening, int percent);
    // Server texts, already decoded from the station's character set.
    void station(std::uint64_t opening, const QString& name);
    void bitRate(std::uint64_t opening, const QString& text);  // "Bitrate: N kbps"
    void serverLine(std::uint64_t opening, const QString& line);
    void title(std::uint64_t opening, const QString& text);
    // The stream makes sound: once per opening.
    void playing(std::uint64_t opening);
    // true: the connection was lost and the engine reconnects; false: it flows again.
    void stalled(std::uint64_t opening, bool stalled);
    // Stop, or a playing stream that ended by itself.
    void stopped(std::uint64_t opening);
    // The station could not be opened; `code` is the engine's error code.
    void failed(std::uint64_t opening, int code);
    // Pause, Resume, a skip or Live changed what is heard.
    void timeShifted(std::uint64_t opening);

  private:
    struct Engine;
    void OnReport(const StatusReport& report);
    void CheckStarted();
    void CheckEnded();

    std::unique_ptr<Engine> engine_;
    bool started_ = false;
    int startup_error_code_ = 0;
    // The opening whose reports are shown; 0 after Stop or Cancel.
    std::uint64_t opening_ = 0;
    // Nothing is checked while nothing plays: the start watch runs from Play until the stream
    // plays, the opening fails or the user stops; the end watch while the stream plays.
    QTimer* start_watch_ = nullptr;
    QTimer* end_watch_ = nullptr;
};

}  // namespace velmora
