// SPDX-License-Identifier: GPL-3.0-or-later
// The proxy panel laid over the now-playing box, and the buffer whose text the player is given
// (the engine keeps a copy of its own).
#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <string_view>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

// Characters the address field takes.
inline constexpr int kProxyAddressMaxLength = 100;

// ProxyBuffer: the proxy text as the engine reads it, zero-terminated. It holds the field's full
// 100 characters as UTF-8 (a longer encoding is cut at a character boundary). The engine copies
// it when it is handed over, so an opening still running never sees it change.
class ProxyBuffer {
  public:
    static constexpr std::size_t kSize = kProxyAddressMaxLength + 1;

    void Assign(const QString& text);
    // The address to hand to the engine; stable for the buffer's life.
    const char* data() const { return bytes_.data(); }
    std::string_view text() const { return std::string_view(bytes_.data()); }

  private:
    std::array<char, kSize> bytes_{};
};

// Panel1: hidden at start; the menu shows it, OK hides it. The player is given either no proxy
// or the buffer's address, which it copies.
class ProxyPanel final : public QFrame {
    Q_OBJECT
  public:
    explicit ProxyPanel(QWidget* parent = nullptr);

    // Where the proxy goes (null: a direct connection); without one the panel only keeps texts.
    using ProxyTarget = std::function<void(const char* address)>;
    void SetProxyTarget(ProxyTarget target) { target_ = std::move(target); }

    // Applies the "Proxy off" switch: ticked gives the player no proxy and locks the field;
    // cleared gives it the buffer's address and unlocks the field. Also run once at start-up.
    void OnDirectConnectionClicked();
    // Play: copies the field's current text into the buffer, whatever the switch says, and gives
    // it to the player unless "Proxy off" is ticked.
    void CopyAddressToBuffer();
    void Open() { show(); }
    void OnOkClicked() { hide(); }
    void Retranslate();

    // Settings "Proxy" (switch ticked) and "ProxyIP"; setting them does not apply them.
    bool DirectConnection() const;
    void SetDirectConnection(bool direct);
    QString Address() const;
    void SetAddress(const QString& address);

    const ProxyBuffer& Buffer() const { return buffer_; }

    QGroupBox* frame = nullptr;  // "Proxy-Server"
    QLineEdit* addressEdit = nullptr;
    QCheckBox* directSwitch = nullptr;
    QLabel* hintLabel = nullptr;
    QPushButton* okButton = nullptr;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void GiveProxy(const char* address);

    ProxyBuffer buffer_;
    ProxyTarget target_;
};

}  // namespace velmora
