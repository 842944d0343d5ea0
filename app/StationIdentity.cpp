#include "StationIdentity.h"

#include <QGuiApplication>

// Resources of a static library are only linked in when something asks for them.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

void StationIdentity::describe()
{
    QCoreApplication::setApplicationName(QStringLiteral("orlo-cnc-control"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORLO_VERSION));
    // Lets a Wayland compositor find the menu entry, and with it the icon, for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orlo.CncControl"));
}

QIcon StationIdentity::icon()
{
    initResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/Gui/img/app/%1x%1/org.orlo.CncControl.png").arg(size));
    return icon;
}
