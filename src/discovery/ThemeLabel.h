#pragma once
// The themed label of the window theme: draws its text itself in the theme's colours. It
// is no QLabel, so the window translation leaves it alone; its owner sets the text.

#include <QString>
#include <QWidget>

namespace torvane {

class TThemeLabel : public QWidget {
    Q_OBJECT
public:
    explicit TThemeLabel(QWidget* parent = nullptr);

    [[nodiscard]] const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
};

} // namespace torvane
