#pragma once
// A picture control: draws its picture stretched over the whole control. A class of its
// own because a QLabel showing a picture would be translated as a label (and setting a
// label's text drops its picture).

#include <QPixmap>
#include <QWidget>

namespace torvane {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    void SetPicture(const QPixmap& picture);
    [[nodiscard]] const QPixmap& Picture() const { return FPicture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap FPicture;
};

} // namespace torvane
