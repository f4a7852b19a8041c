// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/song_tags.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "recording/song_rules.h"

namespace velmora {

namespace {

TagLib::PropertyMap Properties(const SongTags& tags) {
    TagLib::PropertyMap map;
    const auto put = [&map](const char* key, const std::string& value) {
        if (!value.empty())
            map[key] = TagLib::StringList(TagLib::String(value, TagLib::String::UTF8));
    };
    put("TITLE", tags.title);
    put("ARTIST", tags.artist);
    put("ALBUM", tags.album);
    put("DATE", tags.date);
    put("COMMENT", tags.comment);
    return map;
}

// ADTS has no place for tags of its own; readers skip an ID3v2 header in front of the frames.
bool PrependId3(const std::string& path, const SongTags& tags) {
    TagLib::ID3v2::Tag tag;
    tag.setProperties(Properties(tags));
    const TagLib::ByteVector header = tag.render(TagLib::ID3v2::v4);
    std::string audio;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        audio.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string temporary = path + ".tag";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(header.data(), header.size());
        out.write(audio.data(), static_cast<std::streamsize>(audio.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool IsOpus(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[64] = {};
    in.read(head, sizeof head);
    return std::string(head, static_cast<std::size_t>(in.gcount())).find("OpusHead") !=
           std::string::npos;
}

}  // namespace

SongTags TagsForSong(const std::string& stream_title, const std::string& station,
                     const std::string& address, const std::string& date) {
    const ArtistTitle split = SplitArtistTitle(stream_title);
    return {split.title, split.artist, station, date, address};
}

std::string TagRoom(StreamFormat format) {
    if (format != StreamFormat::Mpeg) return {};
    // Titles, the station's name and address fit in 1 KiB; longer tags still move the audio.
    // No more: TagLib gives up room beyond 1 KiB of padding in a small file, moving the audio.
    constexpr std::size_t kRoom = 1024;
    const std::size_t size = kRoom - 10;
    std::string room(kRoom, '\0');             // padding after the header, which readers skip
    room.replace(0, 6, "ID3\x04\x00\x00", 6);  // version 2.4, no flags
    for (int i = 0; i < 4; ++i) room[6 + i] = static_cast<char>((size >> (21 - 7 * i)) & 0x7F);
    return room;
}

bool WriteSongTags(const std::string& path, StreamFormat format, const SongTags& tags) {
    switch (format) {
        case StreamFormat::Mpeg: {
            TagLib::MPEG::File file(path.c_str(), false);
            if (!file.isValid()) return false;
            file.ID3v2Tag(true)->setProperties(Properties(tags));
            return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                             TagLib::ID3v2::v4);
        }
        case StreamFormat::Ogg: {
            if (IsOpus(path)) {
                TagLib::Ogg::Opus::File file(path.c_str(), false);
                if (!file.isValid()) return false;
                file.tag()->setProperties(Properties(tags));
                return file.save();
            }
            TagLib::Ogg::Vorbis::File file(path.c_str(), false);
            if (!file.isValid()) return false;
            file.tag()->setProperties(Properties(tags));
            return file.save();
        }
        case StreamFormat::Adts:
            return PrependId3(path, tags);
        case StreamFormat::Unknown:
            break;
    }
    return false;
}

}  // namespace velmora
