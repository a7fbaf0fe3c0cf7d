#include "app/QuitSignals.h"

#include "platform/QuitSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

namespace torvane {

TQuitSignals::TQuitSignals(QWidget* window)
    : FWindow(window), FSignals(std::make_unique<platform::TQuitSignalPipe>()) {
    if (!FSignals->Active()) {
        return;
    }
    FNotifier = new QSocketNotifier(FSignals->ReadHandle(), QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        FSignals->Acknowledge();
        // A dialog or message box runs an event loop of its own, and the program could only
        // end after someone answered it: close them first, newest first, as Escape would
        // (a question gets its No). One that refuses keeps the rest open.
        for (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr;
             modal = QApplication::activeModalWidget()) {
            if (!modal->close()) {
                break;
            }
        }
        FWindow->close();
    });
}

TQuitSignals::~TQuitSignals() {
    delete FNotifier; // before the pipe it watches closes
    FNotifier = nullptr;
    FSignals.reset();
}

} // namespace torvane
