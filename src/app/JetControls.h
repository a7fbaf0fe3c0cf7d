#pragma once
// The two bitmap-drawn controls of the window toolkit: a flat button and a check box that
// paint themselves instead of using the platform style. The window translation knows them
// by their class names (torvane::TJetButton, torvane::TJetCheckbox): caption and hint.

#include <QAbstractButton>

namespace torvane {

class TJetButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TJetButton(QWidget* parent = nullptr);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool FHot = false;
};

class TJetCheckbox : public QAbstractButton {
    Q_OBJECT
public:
    explicit TJetCheckbox(QWidget* parent = nullptr);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace torvane
