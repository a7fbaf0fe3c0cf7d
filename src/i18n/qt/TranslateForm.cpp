#include "i18n/qt/TranslateForm.h"

#include "i18n/StrRes.h"
#include "i18n/qt/FileDialogs.h"
#include "i18n/qt/Image.h"
#include "i18n/qt/LanguageFont.h"
#include "i18n/qt/ListControls.h"
#include "i18n/qt/Panel.h"
#include "i18n/qt/QtText.h"
#include "platform/Diag.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <iterator>
#include <mutex>
#include <vector>

namespace torvane {

namespace {

enum TRow {
    RowNone = 0,
    RowStatusBar = 1,
    RowPanel,
    RowLabel,
    RowCheckBox,
    RowButton,
    RowToolBar,
    RowToolButton,
    RowImage,
    RowSpeedButton,
    RowRadioButton,
    RowMenuItem,
    RowTabSheet,
    RowGroupBox,
    RowRadioGroup,
    RowCheckListBox,
    RowListBox,
    RowListView,
    RowDBGrid,
    RowTreeView,
    RowComboBox,
    RowJetButton,
    RowJetCheckbox,
    RowSaveDialog,
    RowOpenDialog,
};

// The tab widget whose page the widget is, or none.
QTabWidget* TabWidgetOfPage(const QObject* o) {
    const auto* w = qobject_cast<const QWidget*>(o);
    if (w == nullptr) {
        return nullptr;
    }
    auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
    if (stack == nullptr) {
        return nullptr;
    }
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    return tabs != nullptr && tabs->indexOf(const_cast<QWidget*>(w)) >= 0 ? tabs : nullptr;
}

// The tests of the rows (TWalk::Rows): the class, or more where the class is not enough.
template <class T> bool Is(const QObject* o) {
    return qobject_cast<const T*>(o) != nullptr;
}

bool IsToolBarButton(const QObject* o) {
    const auto* tb = qobject_cast<const QToolButton*>(o);
    return tb != nullptr && qobject_cast<const QToolBar*>(tb->parentWidget()) != nullptr;
}

bool IsTabSheet(const QObject* o) {
    return TabWidgetOfPage(o) != nullptr;
}

// The bitmap controls live with the window code; they are known by their class name.
bool IsJetButton(const QObject* o) {
    return o->inherits("torvane::TJetButton");
}

bool IsJetCheckbox(const QObject* o) {
    return o->inherits("torvane::TJetCheckbox");
}

// A radio group is a group box with a row of its own.
bool IsPlainGroupBox(const QObject* o) {
    return Is<QGroupBox>(o) && !Is<TRadioGroup>(o);
}

bool IsSaveDialog(const QObject* o) {
    const auto* d = qobject_cast<const TFileDialog*>(o);
    return d != nullptr && d->IsSave();
}

// Owned components: named descendants in creation order (each object's children in the
// order they were added, depth first). Objects the toolkit makes inside a control have no
// name or a "qt_" name and are not components.
void CollectComponents(QObject* parent, std::vector<QObject*>& out) {
    for (QObject* child : parent->children()) {
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) {
            out.push_back(child);
        }
        // A second window owned by this one (a dialog) translates itself.
        const auto* w = qobject_cast<const QWidget*>(child);
        if (w == nullptr || !w->isWindow() || qobject_cast<const QMenu*>(w) != nullptr) {
            CollectComponents(child, out);
        }
    }
}

class TWalk {
public:
    TWalk(std::string section, std::string language)
        : FSection(std::move(section)), FLanguage(std::move(language)) {}

    QString Read(const std::string& key, const QString& current) const {
        return ToQ(ReadLangString(LangIniFile(), FSection, key, FromQ(current)));
    }

    void Font(QObject* o) const {
        if (auto* w = qobject_cast<QWidget*>(o)) {
            SetLanguageFont(FLanguage, *w);
        }
    }

    void Component(QObject* o) const;

