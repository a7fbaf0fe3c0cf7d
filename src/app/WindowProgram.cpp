#include "app/WindowProgram.h"

#include "TorvaneVersion.h"
#include "app/QuitSignals.h"
#include "app/Torvane_608.h"
#include "i18n/Deployment.h"
#include "platform/Context.h"
#include "series/SeriesUnits.h"

#include <QApplication>

namespace torvane {

int RunWindowProgram(int& argc, char* argv[], const THostFactory& makeHost) {
    // Everything the program runs with that is not handed along (platform/Context.h).
    platform::TContext context;
    const platform::TContextScope contextScope(context);
    platform::ConfigureDiagFromEnvironment(context.Diag());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("torvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(TorvaneVersion));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(TorvaneAppId));

    const std::unique_ptr<platform::IHost> host = makeHost();
    platform::SetHost(host.get());
    LoadDeploymentSettings();
    RegisterSeriesAdapters();

    int result = 0;
    {
        // The window owns the worker and the search; its end joins their threads.
        TfrmTorvane window;
        if (!window.StartRefused()) {
            const TQuitSignals quitSignals(&window);
            window.show();
            result = QApplication::exec();
        }
    }
    platform::SetHost(nullptr);
    return result;
}

} // namespace torvane
