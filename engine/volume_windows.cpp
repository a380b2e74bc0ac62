// Volumes on Windows: the drives answer for themselves; there is no mount
// table to read.
#include "engine/volume.h"

#include "engine/file_io.h"
#include "engine/windows_api.h"

#include <winioctl.h>

#include <vector>

namespace sarnoval {

namespace fs = std::filesystem;

namespace {

// STORAGE_BUS_TYPE by number: older headers lack the newer names.
const char* BusName(unsigned type) {
    static const char* const kNames[] = {
        "",       "scsi",  "atapi", "ata",  "1394", "ssa", "fibre",   "usb",
        "raid",   "iscsi", "sas",   "sata", "sd",   "mmc", "virtual", "file-backed virtual",
        "spaces", "nvme",  "scm",   "ufs"};
    return type < std::size(kNames) ? kNames[type] : "";
}

const char* DriveTypeName(UINT type) {
    switch (type) {
    case DRIVE_REMOVABLE:
        return "removable";
    case DRIVE_FIXED:
        return "fixed";
    case DRIVE_REMOTE:
        return "remote";
    case DRIVE_CDROM:
        return "cdrom";
    case DRIVE_RAMDISK:
        return "ramdisk";
    default:
        return "";
    }
}

// The bus and model the storage stack gives for the volume at root ("C:\").
void AskTheDevice(const std::wstring& root, StorageFacts& facts) {
    if (root.size() != 3 || root[1] != L':') {
        return; // a share or a mounted folder: no volume device to ask
    }
    const std::wstring device = L"\\\\.\\" + root.substr(0, 2);
    const HANDLE handle = ::CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return;
    }
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<unsigned char> answer(1024);
    DWORD got = 0;
    if (::DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer.data(),
                          static_cast<DWORD>(answer.size()), &got, nullptr) &&
        got >= sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
        const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer.data());
        facts.bus = BusName(static_cast<unsigned>(descriptor->BusType));
        const DWORD at = descriptor->ProductIdOffset;
        if (at != 0 && at < got) {
            facts.model.assign(reinterpret_cast<const char*>(answer.data() + at));
            facts.model.erase(facts.model.find_last_not_of(' ') + 1);
        }
    }
    ::CloseHandle(handle);
    facts.device = TextFromPath(device);
}

} // namespace

std::optional<fs::path> HomeFromUserDatabase() {
    return std::nullopt;
}

std::optional<fs::path> SystemDriveRoot(char letter) {
    // Only A to Z name a drive: other text could name a folder or a stream.
    if ((letter < 'A' || letter > 'Z') && (letter < 'a' || letter > 'z')) {
        return std::nullopt;
    }
    return PathFromText(std::string(1, letter) + ":\\");
}

std::vector<Volume> MountedVolumes() {
    return {};
}

std::size_t LogicalBlockBytes(const fs::path&, unsigned, unsigned) {
    return 0;
}

StorageFacts DescribeStorage(const fs::path& path, const std::vector<Volume>& volumes,
                             const fs::path&) {
    const std::optional<Volume> volume = VolumeHolding(volumes, path);
    return volume ? FactsOf(*volume) : StorageFacts{};
}

StorageFacts DescribeStorage(const fs::path& path) {
    StorageFacts facts;
    wchar_t root[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameW(path.c_str(), root, MAX_PATH)) {
        return facts;
    }
    facts.mountPoint = TextFromPath(root);
    wchar_t type[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, type, MAX_PATH)) {
        facts.fsType = TextFromPath(type);
    }
    const UINT drive = ::GetDriveTypeW(root);
    facts.driveType = DriveTypeName(drive);
    facts.memory = drive == DRIVE_RAMDISK;
    facts.bus = drive == DRIVE_REMOTE ? "network" : facts.memory ? "memory" : "";
    AskTheDevice(root, facts);
    return facts;
}

} // namespace sarnoval
