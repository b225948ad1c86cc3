#include "sources/SourceRecord.h"

namespace tessaro {

bool HasFrameEffects(const TlvFilesRecord& record) {
    return record.Brightness != 255 || record.Contrast != 0 || record.Saturation != 255 ||
           record.Exposure != 0 || !record.WatermarkText.empty() || !record.ImageFile.empty();
}

} // namespace tessaro
