#include "i18n/qt/ListControls.h"

#include <QAbstractButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace torvane {

TListView::TListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
}

QListWidgetItem* TCheckListBox::AddItem(const QString& text) {
    auto* item = new QListWidgetItem(text, this);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    return item;
}

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent) {
    new QVBoxLayout(this);
    FGroup.setExclusive(true);
}

void TRadioGroup::AddItem(const QString& text) {
    auto* button = new QRadioButton(text, this);
    FGroup.addButton(button, Count());
    layout()->addWidget(button);
}

int TRadioGroup::Count() const {
    return static_cast<int>(FGroup.buttons().size());
}

QString TRadioGroup::ItemText(int index) const {
    const QAbstractButton* button = FGroup.button(index);
    return button != nullptr ? button->text() : QString();
}

void TRadioGroup::SetItemText(int index, const QString& text) {
    if (QAbstractButton* button = FGroup.button(index)) {
        button->setText(text);
    }
}

int TRadioGroup::ItemIndex() const {
    return FGroup.checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* button = FGroup.button(index)) {
        button->setChecked(true);
    }
}

} // namespace torvane
