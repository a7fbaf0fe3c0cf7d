// The window program: one main window per user and session; a second copy tells the user,
// brings the first copy's window to the front and ends.

#include "app/QtHost.h"
#include "app/QuitSignals.h"
#include "app/Torvane_608.h"
#include "i18n/Deployment.h"
#include "platform/Host.h"
#include "series/SeriesUnits.h"
#include "upgrade/uUpgradeThread.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("torvane"));

    torvane::TQtHost host;
    torvane::platform::SetHost(&host);
    torvane::LoadDeploymentSettings();
    torvane::RegisterSeriesAdapters();

    int result = 0;
    {
        torvane::TfrmTorvane window;
        if (!window.StartRefused()) {
            const torvane::TQuitSignals quitSignals(&window);
            window.show();
            result = QApplication::exec();
        }
    }
    // A worker that has just reported its end may still be on its way out.
    torvane::TUpgradeThread::WaitUntilAllEnded();
    torvane::platform::SetHost(nullptr);
    return result;
}