    // The first row (in the order of the table, TranslateForm.h) whose test the component
    // passes, or RowNone.
    static TRow RowOf(const QObject* o);

private:
    // A row: the test a component passes to be of it, and what the walk reads for it, in
    // this order: the language's font, the property that takes name.Caption, the tool tip
    // from name.Hint, then whatever more the row has (a tab's text, items, columns, tree
    // nodes, a dialog's filter).
    struct TRowRule {
        bool (*Test)(const QObject* o) = nullptr;
        bool Font = false;
        const char* Caption = nullptr;
        bool Hint = false;
        void (TWalk::*More)(QObject* o, const std::string& name) const = nullptr;
    };
    static const TRowRule Rows[];

    // The property of o from the pack's key (its current text when the pack has none).
    void Property(QObject* o, const char* property, const std::string& key) const {
        o->setProperty(property, Read(key, o->property(property).toString()));
    }

    // count numbered texts: key name.<part><i>.<what>, read and written through get and set.
    template <typename TGet, typename TSet>
    void Numbered(const std::string& name, const char* part, int count, const char* what,
                  TGet get, TSet set) const {
        for (int i = 0; i < count; ++i) {
            set(i, Read(name + "." + part + std::to_string(i) + "." + what, get(i)));
        }
    }

    void TabText(QObject* o, const std::string& name) const {
        auto* page = static_cast<QWidget*>(o);
        QTabWidget* tabs = TabWidgetOfPage(page);
        const int index = tabs->indexOf(page);
        tabs->setTabText(index, Read(name + ".Caption", tabs->tabText(index)));
    }

    // The items of a list control that numbers its texts itself: name.Items<i>.Caption.
    template <typename TList>
    void Items(TList* list, const std::string& name, int (TList::*count)() const,
               QString (TList::*get)(int) const,
               void (TList::*set)(int, const QString&)) const {
        Numbered(name, "Items", (list->*count)(), "Caption",
                 [list, get](int i) { return (list->*get)(i); },
                 [list, set](int i, const QString& t) { (list->*set)(i, t); });
    }

    void RadioItems(QObject* o, const std::string& name) const {
        Items(static_cast<TRadioGroup*>(o), name, &TRadioGroup::Count, &TRadioGroup::ItemText,
              &TRadioGroup::SetItemText);
    }

    void ListItems(QObject* o, const std::string& name) const {
        auto* l = static_cast<QListWidget*>(o);
        Numbered(name, "Items", l->count(), "Caption", [l](int i) { return l->item(i)->text(); },
                 [l](int i, const QString& t) { l->item(i)->setText(t); });
    }

    void ComboItems(QObject* o, const std::string& name) const {
        Items(static_cast<QComboBox*>(o), name, &QComboBox::count, &QComboBox::itemText,
              &QComboBox::setItemText);
    }

    void ListColumns(QObject* o, const std::string& name) const {
        auto* v = static_cast<TListView*>(o);
        QTreeWidgetItem* header = v->headerItem();
        Numbered(name, "Columns", v->columnCount(), "Caption",
                 [header](int i) { return header->text(i); },
                 [header](int i, const QString& t) { header->setText(i, t); });
    }

    void GridColumns(QObject* o, const std::string& name) const {
        if (QAbstractItemModel* m = static_cast<QTableView*>(o)->model()) {
            Numbered(name, "Columns", m->columnCount(), "Caption",
                     [m](int i) { return m->headerData(i, Qt::Horizontal).toString(); },
                     [m](int i, const QString& t) { m->setHeaderData(i, Qt::Horizontal, t); });
        }
    }

    // Every node, depth first: name.Items<n>.Text, n counting all nodes in that order.
    void TreeNodes(QObject* o, const std::string& name) const {
        auto* t = static_cast<QTreeWidget*>(o);
        int index = 0;
        std::function<void(QTreeWidgetItem*)> node = [&](QTreeWidgetItem* item) {
            item->setText(0, Read(name + ".Items" + std::to_string(index++) + ".Text",
                                  item->text(0)));
            for (int c = 0; c < item->childCount(); ++c) {
                node(item->child(c));
            }
        };
        for (int i = 0; i < t->topLevelItemCount(); ++i) {
            node(t->topLevelItem(i));
        }
    }

