// Program entry: the application object, the windows in their order, tooltips, the event loop.
#include "client/client_window.h"
#include "common/message_end.h"
#include "common/register_store.h"
#include "dde/bus_names.h"
#include "dde_ui/dde_server.h"
#include "dde_ui/dde_topic_windows.h"
#include "instances/termination_signals.h"
#include "scanner/scanner_window.h"
#include "server/server_engine.h"
#include "server_ui/status_panel.h"
#include "shell/desktop_identity.h"
#include "shell/main_window.h"
#include "shell/repaint_limiter.h"
#include "view/register_list_view.h"

#include <QApplication>
#include <QPointer>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    // The two options every program answers without a window; any other argument is a variable-list
    // file, a start-up switch or `--faults FILE.toml`, which the main window takes.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("usage: korvel [FILE.korvel | /POWER_OF_ATOM] [--faults FILE.toml]\n"
                   "The Korvel window: a Modbus/TCP server simulating a device, a client and a scanner.\n"
                   "  FILE.korvel     load these register values at start-up\n"
                   "  /POWER_OF_ATOM  clear the instance-detection marks of all instances\n"
                   "  --faults FILE.toml  apply these fault rules at start-up\n"
                   "  -h, --help      this text;  -V, --version  the version\n"
                   "KORVEL_PORT sets the base port (default 502). See korvel(1).\n",
                   stdout);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0)) {
        std::printf("korvel %s\n", KORVEL_VERSION);
        return 0;
    }
    korvel::WatchTerminationSignals();
    // Qt's own event loop instead of GLib's: every served request passes through it, and it costs
    // less per wake-up. An environment that sets QT_NO_GLIB (even empty) keeps its choice.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    // The application title is kept as the program's own text (texts::kApplicationTitle, the
    // caption of its plain messages): as the platform's display name it would be appended to
    // every window caption. The application name names the program's data folder.
    QApplication::setApplicationName(QStringLiteral("korvel"));
    // Every window carries Korvel's icon and belongs to the launcher org.korvel.Korvel.desktop.
    korvel::SetDesktopIdentity();
    // A signal closes the running window like "E&xit"; during start-up it closes the open message
    // box, no other one opens, and the program ends once the start-up has run out.
    QPointer<korvel::TChatForm> running;
    korvel::OnTerminationSignals(app, [&running] {
        if (running)
            running->close();
        else
            korvel::EndMessages();
    });

    auto store = std::make_unique<korvel::RegisterStore>();
    auto engine = std::make_unique<korvel::ServerEngine>(*store);

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();

    // The windows in their order: the main window (its start-up runs here), the client window,
    // the hidden "holding" topic window, the scanner window, the hidden "input" topic window.
    korvel::TChatForm mainWindow(*store, *engine, arguments);
    korvel::TfrmClient client(mainWindow.clientSurroundings());
    korvel::Tddeholding ddeHolding(*store, mainWindow.publishing(), mainWindow.activity());
    korvel::Tscanner scanner(*store, mainWindow.activity(), [&mainWindow] { return mainWindow.LocalHostAddress; });
    korvel::Tddeinput ddeInput(*store, mainWindow.publishing(), mainWindow.activity());
    // Options > "&DDE Server...", the publishing threads and the close request's wait for them.
    auto* statusPanel = mainWindow.findChild<korvel::ServerStatusPanel*>();
    korvel::DdeServer ddeServer(&mainWindow, mainWindow.optionsMenu(), mainWindow.ShowTooltips(),
                                mainWindow.refreshRequests(), statusPanel ? statusPanel->Timer1() : nullptr, ddeInput,
                                ddeHolding, mainWindow.busNames().serviceName());

    // The R/W column's menu drives the client's lists; instance detection runs its flash tick; the
    // client opens the scanner and takes its item back when the scanner is closed.
    mainWindow.registerList()->setRwColumnActions(&client);
    QObject::connect(&mainWindow, &korvel::TChatForm::instancesDetected, &client,
                     &korvel::TfrmClient::setFlashTimerEnabled);
    client.setScannerWindow(&scanner);
    QObject::connect(&scanner, &korvel::Tscanner::closed, &client, &korvel::TfrmClient::scannerClosed);

    // Tooltips on for the whole application ("&Show Tooltips" starts checked).
    mainWindow.ShowTooltipsClick();
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&mainWindow, &korvel::TChatForm::formClosed, &app, &QApplication::quit, Qt::QueuedConnection);
    if (korvel::TerminationRequested())
        return 0; // the windows' shutdown gives the reservations back
    running = &mainWindow;

    mainWindow.show();
    // The status panel and the client's status bar change after every request; paint each window
    // at most 25 times a second.
    new korvel::RepaintLimiter(mainWindow); // owned by the window
    new korvel::RepaintLimiter(client);
    return QApplication::exec();
}
