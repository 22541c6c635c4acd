#include "app/ProgramPlace.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace halvix {

namespace {

std::filesystem::path toPath(const QString& text) {
    return std::filesystem::path(text.toStdU16String());
}

} // namespace

ProgramFolderChoice resolveProgramFolder() {
    const QString executableFolder = QCoreApplication::applicationDirPath();
    FolderPlaces places;
    places.executableFolder = toPath(executableFolder);
    places.userFolder = toPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    // The service runs from the package's private folder (lib/halvix), two levels below share/.
    places.defaultsFolders = {
        toPath(QDir::cleanPath(executableFolder + QStringLiteral("/../share/halvix"))),
        toPath(QDir::cleanPath(executableFolder + QStringLiteral("/../../share/halvix"))),
        toPath(QStringLiteral("/usr/share/halvix"))};
    return chooseProgramFolder(places);
}

} // namespace halvix
