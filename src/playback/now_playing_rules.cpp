// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/now_playing_rules.h"

#include "channels/directory.h"
#include "engine/playlist.h"
#include "i18n/message.h"
#include "playback/volume.h"

namespace velmora {
namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters as the user sees them: a surrogate pair is one.
qsizetype CharacterCount(const QString& text) {
    qsizetype count = 0;
    for (QChar c : text) count += c.isLowSurrogate() ? 0 : 1;
    return count;
}

}  // namespace

ReplayTick AutoReplay::Tick(bool opening_failed) {
    if (retry_count_ >= kMaxReplays) {
        retry_count_ = 0;
        return ReplayTick::StopTimer;
    }
    if (opening_failed) {
        ++retry_count_;
        return ReplayTick::Replay;
    }
    return ReplayTick::Wait;
}

StartFixes PlaybackStartFixes(const StartFixInput& in) {
    StartFixes out;
    out.volume_on_visible = MuteButtonVisible(in.slider_position);
    if (!in.user_channel_mode) {
        out.record_offered = true;
        if (in.directory_row >= 0 && in.directory_row < kDirectoryRowCount) {
            const DirectoryRow& row = DirectoryRows()[in.directory_row];
            if (!row.fixed_name.empty()) {
                out.station_text = FromView(row.fixed_name);
                out.bitrate_text = FromView(row.fixed_bitrate);
                out.record_offered = false;
            }
        }
    }
    // A station by its address (the command line, a second start, the directory search) is
    // recorded like a user channel of that address.
    if (in.user_channel_mode && in.user_row < 0 && !in.address_url.isEmpty())
        out.record_offered = !UserChannelCannotRecord(in.address_url);
    if (in.user_row >= 0) {
        if (UserChannelCannotRecord(in.user_channel_url)) {
            out.station_text = in.user_channel_name;
            out.bitrate_text = QString();
            out.record_offered = false;
        } else {
            out.record_offered = true;
        }
    }
    return out;
}

bool UserChannelCannotRecord(const QString& url) {
    // HLS streams reach the engine as decoded segments, never as the station's bytes.
    return url.contains(u".asx", Qt::CaseSensitive) || url.contains(u"mms://", Qt::CaseSensitive) ||
           engine::IsHlsAddress(url.toStdString());
}

TitleHint TitleLabelHint(const QString& title) {
    if (title.isEmpty()) return {};
    if (CharacterCount(title) <= kTitleHintCopyMaxLength) return {true, Msg("Copy")};
    return {true, title};
}

}  // namespace velmora
