// SPDX-License-Identifier: GPL-3.0-or-later
// Watches the bytes of an Ogg stream as they are downloaded: finds where each chained logical
// stream begins (Icecast starts a new one at every song) and reads its comment header, so that the
// decoder can restart at the boundary and the title can be shown like an ICY title.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace engine {

// "ARTIST - TITLE" from Vorbis/Opus/FLAC comment fields; only one of them when the other is
// missing; empty when neither is there.
std::string CommentTitle(const std::vector<std::string>& fields);
// Parses a comment header packet ("\3vorbis...", "OpusTags...", FLAC metadata block 4) into its
// "KEY=value" fields. A truncated packet yields the complete fields before the cut.
std::vector<std::string> ParseCommentPacket(const std::string& packet);

class OggScanner {
  public:
    // offset: absolute byte position where a new chain (not the first) begins.
    using BoundaryFn = std::function<void(std::uint64_t offset)>;
    // The title of a chain, as soon as its comment header has arrived.
    using TitleFn = std::function<void(const std::string& title)>;

    // `start`: the absolute position of the first byte fed.
    OggScanner(BoundaryFn boundary, TitleFn title, std::uint64_t start = 0)
        : boundary_(std::move(boundary)), title_(std::move(title)), pos_(start) {}

    // Feeds the next bytes of the stream. Gives up quietly on data that is not Ogg.
    void Feed(const std::uint8_t* data, std::size_t size);
    bool active() const { return active_; }
    // Bytes at the end of what was fed that belong to a page header not yet complete. They must
    // not reach the reader before the header is known: it may start a new chain.
    std::size_t pending_header() const { return active_ && !in_body_ ? header_.size() : 0; }

  private:
    void PageHeaderDone();
    void BodyBytes(const std::uint8_t* data, std::size_t size);
    void PacketEnded();

    BoundaryFn boundary_;
    TitleFn title_;
    bool active_ = true;
    std::uint64_t pos_ = 0;         // absolute position of the next byte fed
    std::uint64_t page_start_ = 0;  // absolute position of the current page
    std::vector<std::uint8_t> header_;
    std::size_t header_need_ = 27;
    bool in_body_ = false;
    std::vector<std::uint8_t> lacing_;
    std::size_t lace_index_ = 0;
    std::size_t lace_left_ = 0;
    bool seen_page_ = false;
    bool last_was_bos_ = false;
    std::uint32_t page_serial_ = 0;
    // The chain's first logical stream, whose second packet is its comment header.
    std::uint32_t chain_serial_ = 0;
    int packet_index_ = 0;
    bool collecting_ = false;
    std::string packet_;
};

}  // namespace engine
