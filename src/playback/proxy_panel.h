// The proxy panel laid over the now-playing box, and the buffer whose text the engine is given
// (it keeps a copy of its own).
#pragma once

#include <QFrame>
#include <QString>
#include <array>
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

// Panel1: hidden at start; the menu shows it, OK hides it. The engine is given either no proxy
// or this panel's buffer, so the panel must outlive every stream opening that may read it; its
// destruction sets the engine back to a direct connection.
class ProxyPanel final : public QFrame {
    Q_OBJECT
  public:
    explicit ProxyPanel(QWidget* parent = nullptr);
    ~ProxyPanel() override;

    // Applies the "Proxy off" switch: ticked gives the engine no proxy and locks the field;
    // cleared gives it the buffer's address and unlocks the field. Also run once at start-up.
    void cbDirectConnectionClick();
    // Play: copies the field's current text into the buffer, whatever the switch says, and gives
    // it to the engine unless "Proxy off" is ticked.
    void CopyAddressToBuffer();
    void ProxyServer1Click() { show(); }
    void BitBtn4Click() { hide(); }
    void Retranslate();

    // Settings "Proxy" (switch ticked) and "ProxyIP"; setting them does not apply them.
    bool DirectConnection() const;
    void SetDirectConnection(bool direct);
    QString Address() const;
    void SetAddress(const QString& address);

    const ProxyBuffer& Buffer() const { return buffer_; }

    QGroupBox* frame = nullptr;  // "Proxy-Server"
    QLineEdit* ed_ProxyServer = nullptr;
    QCheckBox* cbDirectConnection = nullptr;
    QLabel* Label8 = nullptr;
    QPushButton* BitBtn4 = nullptr;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    ProxyBuffer buffer_;
};

}  // namespace velmora
