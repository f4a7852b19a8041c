#include "playback/proxy_panel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "i18n/message.h"
#include "playback/player.h"

namespace velmora {

void ProxyBuffer::Assign(const QString& text) {
    QByteArray utf8 = text.left(kProxyAddressMaxLength).toUtf8();
    if (utf8.size() > static_cast<qsizetype>(kSize - 1)) {
        qsizetype end = static_cast<qsizetype>(kSize - 1);
        // Back up over continuation bytes so no character is cut in half.
        while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
        utf8.truncate(end);
    }
    bytes_.fill('\0');
    std::memcpy(bytes_.data(), utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

ProxyPanel::ProxyPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("Panel1");
    setAutoFillBackground(true);
    frame = new QGroupBox(this);
    frame->setObjectName("ProxyFrame");

    ed_ProxyServer = new QLineEdit(frame);
    ed_ProxyServer->setObjectName("ed_ProxyServer");
    ed_ProxyServer->setMaxLength(kProxyAddressMaxLength);
    ed_ProxyServer->setEnabled(false);
    ed_ProxyServer->setGeometry(10, 22, 300, 22);

    Label8 = new QLabel(frame);
    Label8->setObjectName("Label8");
    Label8->setTextFormat(Qt::PlainText);
    Label8->setGeometry(10, 48, 300, 16);

    cbDirectConnection = new QCheckBox(frame);
    cbDirectConnection->setObjectName("cbDirectConnection");
    cbDirectConnection->setChecked(true);
    cbDirectConnection->setGeometry(10, 70, 200, 20);
    connect(cbDirectConnection, &QCheckBox::clicked, this, &ProxyPanel::OnDirectConnectionClicked);

    BitBtn4 = new QPushButton(frame);
    BitBtn4->setObjectName("BitBtn4");
    BitBtn4->setGeometry(318, 64, 64, 26);
    connect(BitBtn4, &QPushButton::clicked, this, &ProxyPanel::OnOkClicked);

    Retranslate();
    hide();
}

void ProxyPanel::Retranslate() {
    frame->setTitle(Msg("Proxy-Server"));
    Label8->setText(Msg("server:port or user:pass@server:port"));
    cbDirectConnection->setText(Msg("Proxy off"));
    BitBtn4->setText(Msg("OK"));
}

void ProxyPanel::GiveProxy(const char* address) {
    if (player_) player_->SetProxy(address);
}

void ProxyPanel::OnDirectConnectionClicked() {
    const bool direct = DirectConnection();
    GiveProxy(direct ? nullptr : buffer_.data());
    ed_ProxyServer->setEnabled(!direct);
}

void ProxyPanel::CopyAddressToBuffer() {
    buffer_.Assign(ed_ProxyServer->text());
    // The engine works from its own copy of the text: hand the new one over.
    if (!DirectConnection()) GiveProxy(buffer_.data());
}

bool ProxyPanel::DirectConnection() const {
    return cbDirectConnection->isChecked();
}

void ProxyPanel::SetDirectConnection(bool direct) {
    cbDirectConnection->setChecked(direct);
}

QString ProxyPanel::Address() const {
    return ed_ProxyServer->text();
}

void ProxyPanel::SetAddress(const QString& address) {
    ed_ProxyServer->setText(address);
}

void ProxyPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    frame->setGeometry(rect());
}

}  // namespace velmora
