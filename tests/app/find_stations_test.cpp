// SPDX-License-Identifier: GPL-3.0-or-later
// The "Find stations" window as a new user meets it, against a directory server of our own: Ctrl+F,
// type a word, Enter plays (and the directory hears of it), Add puts the station in the user's
// list with its directory id; a directory that fails is one sentence in the window.
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTextDocumentFragment>
#include <QtEndian>

#include "app/station_finding.h"
#include "channels/channel_file.h"
#include "finding/find_stations_window.h"
#include "finding/found_stations_model.h"
#include "finding/station_icons.h"
#include "support/directory_answers.h"
#include "support/window_fixture.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

// The directory and the cache folder for one test, put back afterwards.
class FinderEnvironment {
  public:
    FinderEnvironment(const std::string& directory, const QString& cache)
        : old_directory_(qgetenv("VELMORA_STATION_DIRECTORY")),
          old_cache_(qgetenv("XDG_CACHE_HOME")) {
        qputenv("VELMORA_STATION_DIRECTORY", QByteArray::fromStdString(directory));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    }
    ~FinderEnvironment() {
        qputenv("VELMORA_STATION_DIRECTORY", old_directory_);
        if (old_cache_.isEmpty()) {
            qunsetenv("XDG_CACHE_HOME");
        } else {
            qputenv("XDG_CACHE_HOME", old_cache_);
        }
    }

  private:
    QByteArray old_directory_, old_cache_;
};

class FindStationsTest : public WindowTest {
  protected:
    FindStationsWindow* OpenFinder() {
        window_->activateWindow();
        if (!QTest::qWaitForWindowActive(window_)) return nullptr;
        QTest::keyClick(ChannelList(window_), Qt::Key_F, Qt::ControlModifier);
        auto* finding = window_->findChild<StationFinding*>();
        if (!finding || !finding->Window()) return nullptr;
        finding->Window()->SetTypingPause(10);
        return finding->Window();
    }
};

TEST_F(FindStationsTest, TypePlayAndAdd) {
    StreamServer server;
    server.AddStream("/jazz", NamedStation());
    StationFields jazz;
    jazz.uuid = "9617a958-0601-11e8-ae97-52543be04c81";
    jazz.name = "<b>Jazz</b> & Blues";
    jazz.url = server.Url("/jazz.pls");
    jazz.url_resolved = server.Url("/jazz");
    jazz.homepage = "https://jazz.example/";
    ServeDirectory(server, StationList({jazz}));
    server.AddBody("/json/url/" + jazz.uuid, 200, "application/json", R"({"ok":true})");
    const FinderEnvironment env(server.Url(""), home_.Documents() + "/cache");

    FindStationsWindow* finder = OpenFinder();
    ASSERT_NE(finder, nullptr);
    EXPECT_TRUE(finder->isVisible());
    EXPECT_EQ(finder->SearchField()->accessibleName(), "Search stations");
    EXPECT_EQ(finder->Table()->accessibleName(), "Stations found");
    QTest::keyClicks(finder->SearchField(), "jazz");
    ASSERT_TRUE(WaitFor([&] { return finder->Model()->Count() == 1; }, 5s));
    EXPECT_EQ(server.ConnectionsTo("/json/stations/search").back().request_line.find("name=jazz&"),
              std::string("GET /json/stations/search?").size());
    // The name is text, never markup: in the table and in its tooltip.
    const QModelIndex name = finder->Model()->index(0, 0);
    EXPECT_EQ(name.data(Qt::DisplayRole).toString(), "<b>Jazz</b> & Blues");
    EXPECT_EQ(QTextDocumentFragment::fromHtml(name.data(Qt::ToolTipRole).toString()).toPlainText(),
              "<b>Jazz</b> & Blues");

    finder->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(finder));
    finder->Table()->setFocus();
    QTest::keyClick(finder->Table(), Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 10s));
    EXPECT_EQ(server.ConnectionsTo("/jazz").size(), 1u);  // url_resolved, not the playlist
    EXPECT_TRUE(server.WaitForConnections(1, 5s));
    EXPECT_TRUE(
        WaitFor([&] { return server.ConnectionsTo("/json/url/" + jazz.uuid).size() == 1; }, 5s));

    const int before = Channels()->Count();
    QTest::keyClick(finder->Table(), Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(Channels()->Count(), before + 1);
    const ChannelEntry added = Channels()->Entry(before);  // where the editor puts new ones
    EXPECT_EQ(added.name, "<b>Jazz</b> & Blues");
    EXPECT_EQ(added.playlist, QString::fromStdString(jazz.url_resolved));
    EXPECT_EQ(added.directory_id, QString::fromStdString(jazz.uuid));
    // The id survives the list file, and a reader of four fields still reads the entry.
    const QString line = FormatChannelLine(added);
    EXPECT_EQ(ChannelEntryFromLine(line), added);
    EXPECT_EQ(ParseChannelLine(line).mid(1, 4),
              QStringList({added.name, added.playlist, added.homepage, QString()}));
}

