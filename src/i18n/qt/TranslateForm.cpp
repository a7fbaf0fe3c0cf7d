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

    void Caption(const std::string& name, const std::function<QString()>& get,
                 const std::function<void(const QString&)>& set) const {
        set(Read(name + ".Caption", get()));
    }

    void Hint(QWidget* w, const std::string& name) const {
        w->setToolTip(Read(name + ".Hint", w->toolTip()));
    }

    void ButtonTexts(QAbstractButton* b, const std::string& name) const {
        b->setText(Read(name + ".Caption", b->text()));
        Hint(b, name);
    }

    std::string ItemKey(const std::string& name, int i, const char* what) const {
        return name + ".Items" + std::to_string(i) + "." + what;
    }

    void Component(QObject* o) const {
        const std::string name = FromQ(o->objectName());
        const int row = TranslateRowOf(o);
        switch (row) {
        case RowStatusBar:
        case RowToolBar:
            Font(o);
            break;
        case RowPanel: {
            auto* p = static_cast<TPanel*>(o);
            Font(p);
            p->SetCaption(Read(name + ".Caption", p->Caption()));
            break;
        }
        case RowLabel: {
            auto* l = static_cast<QLabel*>(o);
            Font(l);
            l->setText(Read(name + ".Caption", l->text()));
            break;
        }
        case RowCheckBox: {
            auto* c = static_cast<QCheckBox*>(o);
            Font(c);
            c->setText(Read(name + ".Caption", c->text()));
            break;
        }
        case RowButton:
        case RowSpeedButton:
        case RowRadioButton:
        case RowJetButton:
        case RowJetCheckbox:
            Font(o);
            ButtonTexts(static_cast<QAbstractButton*>(o), name);
            break;
        case RowToolButton:
            ButtonTexts(static_cast<QAbstractButton*>(o), name);
            break;
        case RowImage:
            Hint(static_cast<QWidget*>(o), name);
            break;
        case RowMenuItem: {
            auto* a = static_cast<QAction*>(o);
            a->setText(Read(name + ".Caption", a->text()));
            break;
        }
        case RowTabSheet: {
            auto* page = static_cast<QWidget*>(o);
            QTabWidget* tabs = TabWidgetOfPage(page);
            Font(page);
            const int index = tabs->indexOf(page);
            tabs->setTabText(index, Read(name + ".Caption", tabs->tabText(index)));
            break;
        }
        case RowGroupBox: {
            auto* g = static_cast<QGroupBox*>(o);
            Font(g);
            g->setTitle(Read(name + ".Caption", g->title()));
            break;
        }
        case RowRadioGroup: {
            auto* g = static_cast<TRadioGroup*>(o);
            Font(g);
            g->setTitle(Read(name + ".Caption", g->title()));
            for (int i = 0; i < g->Count(); ++i) {
                g->SetItemText(i, Read(ItemKey(name, i, "Caption"), g->ItemText(i)));
            }
            break;
        }
        case RowCheckListBox:
        case RowListBox: {
            auto* l = static_cast<QListWidget*>(o);
            Font(l);
            for (int i = 0; i < l->count(); ++i) {
                QListWidgetItem* item = l->item(i);
                item->setText(Read(ItemKey(name, i, "Caption"), item->text()));
            }
            break;
        }
        case RowListView: {
            auto* v = static_cast<TListView*>(o);
            Font(v);
            QTreeWidgetItem* header = v->headerItem();
            for (int i = 0; i < v->columnCount(); ++i) {
                header->setText(i, Read(name + ".Columns" + std::to_string(i) + ".Caption",
                                        header->text(i)));
            }
            break;
        }
        case RowDBGrid: {
            auto* t = static_cast<QTableView*>(o);
            Font(t);
            if (QAbstractItemModel* m = t->model()) {
                for (int i = 0; i < m->columnCount(); ++i) {
                    const QString title = m->headerData(i, Qt::Horizontal).toString();
                    m->setHeaderData(i, Qt::Horizontal,
                                     Read(name + ".Columns" + std::to_string(i) + ".Caption",
                                          title));
                }
            }
            break;
        }
        case RowTreeView: {
            auto* t = static_cast<QTreeWidget*>(o);
            Font(t);
            int index = 0;
            std::function<void(QTreeWidgetItem*)> node = [&](QTreeWidgetItem* item) {
                item->setText(0, Read(ItemKey(name, index++, "Text"), item->text(0)));
                for (int c = 0; c < item->childCount(); ++c) {
                    node(item->child(c));
                }
            };
            for (int i = 0; i < t->topLevelItemCount(); ++i) {
                node(t->topLevelItem(i));
            }
            break;
        }
        case RowComboBox: {
            auto* c = static_cast<QComboBox*>(o);
            Font(c);
            for (int i = 0; i < c->count(); ++i) {
                c->setItemText(i, Read(ItemKey(name, i, "Caption"), c->itemText(i)));
            }
            break;
        }
        case RowSaveDialog:
        case RowOpenDialog: {
            auto* d = static_cast<TFileDialog*>(o);
            d->Filter = Read(name + ".Filter", d->Filter);
            break;
        }
        default:
            break;
        }
    }

private:
    std::string FSection;
    std::string FLanguage;
};

} // namespace

int TranslateRowOf(const QObject* o) {
    if (o == nullptr) {
        return RowNone;
    }
    if (qobject_cast<const QStatusBar*>(o)) return RowStatusBar;
    if (qobject_cast<const TPanel*>(o)) return RowPanel;
    if (qobject_cast<const QLabel*>(o)) return RowLabel;
    if (qobject_cast<const QCheckBox*>(o)) return RowCheckBox;
    if (qobject_cast<const QPushButton*>(o)) return RowButton;
    if (qobject_cast<const QToolBar*>(o)) return RowToolBar;
    if (const auto* tb = qobject_cast<const QToolButton*>(o)) {
        return qobject_cast<const QToolBar*>(tb->parentWidget()) ? RowToolButton
                                                                 : RowSpeedButton;
    }
    if (qobject_cast<const TImage*>(o)) return RowImage;
    if (qobject_cast<const QRadioButton*>(o)) return RowRadioButton;
    if (qobject_cast<const QAction*>(o)) return RowMenuItem;
    if (TabWidgetOfPage(o) != nullptr) return RowTabSheet;
    if (qobject_cast<const TRadioGroup*>(o)) return RowRadioGroup;
    if (qobject_cast<const QGroupBox*>(o)) return RowGroupBox;
    if (qobject_cast<const TCheckListBox*>(o)) return RowCheckListBox;
    if (qobject_cast<const QListWidget*>(o)) return RowListBox;
    if (qobject_cast<const TListView*>(o)) return RowListView;
    if (qobject_cast<const QTableView*>(o)) return RowDBGrid;
    if (qobject_cast<const QTreeWidget*>(o)) return RowTreeView;
    if (qobject_cast<const QComboBox*>(o)) return RowComboBox;
    // The bitmap controls live with the window code; they are known by their class name.
    if (o->inherits("torvane::TJetButton")) return RowJetButton;
    if (o->inherits("torvane::TJetCheckbox")) return RowJetCheckbox;
    if (qobject_cast<const TSaveDialog*>(o)) return RowSaveDialog;
    if (qobject_cast<const TOpenDialog*>(o)) return RowOpenDialog;
    return RowNone;
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
