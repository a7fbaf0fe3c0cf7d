#pragma once
// The host of the window tests: the window's own host (TQtHost) carries posted work and
// the busy pointer, while message boxes are answered from a script instead of
// being shown (TBoxScript), on the GUI thread as a shown box would be.

#include "app/QtHost.h"
#include "support/TestHost.h"

#include <functional>
#include <string>

namespace torvane::test {

class TQtTestHost : public platform::IHost, public TBoxScript {
public:
    // Create it on the GUI thread, after the QApplication.
    TQtTestHost() = default;

    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    void Post(std::function<void()> fn) override;
    [[nodiscard]] bool IsMainThread() const override;
    void SetBusyCursor(bool busy) override;

    // The application shows the busy pointer (what the window host did, not what it was
    // asked).
    [[nodiscard]] bool Busy() const;
    // Forgets the boxes and the script.
    void ClearBoxes() { Clear(); }

private:
    TQtHost FQt;
};

} // namespace torvane::test
