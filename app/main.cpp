#include "CommandLine.h"
#include "MainWindow.h"
#include "StationIdentity.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    StationIdentity::describe();
    CommandLine command;
    {
        // Help, version and mistakes are answered before a display is needed, so that they
        // work over a plain SSH session too.
        QCoreApplication withoutDisplay(argc, argv);
        command = CommandLine::parse(QCoreApplication::arguments());
    }
    if (command.exits() && !command.unknownOption)
        return command.report();

    QApplication application(argc, argv);
    if (command.unknownOption)
        command = CommandLine::parse(QCoreApplication::arguments());
    if (command.exits())
        return command.report();
    application.setWindowIcon(StationIdentity::icon());
    MainWindow window;
    window.UsePortForThisRun(command.port, command.baudRate);
    window.show();
    if (!command.file.isEmpty())
        window.OpenFile(command.file);
    return application.exec();
}
