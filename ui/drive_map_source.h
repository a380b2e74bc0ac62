// Where the drive map comes from: the mounted volumes, or whatever a test
// sets in their place.
#pragma once

#include "engine/drive_paths.h"

#include <QString>

#include <functional>

using DriveMapSource = std::function<sarnoval::DriveMap()>;

// An empty source puts the default back.
void SetDriveMapSource(DriveMapSource source);

// C is the home folder, D onwards the other writable volumes.
sarnoval::DriveMap ReadDriveMap();

// One line per letter, C first: "C: /home/someone".
QString DescribeDriveMap(const sarnoval::DriveMap& map);
