// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_rules.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <cstdlib>

#include "update/browser.h"
#include "update/online.h"
#include "base/private_folder.h"
#include "update/update_signature.h"

namespace velmora {
namespace {

// Line ends of every kind end a value; only "#message=[" runs across lines, up to its "]".
TEST(UpdateInfoTest, ValuesEndAtTheFirstLineBreakOfAnyKind) {
    struct Row {
        const char* body;
        const char* version;
        const char* message;
    };
    const Row rows[] = {
        {"#version=2451\r\n#message=[a]\r\n", "2451", "a"},
        {"#version=2451\n#message=[a]\n", "2451", "a"},
        {"#version=2451\r#message=[a]\r", "2451", "a"},
        {"#message=[line one\r\nline two]\r\n#version=2451\r\n", "2451", "line one\r\nline two"},
        {"#version=2451", "", ""},                       // no line break after it: empty
        {"#message=[never closed\r\n", "", ""},          // no "]": empty
        {"#VERSION=2451\r\n", "2451", ""},               // keywords ignore case
        {"#version= 2451 \r\n", " 2451 ", ""},           // values keep their blanks
        {"text #version=7\r\n#version=8\r\n", "7", ""},  // first occurrence, anywhere
    };
    for (const Row& r : rows) {
        const UpdateInfo info = ParseUpdateInfo(r.body);
        EXPECT_EQ(info.version, r.version) << r.body;
        EXPECT_EQ(info.message, r.message) << r.body;
    }
    EXPECT_TRUE(ParseUpdateInfo("#x").is_info_file);
    EXPECT_FALSE(ParseUpdateInfo("<html>#version=1\r\n").is_info_file);
    EXPECT_FALSE(ParseUpdateInfo("").is_info_file);
}

// ByNumber offers only a higher version number; ByDate compares year, month, day keys.
TEST(UpdateInfoTest, VersionRules) {
    UpdateInfo info;
    for (const auto& [file, offered] : {std::pair{"2451", false},
                                        {"2450", false},
                                        {"2452", true},
                                        {"", false},
                                        {" 2452 ", true},
                                        {"2451.1", true},
                                        {"2451.0", false},
                                        {"2452a", false},
                                        {"99999999999999999999999", false}}) {
        info.version = file;
        EXPECT_EQ(IsNewerVersion(VersionControl::ByNumber, info, "2451", ""), offered) << file;
    }
    EXPECT_EQ(CompareVersions("2.4.10", "2.4.9"), 1);
    EXPECT_EQ(CompareVersions("2.4", "2.4.0"), 0);
    EXPECT_EQ(CompareVersions("2..4", "2.4"), std::nullopt);
    EXPECT_EQ(DateSortKey("1/5/2010"), "201015");
    EXPECT_EQ(DateSortKey("1/15/2010"), "2010115");
    EXPECT_EQ(DateSortKey("11/01/2009"), "20091101");
    EXPECT_EQ(DateSortKey("2009-11-01"), "");
    for (const auto& [file, offered] : {std::pair{"12/01/2009", true},
                                        {"10/31/2009", false},
                                        {"11/01/2009", false},
                                        {"11/02/2009", true},
                                        {"", false}}) {
        info.date = file;
        EXPECT_EQ(IsNewerVersion(VersionControl::ByDate, info, "", "11/01/2009"), offered) << file;
    }
}

TEST(UpdateInfoTest, NumbersAndPercentages) {
    for (const auto& [text, value] : {std::pair{"12", 12},
                                      {"", -1},
                                      {"x", -1},
                                      {" 5", -1},
                                      {"5 ", -1},
                                      {"99999999999", -1},
                                      {"-3", -3}}) {
        EXPECT_EQ(UsersServed(text), value) << text;
    }
    // Halves go to the even neighbour.
    struct Row {
        std::int64_t read, total;
        int percents;
    };
    for (const Row& r : {Row{1, 8, 12}, Row{3, 8, 38}, Row{1, 200, 0}, Row{3, 200, 2},
                         Row{2, 3, 67}, Row{10, 10, 100}, Row{5, 0, 0}}) {
        EXPECT_EQ(ReadPercents(r.read, r.total), r.percents) << r.read << "/" << r.total;
    }
    for (const auto& [text, value] :
         {std::pair{" 1234\r\n", 1234LL}, {"0", 0LL}, {"12a", -1LL}, {"-1", -1LL}, {"", -1LL}}) {
        EXPECT_EQ(ParseContentLength(text), value) << text;
    }
    EXPECT_EQ(UrlFileName("http://h/files/velmora"), "velmora");
    EXPECT_EQ(UrlFileName("http://h/files/"), "");
}

TEST(UpdateHostTest, AddressOfEachLanguageAndTheHostOverride) {
    unsetenv("VELMORA_UPDATE_HOST");
    EXPECT_EQ(InfoFileUrl("/downloads/update/selfupdate_en.cgi"),
              "http://update.velmora.example/downloads/update/selfupdate_en.cgi");
    setenv("VELMORA_UPDATE_HOST", "127.0.0.1:8080", 1);
    EXPECT_EQ(InfoFileUrl("/downloads/update/selfupdate_de.cgi"),
              "http://127.0.0.1:8080/downloads/update/selfupdate_de.cgi");
    EXPECT_EQ(InfoFileUrl(""), "");
    unsetenv("VELMORA_UPDATE_HOST");

    for (const auto& [host, loopback] : {std::pair{"127.0.0.1:8080", true},
                                         {"localhost", true},
                                         {"[::1]:80", true},
                                         {"::1", true},
                                         {"update.velmora.example", false},
                                         {"10.0.0.1", false}}) {
        EXPECT_EQ(IsLoopbackHost(host), loopback) << host;
    }
}

// The registered open command is cut down to the program that is started with the address.
TEST(BrowserTest, CommandReduction) {
    const std::pair<const char*, const char*> rows[] = {
        {R"("C:\Program Files\Browser\browser.exe" -osint -url "%1")",
         R"(C:\Program Files\Browser\browser.exe)"},
        {R"("C:\Program Files\Browser\browser.exe" %1)", R"(C:\Program Files\Browser\browser.exe)"},
        {R"(C:\PROGRA~1\Browser\browser.exe -nohome)", R"(C:\PROGRA~1\Browser\browser.exe)"},
        {R"(C:\Browser\browser.exe "%1")", R"(C:\Browser\browser.exe)"},
        {R"(C:\Browser\browser.exe /url %1)", R"(C:\Browser\browser.exe)"},
        {R"(C:\Browser\browser.exe,%1)", R"(C:\Browser\browser.exe)"},
        {"browser %1", "browser"},
        {"firefox-esr %u", "firefox-esr"},
        {"/usr/bin/chromium %U", "/usr/bin/chromium"},
        {R"("/opt/My Browser/browser" %u)", "/opt/My Browser/browser"},
        {"browser", "browser"},
        {"", ""},
    };
    for (const auto& [command, program] : rows)
        EXPECT_EQ(ReduceCommand(command), program) << command;

    EXPECT_EQ(DesktopEntryExec("[Desktop Entry]\nName=B\nExec=browser %u\n"
                               "[Desktop Action new]\nExec=browser --new %u\n"),
              "browser %u");
    EXPECT_EQ(AssociatedProgram(""), "");
    EXPECT_EQ(AssociatedProgram("."), "");
}

// The verifier against RFC 8032's Ed25519 test vectors, and every way a signature can be wrong.
TEST(UpdateSignatureTest, Ed25519VectorsAndInvalidSignatures) {
    auto hex = [](const char* h) { return QByteArray::fromHex(h).toStdString(); };
    struct Vector {
        const char* key;
        const char* message;
        const char* signature;
    };
    const Vector vectors[] = {
        {"d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
         "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39"
         "701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
        {"3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
         "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f36"
         "13d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
        {"fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
         "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f7"
         "60984dc6594a7c15e9716ed28dc027beceea1ec40a"},
    };
    for (const Vector& v : vectors) {
        const std::string key = hex(v.key), message = hex(v.message), good = hex(v.signature);
        EXPECT_TRUE(VerifyEd25519(key, message, good)) << v.key;
        // A flipped bit in R, in S, in the message or in the key.
        for (const std::size_t at : {0u, 31u, 32u, 63u}) {
            std::string bad = good;
            bad[at] = static_cast<char>(bad[at] ^ 0x01);
            EXPECT_FALSE(VerifyEd25519(key, message, bad)) << at;
        }
        EXPECT_FALSE(VerifyEd25519(key, message + "x", good));
        std::string other_key = key;
        other_key[5] = static_cast<char>(other_key[5] ^ 0x10);
        EXPECT_FALSE(VerifyEd25519(other_key, message, good));
        EXPECT_FALSE(VerifyEd25519(key, message, good.substr(0, 63)));
        EXPECT_FALSE(VerifyEd25519(key, message, good + '\0'));
        EXPECT_FALSE(VerifyEd25519(key.substr(1), message, good));
        // S + L, the group order: the same point, but not the canonical S a signer makes.
        const std::string order =
            hex("edd3f55c1a631258d69cf7a2def9de140000000000000000000000000000001"
                "0");
        std::string malleable = good;
        unsigned carry = 0;
        for (std::size_t i = 0; i < 32; ++i) {
            carry += static_cast<unsigned char>(malleable[32 + i]) +
                     static_cast<unsigned char>(order[i]);
            malleable[32 + i] = static_cast<char>(carry & 0xff);
            carry >>= 8;
        }
        EXPECT_FALSE(VerifyEd25519(key, message, malleable));
    }
    EXPECT_EQ(SignedStatement("2452", "ab"), "velmora-update\nversion=2452\nsha256=ab\n");
    EXPECT_EQ(DecodeBase64(" aGk= "), "hi");
    for (const char* bad : {"aGk", "a=Gk", "aG k", "aGk!", "", "===="}) {
        EXPECT_EQ(DecodeBase64(bad), std::nullopt) << bad;
    }
}

// What may not be shown whole is cut with "..." at the end.
TEST(UpdateInfoTest, BoundedText) {
    EXPECT_EQ(BoundedText("short", 3, 10), "short");
    EXPECT_EQ(BoundedText("a\nb\nc\nd", 3, 100), "a\nb\nc...");
    EXPECT_EQ(BoundedText("0123456789abc", 3, 10), "0123456789...");
    EXPECT_EQ(BoundedText("\xd0\x96\xd0\x96\xd0\x96", 1, 2),
              "\xd0\x96\xd0\x96...");  // whole letters
    const std::string huge(1 << 20, 'x');
    EXPECT_EQ(BoundedText(huge, 20, 1500).size(), 1503u);
}

// A folder on the way to the update folder may be root's; ours must be only ours.
TEST(UpdateFolderTest, UnsafeFolderRules) {
    struct Row {
        uid_t owner;
        mode_t mode;
        bool own;
        bool safe;
    };
    const uid_t me = 1000;
    const Row rows[] = {
        {me, S_IFDIR | 0700, true, true},     {me, S_IFDIR | 0755, true, true},
        {me, S_IFDIR | 0775, true, false},    {me, S_IFDIR | 0777, false, false},
        {0, S_IFDIR | 0755, false, true},     {0, S_IFDIR | 01777, false, true},
        {0, S_IFDIR | 0777, false, false},    {0, S_IFDIR | 0755, true, false},
        {1001, S_IFDIR | 0755, false, false}, {1001, S_IFDIR | 01777, false, false},
        {me, S_IFREG | 0700, true, false},
    };
    for (const Row& r : rows) {
        struct stat st {};
        st.st_uid = r.owner;
        st.st_mode = r.mode;
        EXPECT_EQ(UnsafeFolderReason(st, me, r.own).empty(), r.safe)
            << r.owner << " " << std::oct << r.mode << " " << r.own;
    }
}

// An interface counts only when up, running (a link is there), not loopback, with an address.
TEST(OnlineTest, InterfacesThatCount) {
    const NetworkInterface lo{"lo", true, true, true, true};
    const NetworkInterface unplugged{"eth0", true, false, false, true};
    const NetworkInterface connected{"eth0", true, true, false, true};
    const NetworkInterface no_address{"wlan0", true, true, false, false};
    EXPECT_FALSE(AnyInterfaceOnline({lo, unplugged, no_address}));
    EXPECT_TRUE(AnyInterfaceOnline({lo, connected}));
    EXPECT_FALSE(AnyInterfaceOnline({}));
}

// Only an executable of this machine's kind may replace the program.
TEST(DownloadCheckTest, ExecutableKindAndChecksum) {
    QFile self("/proc/self/exe");
    ASSERT_TRUE(self.open(QIODevice::ReadOnly));
    const std::string own = self.read(64).toStdString();
    EXPECT_TRUE(SameExecutableKind(own, own));
    EXPECT_FALSE(SameExecutableKind("#!/bin/sh\necho new version\n", own));
    EXPECT_FALSE(SameExecutableKind(own.substr(0, 10), own));
    std::string other_machine = own;
    other_machine[18] = static_cast<char>(other_machine[18] ^ 0x55);
    EXPECT_FALSE(SameExecutableKind(other_machine, own));
    std::string relocatable = own;
    relocatable[16] = 1;  // ET_REL: an object file, not a program
    relocatable[17] = 0;
    EXPECT_FALSE(SameExecutableKind(relocatable, own));
    const std::string digest(64, 'a');
    EXPECT_TRUE(Sha256Matches(" " + std::string(64, 'A') + "\r", digest));
    EXPECT_FALSE(Sha256Matches(std::string(63, 'a'), digest));
    EXPECT_FALSE(Sha256Matches("", digest));
}

}  // namespace
}  // namespace velmora
