#include "app/QuitSignals.h"

#include "platform/QuitSignals.h"

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
        FWindow->close();
    });
}

TQuitSignals::~TQuitSignals() {
    delete FNotifier; // before the pipe it watches closes
    FNotifier = nullptr;
    FSignals.reset();
}

} // namespace torvane
