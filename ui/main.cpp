// weavepilot: the windowed program.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "model/settings.h"
#include "ui/mainwindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("weavepilot");
    QApplication::setApplicationDisplayName(wp::kApplicationTitle);

    QCommandLineParser parser;
    parser.setApplicationDescription("Weave Pilot: weave designs on a computer-controlled loom.");
    parser.addHelpOption();
    QCommandLineOption settings("settings", "Settings file (lanset.ini).", "PATH");
    parser.addOption(settings);
    parser.addPositionalArgument("design", "A design to open once the window is up.", "[design]");
    parser.process(app);

    wp::ui::WindowOptions options;
    options.settingsFile = wp::settingsPath(parser.value(settings).toStdString());
    options.settingsChosen = wp::settingsPathChosen(parser.value(settings).toStdString());
    wp::ui::TForm1 window(std::move(options));
    window.show();

    const QStringList designs = parser.positionalArguments();
    if (!designs.isEmpty()) {
        const std::string design = designs.front().toStdString();
        // After the first activation, so that the design named here is the one shown.
        QTimer::singleShot(0, &window, [&window, design] {
            window.FormActivate();
            window.openDesignFile(design);
        });
    }
    return QApplication::exec();
}
