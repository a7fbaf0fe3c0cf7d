#include "support/QtTestHost.h"

#include <QCursor>
#include <QGuiApplication>

namespace torvane::test {

int TQtTestHost::MessageBox(const std::string& text, const std::string& caption, int flags) {
    int answer = platform::IDOK;
    FQt.RunOnMainThread([&] { answer = AnswerBox(text, caption, flags); });
    return answer;
}

void TQtTestHost::Post(std::function<void()> fn) {
    FQt.Post(std::move(fn));
}

bool TQtTestHost::IsMainThread() const {
    return FQt.IsMainThread();
}

void TQtTestHost::SetBusyCursor(bool busy) {
    FQt.SetBusyCursor(busy);
}

bool TQtTestHost::Busy() const {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

} // namespace torvane::test
