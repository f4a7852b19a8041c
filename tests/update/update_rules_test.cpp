#include "update/update_rules.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cstdlib>

#include "update/browser.h"

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

// byNumber offers any different version, a lower one too; byDate compares year, month, day keys.
TEST(UpdateInfoTest, VersionRules) {
    UpdateInfo info;
    for (const auto& [file, offered] :
         {std::pair{"2451", false}, {"2450", true}, {"2452", true}, {"", true}, {" 2451", true}}) {
        info.version = file;
        EXPECT_EQ(IsNewerVersion(VersionControl::byNumber, info, "2451", ""), offered) << file;
    }
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
        EXPECT_EQ(IsNewerVersion(VersionControl::byDate, info, "", "11/01/2009"), offered) << file;
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
