// A settings store of any content: what comes out is a record the port, the gamepad, the file
// dialog and the macros can use.
#include "FuzzInput.h"

#include "app/RecentFiles.h"
#include "dialogs/GamepadMapping.h"
#include "link/SettingsStore.h"

#include <QSettings>
#include <QTemporaryFile>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTemporaryFile file;
    if (!file.open())
        return 0;
    file.write(FuzzInput(data, size).bytes());
    file.close();
    QSettings store(file.fileName(), QSettings::IniFormat);
    const Settings settings = SettingsStore::readPortSettings(store);
    if (int(settings.parity) < 0 || int(settings.parity) > 5 || int(settings.dataBits) < 5 ||
        int(settings.dataBits) > 8 || int(settings.stopBits) < 1 || int(settings.stopBits) > 3 ||
        int(settings.flowControl) < 0 || int(settings.flowControl) > 2)
        std::abort();
    for (const QString &key : store.allKeys()) {
        const int assignment = GamepadMapping::fromStore(store.value(key));
        if (assignment != GamepadMapping::AssignmentUndefined &&
            (assignment < 0 || assignment > 31))
            std::abort();
    }
    const QVector<Macro> macros = SettingsStore::readMacros(store);
    if (macros.size() > Macro::maxCount)
        std::abort();
    for (const Macro &macro : macros) {
        const std::optional<Macro> again = SettingsStore::storable(macro);
        if (!again || again->name != macro.name || again->lines != macro.lines)
            std::abort();
    }
    const RecentFiles recent(store);
    if (recent.files().size() > RecentFiles::maxFiles)
        std::abort();
    return 0;
}