// The directory's failures, and answers past their bounds, are each one sentence in the window;
// the results shown before stay.
TEST_F(FindStationsTest, AFailingDirectoryIsOneSentence) {
    StreamServer server;
    server.AddBody("/json/stations/search", 200, "application/json", "[{\"name\":1}]");
    StreamServer big;
    big.AddBody("/json/stations/search", 200, "application/json",
                "[" + std::string(9u << 20, ' ') + "]");
    const struct {
        std::string directory;
        const char* sentence;
    } rows[] = {
        {"http://127.0.0.1:1",
         "The station directory cannot be reached. Please check your "
         "internet connection."},
        {server.Url(""), "The station directory sent an answer that cannot be read."},
        {big.Url(""), "The station directory sent an answer that is too large."},
    };
    for (const auto& r : rows) {
        const FinderEnvironment env(r.directory, home_.Documents() + "/cache");
        auto* finder =
            new FindStationsWindow(std::make_shared<DirectoryClient>(DefaultDirectoryConfig(
                                       "9", "", (home_.Documents() + "/cache").toStdString(), "")),
                                   QString(), window_);
        finder->SetTypingPause(0);
        finder->Open();
        QTest::keyClicks(finder->SearchField(), "x");
        EXPECT_TRUE(WaitFor([&] { return finder->Status()->text() == r.sentence; }, 10s))
            << r.directory << ": " << finder->Status()->text().toStdString();
        delete finder;
    }
}

// A stranger's icon: scaled to the row, refused when it needs more memory than the limit (a
// whole 2,100 x 2,100 bitmap needs 17.6 MB, which the toolkit's own limit would let through) or
// when it is not an image at all.
TEST(StationIconsTest, DecodesWithinItsLimit) {
    QImage big(64, 48, QImage::Format_RGB32);
    big.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(big.save(&buffer, "PNG"));
    EXPECT_EQ(StationIcons::Decode(png).size(), QSize(32, 24));

    QByteArray bmp(54, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    qToLittleEndian<quint32>(54, bmp.data() + 10);   // pixels follow the header
    qToLittleEndian<quint32>(40, bmp.data() + 14);   // info header size
    qToLittleEndian<qint32>(2100, bmp.data() + 18);  // width
    qToLittleEndian<qint32>(2100, bmp.data() + 22);  // height
    qToLittleEndian<quint16>(1, bmp.data() + 26);    // planes
    qToLittleEndian<quint16>(32, bmp.data() + 28);   // bits per pixel
    bmp += QByteArray(2100 * 2100 * 4, '\x7f');
    EXPECT_TRUE(StationIcons::Decode(bmp).isNull());
    EXPECT_TRUE(StationIcons::Decode("<html>not an icon</html>").isNull());
}

// A full page asks for the next one when the table is scrolled to its end, and only then.
TEST_F(FindStationsTest, ScrollingToTheEndLoadsTheNextPage) {
    StreamServer server;
    ServeDirectory(server, StationList(NumberedStations(100, "http://127.0.0.1:9/s")));
    const FinderEnvironment env(server.Url(""), home_.Documents() + "/cache");
    FindStationsWindow* finder = OpenFinder();
    ASSERT_NE(finder, nullptr);
    QTest::keyClicks(finder->SearchField(), "s");
    ASSERT_TRUE(WaitFor([&] { return finder->Model()->Count() == 100; }, 5s));
    EXPECT_EQ(server.ConnectionsTo("/json/stations/search").size(), 1u);
    QScrollBar* bar = finder->Table()->verticalScrollBar();
    bar->setValue(bar->maximum());
    ASSERT_TRUE(WaitFor([&] { return finder->Model()->Count() == 200; }, 5s));
    const auto asked = server.ConnectionsTo("/json/stations/search");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[1].request_line.find("&offset=100 "), std::string::npos)
        << asked[1].request_line;
}

}  // namespace
}  // namespace velmora::test
