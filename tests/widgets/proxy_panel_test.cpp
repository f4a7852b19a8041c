// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/proxy_panel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "engine/engine_fixture.h"
#include "playback/player.h"
#include "support/http_proxy.h"
#include "support/window_harness.h"

namespace velmora {
namespace {

// The buffer holds the field's full 100 characters with the terminating zero, forgets a longer
// earlier text, and never cuts a multi-byte character in half.
TEST(ProxyBuffer, HoldsOneHundredCharacters) {
    ProxyBuffer b;
    EXPECT_EQ(b.text(), "");
    const std::string hundred = "user:" + std::string(85, 'p') + "@host:8080";
    ASSERT_EQ(hundred.size(), 100u);
    b.Assign(QString::fromStdString(hundred));
    EXPECT_EQ(b.text(), hundred);
    EXPECT_EQ(std::strlen(b.data()), 100u);
    b.Assign(QString::fromStdString(hundred + "9"));
    EXPECT_EQ(b.text(), hundred);
    b.Assign("127.0.0.1:3128");
    EXPECT_EQ(b.text(), "127.0.0.1:3128");
    EXPECT_EQ(b.data()[15], '\0');  // no tail of the longer text behind the zero
    EXPECT_EQ(b.data()[99], '\0');

    b.Assign(QString::fromUtf8("é").repeated(60));  // 120 bytes
    EXPECT_EQ(QString::fromUtf8(b.data()), QString::fromUtf8("é").repeated(50));
    b.Assign("x" + QString::fromUtf8("é").repeated(60));  // the 100th byte starts a character
    EXPECT_EQ(QString::fromUtf8(b.data()), "x" + QString::fromUtf8("é").repeated(49));
}

// Hidden at start with "Proxy off" ticked and the field locked; the switch unlocks the field,
// typing stops at 100 characters, OK hides the panel.
TEST(ProxyPanel, ControlsAndSwitch) {
    test::EnsureApp();
    QWidget window;
    auto* panel = new ProxyPanel(&window);
    window.show();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(panel->DirectConnection());
    EXPECT_FALSE(panel->addressEdit->isEnabled());

    panel->Open();
    EXPECT_TRUE(panel->isVisible());
    panel->directSwitch->click();
    EXPECT_FALSE(panel->DirectConnection());
    EXPECT_TRUE(panel->addressEdit->isEnabled());
    for (int i = 0; i < 120; ++i) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QApplication::sendEvent(panel->addressEdit, &key);
    }
    EXPECT_EQ(panel->Address().size(), kProxyAddressMaxLength);
    panel->CopyAddressToBuffer();
    EXPECT_EQ(panel->Buffer().text(), std::string(100, 'a'));

    panel->directSwitch->click();
    EXPECT_FALSE(panel->addressEdit->isEnabled());
    test::Click(panel->okButton);
    EXPECT_FALSE(panel->isVisible());
}

}  // namespace

namespace test {
namespace {

// Through the real engine: cleared "Proxy off" sends streams through the authenticating proxy
// with the address as it was at the last copy; ticked goes direct although an address is stored;
// the player that set a proxy leaves the engine direct when it goes.
TEST_F(EngineTest, ProxyPanelRoutesStreams) {
    EnsureApp();
    StreamRoute route;
    route.audio = EncodeSine({});
    route.loop = true;
    server_.AddStream("/mount", route);
    HttpProxy proxy("listener", "s3cret");
    const auto direct_count = [&] { return server_.ConnectionsTo("/mount").size(); };

    // The engine is the fixture's; the player only passes the proxy on.
    auto player = std::make_unique<Player>();
    auto panel = std::make_unique<ProxyPanel>();
    panel->SetProxyTarget([&](const char* address) { player->SetProxy(address); });
    panel->SetAddress(QString::fromStdString(proxy.Address()));
    panel->OnDirectConnectionClicked();  // start-up: ticked, so direct
    panel->CopyAddressToBuffer();
    EXPECT_NE(Create(server_.Url("/mount")), 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(proxy.Requests().size(), 0u);

    panel->directSwitch->click();
    ASSERT_FALSE(panel->DirectConnection());
    EXPECT_NE(Create(server_.Url("/mount")), 0u) << "error " << engine::ErrorGetCode();
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_TRUE(proxy.Requests()[0].authorised);

    // A new address counts from the next copy on, not while it is only typed.
    panel->SetAddress("listener:wrong@127.0.0.1:" + QString::number(proxy.port()));
    EXPECT_NE(Create(server_.Url("/mount")), 0u);
    panel->CopyAddressToBuffer();
    EXPECT_EQ(Create(server_.Url("/mount")), 0u);
    ASSERT_EQ(proxy.Requests().size(), 3u);
    EXPECT_FALSE(proxy.Requests()[2].authorised);

    panel->directSwitch->click();
    const std::size_t before = direct_count();
    EXPECT_NE(Create(server_.Url("/mount")), 0u);
    EXPECT_EQ(direct_count(), before + 1);
    EXPECT_EQ(proxy.Requests().size(), 3u);

    panel->directSwitch->click();
    panel.reset();
    player.reset();
    EXPECT_NE(Create(server_.Url("/mount")), 0u);
    EXPECT_EQ(direct_count(), before + 2);
    EXPECT_EQ(proxy.Requests().size(), 3u);
}

}  // namespace
}  // namespace test
}  // namespace velmora
