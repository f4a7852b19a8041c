// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ogg_scanner.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace engine {
namespace {

constexpr std::size_t kMaxCommentPacket = 256 * 1024;

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string UpperKey(const std::string& field) {
    std::string key = field.substr(0, field.find('='));
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
}

}  // namespace

std::vector<std::string> ParseCommentPacket(const std::string& packet) {
    std::size_t off;
    if (packet.size() >= 7 && packet.compare(0, 7, "\x03vorbis") == 0)
        off = 7;
    else if (packet.size() >= 8 && packet.compare(0, 8, "OpusTags") == 0)
        off = 8;
    else if (!packet.empty() && (static_cast<unsigned char>(packet[0]) & 0x7f) == 4)
        off = 4;
    else
        return {};
    const auto* p = reinterpret_cast<const std::uint8_t*>(packet.data());
    const std::size_t n = packet.size();
    std::vector<std::string> fields;
    if (off + 4 > n) return fields;
    const std::uint32_t vendor = Le32(p + off);
    if (vendor > n - off - 4) return fields;
    off += 4 + vendor;
    if (off + 4 > n) return fields;
    const std::uint32_t count = Le32(p + off);
    off += 4;
    for (std::uint32_t i = 0; i < count && off + 4 <= n; ++i) {
        const std::uint32_t len = Le32(p + off);
        off += 4;
        if (len > n - off) break;
        fields.emplace_back(packet.substr(off, len));
        off += len;
    }
    return fields;
}

std::string CommentTitle(const std::vector<std::string>& fields) {
    std::string artist, title;
    for (const auto& f : fields) {
        const auto eq = f.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = UpperKey(f);
        if (key == "ARTIST" && artist.empty()) artist = f.substr(eq + 1);
        if (key == "TITLE" && title.empty()) title = f.substr(eq + 1);
    }
    if (!artist.empty() && !title.empty()) return artist + " - " + title;
    return title.empty() ? artist : title;
}

void OggScanner::Feed(const std::uint8_t* data, std::size_t size) {
    while (active_ && size > 0) {
        if (!in_body_) {
            const std::size_t n = std::min(size, header_need_ - header_.size());
            if (header_.empty()) page_start_ = pos_;
            header_.insert(header_.end(), data, data + n);
            data += n;
            size -= n;
            pos_ += n;
            if (header_.size() == 27) {
                if (std::memcmp(header_.data(), "OggS", 4) != 0 || header_[4] != 0) {
                    active_ = false;  // not Ogg, or lost: nothing more to find
                    return;
                }
                header_need_ = 27 + header_[26];
            }
            if (header_.size() == header_need_) PageHeaderDone();
        } else {
            std::size_t taken = 0;
            while (taken < size && lace_index_ < lacing_.size()) {
                const std::size_t k = std::min(size - taken, lace_left_);
                BodyBytes(data + taken, k);
                taken += k;
                lace_left_ -= k;
                if (lace_left_ == 0) {
                    // A lacing value below 255 ends the packet.
                    if (lacing_[lace_index_] < 255) PacketEnded();
                    ++lace_index_;
                    while (lace_index_ < lacing_.size() && lacing_[lace_index_] == 0) {
                        // Zero-length lace: an empty packet (or the end of a 255-multiple one).
                        PacketEnded();
                        ++lace_index_;
                    }
                    if (lace_index_ < lacing_.size()) lace_left_ = lacing_[lace_index_];
                }
            }
            data += taken;
            size -= taken;
            pos_ += taken;
            if (lace_index_ >= lacing_.size()) {
                in_body_ = false;
                header_.clear();
                header_need_ = 27;
            }
        }
    }
}

void OggScanner::PageHeaderDone() {
    const std::uint8_t type = header_[5];
    page_serial_ = Le32(header_.data() + 14);
    const bool bos = (type & 0x02) != 0;
    if (bos && !last_was_bos_) {
        // The first BOS page after data pages starts a new chain.
        if (seen_page_) boundary_(page_start_);
        chain_serial_ = page_serial_;
        packet_index_ = 0;
        collecting_ = true;
        packet_.clear();
    }
    last_was_bos_ = bos;
    seen_page_ = true;
    lacing_.assign(header_.begin() + 27, header_.end());
    lace_index_ = 0;
    // Skip leading zero laces (empty packets) so lace_left_ always counts real bytes.
    while (lace_index_ < lacing_.size() && lacing_[lace_index_] == 0) {
        PacketEnded();
        ++lace_index_;
    }
    lace_left_ = lace_index_ < lacing_.size() ? lacing_[lace_index_] : 0;
    in_body_ = lace_index_ < lacing_.size();
    if (!in_body_) {
        header_.clear();
        header_need_ = 27;
    }
}

void OggScanner::PacketEnded() {
    if (page_serial_ != chain_serial_) return;
    if (collecting_ && packet_index_ == 1) {
        collecting_ = false;
        const std::string t = CommentTitle(ParseCommentPacket(packet_));
        packet_.clear();
        if (!t.empty()) title_(t);
    }
    ++packet_index_;
}

void OggScanner::BodyBytes(const std::uint8_t* data, std::size_t size) {
    if (!collecting_ || page_serial_ != chain_serial_ || packet_index_ != 1) return;
    const std::size_t room = kMaxCommentPacket - std::min(kMaxCommentPacket, packet_.size());
    packet_.append(reinterpret_cast<const char*>(data), std::min(size, room));
}

}  // namespace engine
