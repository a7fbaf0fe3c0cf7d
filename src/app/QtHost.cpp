#include "app/QtHost.h"

#include "i18n/qt/QtText.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <utility>

namespace torvane {

namespace {

constexpr int ButtonMask = 0x0F;
constexpr int IconMask = 0xF0;

} // namespace

TQtHost::TQtHost() = default;

TQtHost::~TQtHost() {
    if (FBusy && qApp != nullptr) {
        QApplication::restoreOverrideCursor();
    }
}

bool TQtHost::IsMainThread() const {
    return QThread::currentThread() == thread();
}

int TQtHost::ResultOfButton(int standardButton) {
    switch (standardButton) {
    case QMessageBox::Yes:
        return platform::IDYES;
    case QMessageBox::No:
        return platform::IDNO;
    default:
        return platform::IDOK;
    }
}

int TQtHost::ShowBox(const std::string& text, const std::string& caption, int flags) {
    static constexpr std::pair<int, QMessageBox::Icon> Icons[] = {
        {platform::MB_ICONERROR, QMessageBox::Critical},
        {platform::MB_ICONQUESTION, QMessageBox::Question},
        {platform::MB_ICONWARNING, QMessageBox::Warning},
        {platform::MB_ICONINFORMATION, QMessageBox::Information}};
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    for (const auto& [flag, shown] : Icons) {
        if ((flags & IconMask) == flag) {
            icon = shown;
        }
    }
    const bool yesNo = (flags & ButtonMask) == platform::MB_YESNO;
    QMessageBox box(icon, ToQ(caption), ToQ(text),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    // A busy pointer is not for a question the user must answer.
    if (FBusy) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    const int pressed = box.exec();
    if (FBusy) {
        QApplication::restoreOverrideCursor();
    }
    return ResultOfButton(pressed);
}

int TQtHost::MessageBox(const std::string& text, const std::string& caption, int flags) {
    int result = platform::IDOK;
    RunOnMainThread([&] { result = ShowBox(text, caption, flags); });
    return result;
}

void TQtHost::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void TQtHost::SetBusyCursor(bool busy) {
    RunOnMainThread([this, busy] {
        if (busy == FBusy) {
            return;
        }
        FBusy = busy;
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    });
}

} // namespace torvane
