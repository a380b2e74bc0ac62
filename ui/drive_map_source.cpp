#include "ui/drive_map_source.h"

#include <QDir>
#include <QStorageInfo>
#include <QStringList>

namespace {

sarnoval::DriveMap FromMountedVolumes() {
    std::vector<sarnoval::Volume> volumes;
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        volumes.push_back(sarnoval::Volume{
            storage.rootPath().toLocal8Bit().toStdString(),
            QString::fromLatin1(storage.fileSystemType()).toStdString(),
            storage.isReadOnly(),
            storage.isValid() && storage.isReady(),
        });
    }
    return sarnoval::BuildDriveMap(QDir::homePath().toLocal8Bit().toStdString(),
                                   std::move(volumes));
}

DriveMapSource& Source() {
    static DriveMapSource source = FromMountedVolumes;
    return source;
}

} // namespace

void SetDriveMapSource(DriveMapSource source) {
    Source() = source ? std::move(source) : FromMountedVolumes;
}

sarnoval::DriveMap ReadDriveMap() {
    return Source()();
}

QString DescribeDriveMap(const sarnoval::DriveMap& map) {
    QStringList lines;
    for (const auto& [letter, folder] : map) {
        const QString line = QStringLiteral("%1: %2").arg(QChar::fromLatin1(letter),
                                                          QString::fromLocal8Bit(folder.string()));
        if (letter == 'C') {
            lines.prepend(line);
        } else {
            lines.append(line);
        }
    }
    return lines.join(QLatin1Char('\n'));
}
