#pragma once
// A panel: a frame that can carry child controls and shows its caption centred, word
// wrapped. A class of its own so that the window translation can tell it from a label
// (QLabel is a QFrame too).

#include <QFrame>
#include <QString>

namespace torvane {

class TPanel : public QFrame {
    Q_OBJECT
    // The window translation sets it by this name.
    Q_PROPERTY(QString caption READ Caption WRITE SetCaption)
public:
    explicit TPanel(QWidget* parent = nullptr);

    [[nodiscard]] const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
};

} // namespace torvane
