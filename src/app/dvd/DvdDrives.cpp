#include "dvd/DvdDrives.h"

#include "DvdTitleBrowser.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace tessaro {
namespace {

constexpr std::streamoff VolumeDescriptorOffset = 16 * 2048; // sector 16 of the disc
constexpr int VolumeIdOffset = 40;
constexpr int VolumeIdSize = 32;

std::string TrimmedRight(std::string text) {
    const std::size_t end = text.find_last_not_of(" \t\r\n");
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

std::string FirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return TrimmedRight(line);
}

// "sr12" gives 12; names that are not srN give -1.
int DriveNumber(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "sr") != 0 ||
        !std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    return std::atoi(name.c_str() + 2);
}

// The kernel's table lists its drives on one line: "drive name:" and the names, tab-separated.
void AddTableDrives(const std::string& cdromInfo, std::map<int, std::string>& drives) {
    std::ifstream file(cdromInfo);
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("drive name:", 0) != 0) {
            continue;
        }
        std::istringstream names(line.substr(11));
        std::string name;
        while (names >> name) {
            if (DriveNumber(name) >= 0) {
                drives[DriveNumber(name)] = name;
            }
        }
    }
}

void AddDeviceDrives(const std::string& deviceDir, std::map<int, std::string>& drives) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(deviceDir, error)) {
        const std::string name = entry.path().filename().string();
        if (DriveNumber(name) >= 0) {
            drives[DriveNumber(name)] = name;
        }
    }
}

} // namespace

std::string TOpticalDrive::Caption() const {
    std::string caption = Device;
    if (!Model.empty()) {
        caption += " " + Model;
    }
    if (!VolumeLabel.empty()) {
        caption += " - " + VolumeLabel;
    }
    return caption;
}

std::vector<TOpticalDrive> FindOpticalDrives(const TDriveSources& sources) {
    std::map<int, std::string> names;
    AddTableDrives(sources.CdromInfo, names);
    AddDeviceDrives(sources.DeviceDir, names);
    std::vector<TOpticalDrive> drives;
    for (const auto& [number, name] : names) {
        TOpticalDrive drive;
        drive.Device = sources.DeviceDir + "/" + name;
        drive.Model = FirstLine(sources.SysBlockDir + "/" + name + "/device/model");
        // An empty drive is not read: it would only spin up for nothing.
        if (DvdLocationReadable(drive.Device)) {
            drive.VolumeLabel = ReadVolumeLabel(drive.Device);
        }
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::string ReadVolumeLabel(const std::string& path) {
    std::ifstream disc(path, std::ios::binary);
    char descriptor[VolumeIdOffset + VolumeIdSize] = {};
    if (!disc.seekg(VolumeDescriptorOffset) || !disc.read(descriptor, sizeof descriptor)) {
        return {};
    }
    // The primary volume descriptor: type 1, then "CD001".
    if (descriptor[0] != 1 || std::string(descriptor + 1, 5) != "CD001") {
        return {};
    }
    return TrimmedRight(std::string(descriptor + VolumeIdOffset, VolumeIdSize));
}

} // namespace tessaro