    void DialogFilter(QObject* o, const std::string& name) const {
        auto* d = static_cast<TFileDialog*>(o);
        d->Filter = Read(name + ".Filter", d->Filter);
    }

    std::string FSection;
    std::string FLanguage;
};

const TWalk::TRowRule TWalk::Rows[] = {
    {},                                                             // RowNone
    {Is<QStatusBar>, true},                                         // RowStatusBar
    {Is<TPanel>, true, "caption"},                                  // RowPanel
    {Is<QLabel>, true, "text"},                                     // RowLabel
    {Is<QCheckBox>, true, "text"},                                  // RowCheckBox
    {Is<QPushButton>, true, "text", true},                          // RowButton
    {Is<QToolBar>, true},                                           // RowToolBar
    {IsToolBarButton, false, "text", true},                         // RowToolButton
    {Is<TImage>, false, nullptr, true},                             // RowImage
    {Is<QToolButton>, true, "text", true},                          // RowSpeedButton
    {Is<QRadioButton>, true, "text", true},                         // RowRadioButton
    {Is<QAction>, false, "text"},                                   // RowMenuItem
    {IsTabSheet, true, nullptr, false, &TWalk::TabText},            // RowTabSheet
    {IsPlainGroupBox, true, "title"},                               // RowGroupBox
    {Is<TRadioGroup>, true, "title", false, &TWalk::RadioItems},    // RowRadioGroup
    {Is<TCheckListBox>, true, nullptr, false, &TWalk::ListItems},   // RowCheckListBox
    {Is<QListWidget>, true, nullptr, false, &TWalk::ListItems},     // RowListBox
    {Is<TListView>, true, nullptr, false, &TWalk::ListColumns},     // RowListView
    {Is<QTableView>, true, nullptr, false, &TWalk::GridColumns},    // RowDBGrid
    {Is<QTreeWidget>, true, nullptr, false, &TWalk::TreeNodes},     // RowTreeView
    {Is<QComboBox>, true, nullptr, false, &TWalk::ComboItems},      // RowComboBox
    {IsJetButton, true, "text", true},                              // RowJetButton
    {IsJetCheckbox, true, "text", true},                            // RowJetCheckbox
    {IsSaveDialog, false, nullptr, false, &TWalk::DialogFilter},    // RowSaveDialog
    {Is<TFileDialog>, false, nullptr, false, &TWalk::DialogFilter}, // RowOpenDialog
};

TRow TWalk::RowOf(const QObject* o) {
    if (o != nullptr) {
        for (int row = RowStatusBar; row <= RowOpenDialog; ++row) {
            if (Rows[row].Test(o)) {
                return static_cast<TRow>(row);
            }
        }
    }
    return RowNone;
}

void TWalk::Component(QObject* o) const {
    static_assert(std::size(Rows) == RowOpenDialog + 1);
    const std::string name = FromQ(o->objectName());
    const TRowRule& rule = Rows[RowOf(o)];
    if (rule.Font) {
        Font(o);
    }
    if (rule.Caption != nullptr) {
        Property(o, rule.Caption, name + ".Caption");
    }
    if (rule.Hint) {
        Property(o, "toolTip", name + ".Hint");
    }
    if (rule.More != nullptr) {
        (this->*rule.More)(o, name);
    }
}

} // namespace

int TranslateRowOf(const QObject* o) {
    return TWalk::RowOf(o);
}

void TranslateForm(QWidget* window, const std::string& sectionOrEmpty) {
    if (window == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(TranslateLock());
    try {
        const std::string section =
            "Form_" + (sectionOrEmpty.empty() ? FromQ(window->objectName()) : sectionOrEmpty);
        const TWalk walk(section, CurrentLanguage());
        window->setWindowTitle(walk.Read("Caption", window->windowTitle()));
        walk.Font(window);
        std::vector<QObject*> components;
        CollectComponents(window, components);
        for (QObject* component : components) {
            walk.Component(component);
        }
    } catch (...) {
        // The walk ends here; components not yet reached keep their texts.
        platform::DiagCaught(platform::EDiag::I18n, "translating a window");
    }
}

} // namespace torvane
