// How long the GUI thread goes without handling events while a run works:
// the main window shown (offscreen), Sync, Now, and a 10 ms timer whose
// longest gap between two ticks is the answer. The first server profile is
// opened in its editor 150 ms into the run and saved 100 ms later, as a user
// would; the time the Save took is printed too.
//
//   tessary-guigap APP_FOLDER
// runs the jobs of APP_FOLDER/information.mdb and prints
// "gui-gap <longest gap ms> ticks <n> run <seconds> save <ms or - when the run had ended>".

#include "base/Runtime.h"
#include "servers/frmServerSettings.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary-guigap APP_FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    runtime::SetAppPathForTesting(argv[1]);

    frmMain main;
    main.Form_Load();
    main.show();

    QElapsedTimer clock;
    qint64 last = 0, longest = 0, ticks = 0;
    double saveMs = -1;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        ++ticks;
        if (main.SyncRunning()) return;
        std::printf("gui-gap %.1f ticks %lld run %.3f save %s\n", static_cast<double>(longest) / 1e6,
                    static_cast<long long>(ticks), static_cast<double>(clock.nsecsElapsed()) / 1e9,
                    saveMs < 0 ? "-" : QByteArray::number(saveMs, 'f', 1).constData());
        runtime::End(0);  // as File, Exit would: a quit closes the main window, which ends the process
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        main.cmdSyncNow_Click();
        tick.start(10);
    });
    // Opened, then saved a moment later, as a user does: two turns of the event loop.
    QTimer::singleShot(150, [&] {
        if (main.SyncRunning()) frmServerSettings::ShowWindow().FetchInfo(1);
    });
    QTimer::singleShot(250, [&] {
        frmServerSettings* opened = frmServerSettings::Loaded();
        if (!main.SyncRunning() || !opened) return;
        frmServerSettings& editor = *opened;
        editor.txtNotes->setPlainText("saved during a run");
        QElapsedTimer save;
        save.start();
        editor.cmdClose->click();
        saveMs = static_cast<double>(save.nsecsElapsed()) / 1e6;
    });
    return app.exec();
}
