// SPDX-License-Identifier: GPL-3.0-or-later
// Song files: tags written through TagLib and read back through it (ID3v2.4, Vorbis comments, an
// ID3v2 header before ADTS), and each song filed whole by the rules, with no file written over.
#include "recording/song_files.h"

#include <gtest/gtest.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>

#include "recording/song_tags.h"
#include "support/test_audio.h"

namespace velmora {
namespace {

using test::AudioCodec;

std::string Tone(AudioCodec codec) {
    test::SineSpec spec;
    spec.codec = codec;
    spec.seconds = 1.0;
    return test::EncodeSine(spec);
}

std::string Property(const TagLib::PropertyMap& map, const char* key) {
    return map.contains(key) ? map[key].toString().to8Bit(true) : std::string();
}

TEST(SongFilesTest, TagsReadBackThroughTagLib) {
    QTemporaryDir dir;
    const SongTags tags = TagsForSong("Mötley Crüe - Home Sweet Home", "Rádio Test",
                                      "http://127.0.0.1/x", "2026-12-08");
    const struct {
        AudioCodec codec;
        StreamFormat format;
    } rows[] = {{AudioCodec::Mp3, StreamFormat::Mpeg},
                {AudioCodec::Vorbis, StreamFormat::Ogg},
                {AudioCodec::Aac, StreamFormat::Adts}};
    for (const auto& r : rows) {
        const std::string path = dir.path().toStdString() + "/song." + FormatExtension(r.format);
        std::ofstream(path, std::ios::binary) << Tone(r.codec);
        ASSERT_TRUE(WriteSongTags(path, r.format, tags)) << path;
        TagLib::PropertyMap read;
        if (r.format == StreamFormat::Ogg) {
            TagLib::Ogg::Vorbis::File file(path.c_str());
            read = file.properties();
        } else {
            // ADTS is not an MPEG file to TagLib, but its ID3v2 header reads the same.
            TagLib::MPEG::File file(path.c_str());
            ASSERT_NE(file.ID3v2Tag(), nullptr) << path;
            EXPECT_EQ(file.ID3v2Tag()->header()->majorVersion(), 4u) << path;
            read = file.ID3v2Tag()->properties();
        }
        EXPECT_EQ(Property(read, "TITLE"), "Home Sweet Home") << path;
        EXPECT_EQ(Property(read, "ARTIST"), "Mötley Crüe") << path;
        EXPECT_EQ(Property(read, "ALBUM"), "Rádio Test") << path;
        EXPECT_EQ(Property(read, "DATE"), "2026-12-08") << path;
        EXPECT_EQ(Property(read, "COMMENT"), "http://127.0.0.1/x") << path;
        const test::DecodedFile decoded = test::DecodeFile(path);
        EXPECT_EQ(decoded.errors, 0) << path;
        EXPECT_GT(decoded.seconds, 0.9) << path;
    }
}

// An MP3 song begins with room for its tags: tagging it rewrites its head, not all of its audio.
TEST(SongFilesTest, Mp3TagsFitTheRoomBeforeTheAudio) {
    QTemporaryDir dir;
    SongFilesPlan plan;
    plan.station_folder = dir.path().toStdString() + "/Test FM";
    plan.station = "Test FM";
    plan.address = "http://127.0.0.1/x";
    plan.format = StreamFormat::Mpeg;
    std::string saved;
    SongFiles files(
        plan, [&](const std::string& path, SongPlace) { saved = path; }, nullptr);
    const std::string audio = Tone(AudioCodec::Mp3);
    files.BeginSong();
    files.WriteSong(audio);
    files.EndSong({"Artist - Title", 100, false, false});
    ASSERT_FALSE(saved.empty());
    std::ifstream in(saved, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::size_t room = TagRoom(StreamFormat::Mpeg).size();
    ASSERT_EQ(bytes.size(), room + audio.size());
    EXPECT_TRUE(bytes.compare(room, std::string::npos, audio) == 0);
    TagLib::MPEG::File file(saved.c_str());
    ASSERT_NE(file.ID3v2Tag(), nullptr);
    EXPECT_EQ(Property(file.ID3v2Tag()->properties(), "TITLE"), "Title");
    EXPECT_EQ(test::DecodeFile(saved).errors, 0);
}

TEST(SongFilesTest, SongsFiledByTheRules) {
    QTemporaryDir dir;
    SongFilesPlan plan;
    plan.station_folder = dir.path().toStdString() + "/Test FM";
    plan.station = "Test FM";
    plan.format = StreamFormat::Mpeg;
    plan.rules.skip_patterns = {"news"};
    std::vector<std::string> saved;
    int failures = 0;
    SongFiles files(
        plan, [&](const std::string& path, SongPlace) { saved.push_back(path); },
        [&](SongFiles::Failure, const std::string&, const std::string&) { ++failures; });
    const std::string audio = Tone(AudioCodec::Mp3);
    const auto song = [&](const std::string& title, double seconds, bool first, bool last) {
        files.BeginSong();
        files.WriteSong(audio);
        files.EndSong({title, seconds, first, last});
    };
    song("A - Joined", 100, true, false);
    song("B - Whole", 100, false, false);
    song("B - Whole", 100, false, false);  // the same title again: a second file
    song("News", 100, false, false);
    song("C: short/odd?", 10, false, false);
    song("", 100, false, true);
    const std::string folder = plan.station_folder;
    const std::vector<std::string> expected = {
        folder + "/incomplete/A - Joined.mp3", folder + "/B - Whole.mp3",
        folder + "/B - Whole (2).mp3", folder + "/incomplete/C  short odd.mp3",
        folder + "/incomplete/Test FM.mp3"};
    EXPECT_EQ(saved, expected);
    EXPECT_EQ(failures, 0);
    for (const std::string& path : expected) {
        EXPECT_EQ(test::DecodeFile(path).errors, 0) << path;
    }
    // Nothing half-written is left behind.
    EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

}  // namespace
}  // namespace velmora
