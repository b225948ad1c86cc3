// The optical drives of the system, for the "Add DVD Driver" menu: each drive's device path,
// its model and the volume label of the disc in it.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

struct TOpticalDrive {
    std::string Device;      // "/dev/sr0"
    std::string Model;       // as the drive names itself; empty when unknown
    std::string VolumeLabel; // of the inserted disc; empty without a disc or label

    // The menu item's text: device, model and label, the empty ones left out.
    std::string Caption() const;
};

// Where the system describes its drives; tests point these into a folder of their own.
struct TDriveSources {
    std::string CdromInfo = "/proc/sys/dev/cdrom/info"; // its "drive name:" line
    std::string DeviceDir = "/dev";                     // sr0, sr1, ...
    std::string SysBlockDir = "/sys/block";             // srN/device/model
};

// The drives named by the kernel's CD-ROM table or present as srN devices, in number order.
std::vector<TOpticalDrive> FindOpticalDrives(const TDriveSources& sources = {});

// The volume identifier of an ISO 9660 file system on a device or image, trailing blanks
// removed; empty when it has none or cannot be read.
std::string ReadVolumeLabel(const std::string& path);

} // namespace tessaro
