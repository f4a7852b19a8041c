// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/decoration.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace velmora {

namespace {

constexpr const char* kDecorationProperty = "velmoraDecoration";

// No role, no name, and never shown as far as a screen reader is concerned.
class DecorationAccessible final : public QAccessibleWidget {
  public:
    explicit DecorationAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::NoRole) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        s.focusable = false;
        return s;
    }
    QString text(QAccessible::Text) const override { return {}; }
};

QAccessibleInterface* DecorationFactory(const QString& class_name, QObject* object) {
    if (class_name != QLatin1String("QLabel") || !object->property(kDecorationProperty).toBool()) {
        return nullptr;
    }
    return new DecorationAccessible(static_cast<QWidget*>(object));
}

}  // namespace

void MarkAsDecoration(QLabel* label) {
    static const bool installed = [] {
        QAccessible::installFactory(&DecorationFactory);
        return true;
    }();
    (void)installed;
    label->setProperty(kDecorationProperty, true);
}

}  // namespace velmora
