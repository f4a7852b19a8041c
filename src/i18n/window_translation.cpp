// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/window_translation.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <vector>

#include "i18n/message.h"

namespace velmora {

namespace {

const char* const kExcluded = "velmoraNotTranslated";

// One translated text: a string property, or an item of a drop-down or list.
struct TextSlot {
    enum class Kind { Property, ComboItem, ListItem };
    QPointer<QObject> object;
    Kind kind = Kind::Property;
    QByteArray property;
    int index = 0;
    QByteArray english{};
    QString shown{};  // what the translation put there last

    QString Read() const {
        switch (kind) {
            case Kind::Property:
                return object->property(property.constData()).toString();
            case Kind::ComboItem: {
                auto* combo = static_cast<QComboBox*>(object.data());
                return index < combo->count() ? combo->itemText(index) : QString();
            }
            case Kind::ListItem: {
                auto* list = static_cast<QListWidget*>(object.data());
                return index < list->count() ? list->item(index)->text() : QString();
            }
        }
        return {};
    }
    void Write(const QString& text) const {
        switch (kind) {
            case Kind::Property:
                object->setProperty(property.constData(), text);
                break;
            case Kind::ComboItem:
                static_cast<QComboBox*>(object.data())->setItemText(index, text);
                break;
            case Kind::ListItem:
                static_cast<QListWidget*>(object.data())->item(index)->setText(text);
                break;
        }
    }
    void Translate() {
        Write(Msg(english.constData()));
        shown = Read();
    }
};

// The remembered texts of one window, owned by the window.
class WindowTexts final : public QObject {
  public:
    using QObject::QObject;
    std::vector<TextSlot> slots_;
};

const char* const kTextsName = "velmoraWindowTexts";

WindowTexts* TextsOf(const QWidget* window) {
    // Not a Q_OBJECT class, so it is found by name, not by type.
    for (QObject* child : window->children()) {
        if (child->objectName() == QLatin1String(kTextsName)) {
            return dynamic_cast<WindowTexts*>(child);
        }
    }
    return nullptr;
}

bool Excluded(const QObject* object, const QObject* window) {
    for (const QObject* o = object; o; o = o->parent()) {
        if (o->property(kExcluded).toBool()) return true;
        if (o == window) break;
    }
    return false;
}

// The text-valued properties of `object` that the user reads. Texts that hold the user's input
// (a line edit's text) are data. A menu's title is its menu action's text, taken there.
std::vector<const char*> TextProperties(const QObject* object) {
    std::vector<const char*> names;
    if (const auto* w = qobject_cast<const QWidget*>(object)) {
        if (w->isWindow() && !qobject_cast<const QMenu*>(w)) names.push_back("windowTitle");
        names.insert(names.end(), {"toolTip", "statusTip", "whatsThis", "accessibleName",
                                   "accessibleDescription"});
        if (qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w)) {
            names.push_back("text");
        }
        if (qobject_cast<const QGroupBox*>(w)) names.push_back("title");
        if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w)) {
            names.push_back("placeholderText");
        }
    } else if (const auto* a = qobject_cast<const QAction*>(object)) {
        if (!a->isSeparator()) names.push_back("text");
    }
    return names;
}

void Remember(WindowTexts* texts, TextSlot slot) {
    slot.english = slot.Read().toUtf8();
    if (slot.english.isEmpty()) return;
    slot.Translate();
    texts->slots_.push_back(std::move(slot));
}

}  // namespace

void TranslateWindow(QWidget* window) {
    if (TextsOf(window)) return;  // once per window; later switches retranslate
    auto* texts = new WindowTexts(window);
    texts->setObjectName(QLatin1String(kTextsName));
    QList<QObject*> objects = window->findChildren<QObject*>();
    objects.prepend(window);
    for (QObject* object : objects) {
        if (object == texts || Excluded(object, window)) continue;
        for (const char* name : TextProperties(object)) {
            Remember(texts, {object, TextSlot::Kind::Property, name});
        }
        if (auto* combo = qobject_cast<QComboBox*>(object)) {
            for (int i = 0; i < combo->count(); ++i) {
                Remember(texts, {combo, TextSlot::Kind::ComboItem, {}, i});
            }
        } else if (auto* list = qobject_cast<QListWidget*>(object)) {
            for (int i = 0; i < list->count(); ++i) {
                Remember(texts, {list, TextSlot::Kind::ListItem, {}, i});
            }
        }
    }
}

void RetranslateWindow(QWidget* window) {
    WindowTexts* texts = TextsOf(window);
    if (!texts) return;
    for (TextSlot& slot : texts->slots_) {
        if (slot.object && slot.Read() == slot.shown) slot.Translate();
    }
}

void ExcludeFromTranslation(QObject* object) {
    object->setProperty(kExcluded, true);
}

QStringList RememberedEnglishTexts(const QWidget* window) {
    QStringList english;
    QSet<QByteArray> seen;
    if (const WindowTexts* texts = TextsOf(window)) {
        for (const TextSlot& slot : texts->slots_) {
            if (!seen.contains(slot.english)) english << QString::fromUtf8(slot.english);
            seen.insert(slot.english);
        }
    }
    return english;
}

}  // namespace velmora
