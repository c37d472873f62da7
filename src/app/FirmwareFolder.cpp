#include "app/FirmwareFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

namespace fk {

String TFirmwareFolder::StartFolder(const String& workingFolder)
{
    QDir dir(QString::fromStdString(workingFolder));
    if (!dir.cd(QStringLiteral("Firmware")))
        return {};
    const QStringList images =
        dir.entryList({QStringLiteral("*.img")}, QDir::Files | QDir::Readable | QDir::Hidden);
    if (images.isEmpty())
        return {};
    return dir.canonicalPath().toStdString();
}

String TFirmwareFolder::InitialFolder(const String& workingFolder, const String& remembered)
{
    return Usable(remembered) ? remembered : StartFolder(workingFolder);
}

bool TFirmwareFolder::Usable(const String& folder)
{
    return !folder.empty() && QFileInfo(QString::fromStdString(folder)).isDir();
}

} // namespace fk
