// SPDX-License-Identifier: GPL-3.0-or-later
// The audio engine: internet streams in, sound out.
//
// One call per operation the player needs. Streams are addressed by 32-bit handles that are not
// reused soon after a free; every call taking a handle fails with ErrorCode::Handle on 0 or on a
// freed handle and changes nothing. Every call sets the calling thread's last error code (Ok on
// success), read with ErrorGetCode().
//
// Threads: the download callback and the sync callbacks run on the stream's download thread.
// Nothing in the engine holds one of its own locks while calling them, so a callback may block on
// the user-interface thread while that thread calls into the engine (StreamFree included).
//
// Callback data: StreamCreateURL() and ChannelSetSync() take a shared owner of the callback's
// `user` data and pass its raw pointer to the callback. StreamFree() does not wait for a callback
// that is running, and the end call comes after it, so the engine keeps its owners until no
// callback of the stream can run any more: each connection's download thread lets go of them as
// its very last act, after the end call of a stream its creation returned (a connection that
// failed, was cancelled or was a playlist has no end call, but may still have passed header lines).
// A sync set after that is not kept. An owner may be let go on an engine thread, so the data's
// destructor must not wait for the thread that called StreamFree(). Callers need nothing that
// lives until the process ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/cancel_token.h"

namespace engine {

using Handle = std::uint32_t;
using SyncHandle = std::uint32_t;

// Interface version 2.4 in the upper 16 bits, build number in the lower ones.
inline constexpr std::uint32_t kVersion = 0x02040001;

// Last-error codes. Stable numbers: the probe prints them and tests compare them.
enum class ErrorCode : int {
    Ok = 0,
    Memory = 1,         // out of memory
    FileOpen = 2,       // the URL could not be opened: bad address, refused or unreachable host
    Driver = 3,         // no usable sound output device
    Handle = 5,         // 0 or a freed handle
    Format = 6,         // the stream's format is not supported (or needs the plug-in)
    Init = 8,           // Init() has not succeeded yet
    Already = 14,       // already initialised
    IllegalParam = 20,  // a parameter is out of range or null where it may not be
    NotAvailable = 37,  // the requested data is not available (no tags of that kind, ...)
    Timeout = 40,       // nothing usable arrived within the connection timeout
    FileForm = 41,      // the body is not audio (an HTML page, say)
    Codec = 44,         // no decoder for the stream's codec
    HttpStatus = 45,    // the server answered with an HTTP status of 400 or above
    Aborted = 46,       // creation was cancelled from another thread
    Protocol = 47,      // the address's scheme is not one the engine opens (file, ftp, gopher...)
    PlaylistCut = 48,   // none of a playlist's first entries opened; the rest were not tried
    Write = 49,         // the time-shift file could not be written (a full disk): it is off
    Unknown = -1,
};

// Short upper-case name of a code, e.g. "FILEOPEN".
const char* ErrorName(ErrorCode code);

// Configuration options of SetConfig().
enum class Config {
    NetPlaylist,  // 1: URLs that are playlists (.pls .m3u .asx .xspf) open their entries
    // 1: creation waits until the buffer is 75 % full; 0: returns once identified. The buffer
    // (FilePos::End) holds five seconds of audio at the rate the audio itself shows once
    // identified, whatever icy-br states.
    NetPrebuf,
    NetTimeout,  // connection and first-data timeout in milliseconds (default 10000)
    // Reconnecting an http or https stream, once identified as audio, whose connection dropped
    // or sent nothing for NetStall ms: attempts go on for this many milliseconds after the drop
    // (default 600000; 0 = never reconnect, a drop ends the stream). A body of stated length, or
    // a chunked one, that arrived whole is a file that ended, not a drop.
    NetReconnect,
    // The wait before the first attempt in milliseconds (default 1000); the next ones wait 2, 4,
    // 8 and 16 times as long, then 30 times as long each. The waits and the time of the attempts
    // start afresh only after a connection that carried some seconds of audio; the answer of a
    // reconnection counts as the stream's only when its status, type and first bytes are audio.
    NetReconnectDelay,
    // Milliseconds without a byte from the server after which a playing connection counts as
    // dropped (default 10000).
    NetStall,
    // Milliseconds the sound device stays open after the last stream stopped (default 2000; 0
    // closes it at once): a station change stops one stream and plays the next a moment later,
    // which then sounds without waiting for the device to close and open again.
    DeviceLinger,
    // Seconds of a playing stream kept for time-shift (pause, skip back, back to live), at most
    // 86400; 0 (the default) keeps none. Needs ConfigPtr::TimeShiftFolder; applies to the streams
    // played from then on.
    TimeShift,
};

// Pointer options of SetConfigPtr().
enum class ConfigPtr {
    // A zero-terminated proxy text ("host:port" or "user:pass@host:port"); null or "" = direct.
    // The engine keeps its own copy: edits of the caller's buffer count from the next call on.
    NetProxy,
    // The user's cache folder (absolute): the time-shift buffers are files of a private folder
    // in it (velmora/timeshift, mode 0700), one per playing stream, removed when the stream is
    // stopped or freed; files of a run that crashed are removed here. Null or "" = none.
    TimeShiftFolder,
};

enum class FilePos { Current, Download, End };
enum class TagKind { Icy, Http, Meta };
// Meta: the META tag changed (data 0). Reconnect: data 1 when the connection is lost and the
// engine starts reconnecting; data 0 when the stream flows again (the decoder reads the new
// connection's audio); data 2 when the attempts are given up (the stream then ends as after a
// drop).
enum class SyncType { Meta, Reconnect };
enum class Attribute { Volume };

// ChannelIsActive() results.
enum class ActiveState : int { Stopped = 0, Playing = 1, Stalled = 2, Paused = 3 };

// StreamCreateURL() flags.
inline constexpr std::uint32_t kStreamStatus = 0x800000;  // pass header lines to the download proc
// Pass every META text to the download proc at its place between the audio bytes: length 0, the
// text after kMetaLinePrefix. A recorder learns exactly which byte a title starts at, also for the
// titles that came while the stream was being identified.
inline constexpr std::uint32_t kStreamMeta = 0x400000;
inline constexpr const char* kMetaLinePrefix = "\x01meta:";

// Init() flags.
// No sound output: streams are opened and downloaded (for recording) but cannot play; a machine
// without a sound device or display records with it.
inline constexpr std::uint32_t kInitNoSound = 0x1;

// ChannelGetData() flags.
inline constexpr std::uint32_t kDataFft1024 = 0x80000002;  // 512 float magnitudes

// Addresses opened: http and https (also as playlist entries and redirect targets), and mms, mmsh
// and mmst for ASF streams. Any other scheme fails with ErrorCode::Protocol and is never fetched.
//
// Download callback: (buffer, length, user). length 0 with a buffer: one zero-terminated response
// header line (the status line first); length > 0: downloaded audio bytes with any ICY metadata
// removed; null buffer: the download has ended, for whatever reason (called exactly once).
// A reconnection (see Config::NetReconnect) keeps the stream and its callback: the header lines of
// the new connection arrive as header lines, then its audio bytes follow the last ones of the old
// connection; nothing is sent twice and nothing is left out but what the server never sent. The
// end call comes once, at the real end: when the stream is freed or the attempts are given up.
using DownloadProc = void(const void* buffer, std::uint32_t length, void* user);
// Sync callback: (sync handle, stream handle, data, user).
using SyncProc = void(SyncHandle sync, Handle stream, std::uint32_t data, void* user);

// Cancelled from another thread to abandon a StreamCreateURL() that is still connecting or
// identifying: the creation wakes at once and fails with ErrorCode::Aborted.
using CancelHandle = std::shared_ptr<CancelToken>;

inline constexpr std::uint64_t kPosFailed = ~std::uint64_t{0};

// Name of the plug-in that enables ASF/WMA streams.
inline constexpr const char* kWmaPlugin = "wma";

bool PluginLoad(const char* name, std::uint32_t flags);
std::uint32_t GetVersion();
// device -1 = default output. Checks that the output opens at `freq` Hz, stereo (ErrorCode::Driver
// when it does not). The device is then open only while a stream plays: ChannelPlay() opens it on
// the engine's device thread, and it closes Config::DeviceLinger after the last playing stream
// stopped, ended or was freed, so an idle engine has no thread that wakes.
bool Init(int device, std::uint32_t freq, std::uint32_t flags, void* window);
bool SetConfig(Config option, std::uint32_t value);
bool SetConfigPtr(ConfigPtr option, const char* value);
// Blocks until the stream's format is identified; returns 0 on failure (see ErrorGetCode()).
// `user` is kept as described at the top, also when the creation fails.
Handle StreamCreateURL(const char* url, std::uint64_t offset, std::uint32_t flags,
                       DownloadProc* proc, std::shared_ptr<void> user,
                       CancelHandle cancel = nullptr);
std::uint64_t StreamGetFilePosition(Handle stream, FilePos which);
// Waits until the stream's buffer holds `bytes` unplayed bytes (FilePos::Download less
// FilePos::Current), its download has ended, the stream is freed or `cancel` is cancelled; each of
// them wakes the wait at once, nothing polls. True when the bytes are there; else the error code
// is Ok for an ended download, Aborted for a cancel and Handle for a freed stream.
bool StreamWaitBuffer(Handle stream, std::uint64_t bytes, const CancelHandle& cancel);
// ICY and HTTP: zero-terminated lines, the last one empty. META: one zero-terminated text.
// The pointer stays valid until the tag changes or the stream is freed.
const char* ChannelGetTags(Handle stream, TagKind kind);
SyncHandle ChannelSetSync(Handle stream, SyncType type, std::uint64_t param, SyncProc* proc,
                          std::shared_ptr<void> user);
bool ChannelSetAttribute(Handle stream, Attribute attrib, float value);
bool ChannelPlay(Handle stream, bool restart);
bool ChannelStop(Handle stream);
// The stream is recorded through its download callback and never played: from now on its buffer
// drops what nobody reads instead of holding the download back. It cannot be played after this.
bool ChannelRecordOnly(Handle stream);
// --- time-shift (Config::TimeShift); every stream without it fails with NotAvailable
// Silences a playing stream but keeps its download (and with it a recording through the download
// callback) going into the time-shift buffer; ChannelPlay() resumes at the same byte.
bool ChannelPause(Handle stream);
// Moves what is heard by `seconds` (negative: back), to a frame boundary within the buffer;
// forward past the live edge goes live.
bool ChannelSkip(Handle stream, double seconds);
// Moves what is heard to the live edge: as far behind the download as a stream that never paused.
bool ChannelGoLive(Handle stream);
struct TimeShiftInfo {
    bool paused = false;
    bool seekable = false;  // the format's frames are known: ChannelSkip() works
    double behind = 0;      // seconds what is heard lies behind the live edge
    double buffered = 0;    // seconds kept, from the oldest to the newest byte
    double position = 0;    // seconds from the oldest kept to what is heard
    // How often the buffer's bound dropped what was still to be heard (a pause beyond the bound).
    std::uint32_t drops = 0;
};
// False with ErrorCode::Write once the stream's time-shift file failed: it plays on without one.
bool ChannelGetTimeShift(Handle stream, TimeShiftInfo* info);
// The path of the stream's time-shift file; empty without one (for tests and messages).
std::string ChannelTimeShiftPath(Handle stream);
// Why a stream that played ended by itself: ErrorCode::Ok when its station ended it (or it still
// plays), else the reason the engine could not go on (Format: nothing decodable after a skip).
int ChannelGetEndError(Handle stream);
// ActiveState as an integer; 0 also for a dead handle.
int ChannelIsActive(Handle stream);
// Fills `buffer` and returns the number of bytes written, or -1 on failure.
int ChannelGetData(Handle stream, float* buffer, std::uint32_t flags);
// Silences and releases the stream at once; never waits for a thread that may be blocked.
bool StreamFree(Handle stream);
// The calling thread's last error code, as an integer.
int ErrorGetCode();
// Frees every stream and closes the output device.
bool Free();

}  // namespace engine
