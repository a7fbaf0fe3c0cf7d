#pragma once
// List controls whose translation differs from the toolkit class they are built on, so
// each is a class of its own that the window translation recognises:
//   TListView      a report-style list (rows with columns); its column titles are translated
//   TCheckListBox  a list of check boxes; its items are translated
//   TRadioGroup    a framed group of exclusive choices; caption and items are translated

#include <QButtonGroup>
#include <QGroupBox>
#include <QListWidget>
#include <QTreeWidget>

namespace torvane {

class TListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TListView(QWidget* parent = nullptr);
};

class TCheckListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TCheckListBox(QWidget* parent = nullptr) : QListWidget(parent) {}
    // Adds a check box item, unchecked.
    QListWidgetItem* AddItem(const QString& text);
};

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    void AddItem(const QString& text);
    [[nodiscard]] int Count() const;
    [[nodiscard]] QString ItemText(int index) const;
    void SetItemText(int index, const QString& text);
    [[nodiscard]] int ItemIndex() const;
    void SetItemIndex(int index);

private:
    QButtonGroup FGroup;
};

} // namespace torvane
