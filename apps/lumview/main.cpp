// lumview: watch what a multiplex carries. `lumview [MULTIPLEX]` opens a definition's
// name, a file or a URL (else the multiplex of the last run); `--screenshot FILE.png
// [--after SECONDS]` saves the window after that long (5 s) and exits; `--seconds S` quits
// after S seconds; `--stats FILE.json` writes the playback statistics at the exit.
#include "CLumviewWindow.h"
#include "apps/common/COutputPath.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CLUMPluginManager.h"
#include "widgets/CWidgetDialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// A definition of that name in any input plug-in, or one a plug-in makes of the location.
bool Resolve(const QString& name, CLUMInputPlugin*& plugin, CDVBMultiplexDefinition*& definition,
             std::unique_ptr<CDVBMultiplexDefinition>& made)
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; auto* input = static_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, i)); ++i)
        for (int d = 0; d < input->GetMultiplexDefinitionCount(); ++d)
            if (QString::fromStdString(input->GetMultiplexDefinitionAtIndex(d)->GetName().Str()) == name) {
                plugin = input;
                definition = input->GetMultiplexDefinitionAtIndex(d);
                return true;
            }
    for (int i = 0; auto* input = static_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, i)); ++i)
        if (auto* extension = dynamic_cast<CLUMInputPluginExtension*>(input))
            if (made.reset(extension->CreateDefinitionForLocation(name.toUtf8().constData(), true)); made) {
                plugin = input;
                definition = made.get();
                return true;
            }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    // read before the application is made: --help and --version need no display
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Watch what a DVB multiplex carries.\n\n"
        "Keys: N and P the next and previous service, F (or a double click) full screen,\n"
        "Escape leaves it, + and - the volume, M mute, A the next sound track, S the next\n"
        "subtitles (or none), T teletext: type a page number, Up and Down the next and\n"
        "previous page, Left and Right the subpages, R, G, Y and B the coloured links."));
    options.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")});
    options.addOption({QStringLiteral("version"), QStringLiteral("Show the version and exit.")});
    options.addOption({QStringLiteral("screenshot"), QStringLiteral("Save the window to FILE and exit."), QStringLiteral("FILE")});
    options.addOption({QStringLiteral("after"), QStringLiteral("Seconds before the screenshot (5)."), QStringLiteral("SECONDS"), QStringLiteral("5")});
    options.addOption({QStringLiteral("full-screen"), QStringLiteral("Start in full screen.")});
    options.addOption({QStringLiteral("subtitles"),
                       QStringLiteral("Subtitles in LANG (an ISO 639 code), of teletext page N, or off; remembered for the service."),
                       QStringLiteral("LANG|N|off")});
    options.addOption({QStringLiteral("teletext"), QStringLiteral("Start in the teletext view, at PAGE."), QStringLiteral("PAGE")});
    options.addOption({QStringLiteral("seconds"), QStringLiteral("Play for SECONDS, then quit."), QStringLiteral("SECONDS")});
    options.addOption({QStringLiteral("stats"), QStringLiteral("At the exit, write the playback statistics to FILE (JSON)."),
                       QStringLiteral("FILE")});
    options.addPositionalArgument(QStringLiteral("multiplex"), QStringLiteral("A definition's name, a file or a URL."));
    if (!options.parse(arguments)) {
        std::fprintf(stderr, "lumview: %s\n(lumview --help says how it is used)\n", options.errorText().toUtf8().constData());
        return 2;
    }
    if (options.isSet(QStringLiteral("help"))) {
        // without an application Qt cannot name the program
        std::fputs(options.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("lumview")).toUtf8().constData(), stdout);
        return 0;
    }
    if (options.isSet(QStringLiteral("version"))) {
        std::printf("lumview %s\n", LUM_VERSION);
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("LUMCore"));
    QApplication::setApplicationName(QStringLiteral("lumview"));
    QApplication::setApplicationVersion(QStringLiteral(LUM_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("lumview"));

    CWidgetDialogs::Install();
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->LoadPlugins();   // from the executable's folder
    for (int i = 0; i < manager->GetPluginCount(); ++i)
        manager->GetPluginAtIndex(i)->Initialise();

    int result = 0;
    {
        std::unique_ptr<CDVBMultiplexDefinition> made;   // outlives the window's source
        CLumviewWindow window;
        window.SetFullScreen(options.isSet(QStringLiteral("full-screen")));
        window.Ask(options.value(QStringLiteral("subtitles")).toStdString(), options.value(QStringLiteral("teletext")).toInt());
        window.show();
        CLUMInputPlugin* plugin = nullptr;
        CDVBMultiplexDefinition* definition = nullptr;
        const QString name = options.positionalArguments().value(0);
        if (name.isEmpty()) {
            window.OpenRemembered();
        } else if (Resolve(name, plugin, definition, made)) {
            window.Open(plugin, definition);
        } else {
            std::fprintf(stderr, "lumview: no multiplex definition, file or URL \"%s\"\n", name.toUtf8().constData());
            result = 4;
        }
        const QString stats = options.value(QStringLiteral("stats"));
        if (result == 0 && COutputPath(stats.toStdString()).IsBeingRead()) {
            std::fprintf(stderr, "lumview: %s is the stream being played: it is not written over\n", stats.toUtf8().constData());
            result = 2;
        }
        if (result == 0 && options.isSet(QStringLiteral("screenshot"))) {
            const QString file = options.value(QStringLiteral("screenshot"));
            QTimer::singleShot(int(options.value(QStringLiteral("after")).toDouble() * 1000), &window, [&window, file] {
                const bool saved = window.grab().save(file);
                if (!saved)
                    std::fprintf(stderr, "lumview: %s cannot be written\n", file.toUtf8().constData());
                else   // where the picture is and which it is, for a bug report or a test
                    std::printf("%s: %dx%d %s\n", file.toUtf8().constData(), window.width(), window.height(),
                                window.DescribePicture().toUtf8().constData());
                window.close();
                QApplication::exit(saved ? 0 : 9);
            });
        }
        if (result == 0 && options.isSet(QStringLiteral("seconds")))
            QTimer::singleShot(int(options.value(QStringLiteral("seconds")).toDouble() * 1000), &window, &QWidget::close);
        if (result == 0)
            result = QApplication::exec();
        window.close();
        if (result == 0 && !stats.isEmpty() && !window.WriteStatistics(stats)) {
            std::fprintf(stderr, "lumview: %s cannot be written\n", stats.toUtf8().constData());
            result = 9;
        }
    }
    for (int i = 0; i < manager->GetPluginCount(); ++i)
        manager->GetPluginAtIndex(i)->DeInitialise();
    manager->UnloadPlugins();
    return result;
}
