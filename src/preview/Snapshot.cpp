#include "Snapshot.h"

#include <QBuffer>
#include <QImageWriter>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessaro {

namespace {

QByteArray Encode(const QImage& image, TSnapshotFormat format, int jpegQuality,
                  const std::string& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format == TSnapshotFormat::Bmp ? "bmp" : "jpg");
    if (format == TSnapshotFormat::Jpeg) {
        writer.setQuality(jpegQuality);
    }
    if (image.isNull() || !writer.write(image)) {
        throw TSnapshotWriteError(path, writer.errorString().toStdString());
    }
    return bytes;
}

// Creates path (never replacing a file of that name) and writes bytes into it; a file that
// cannot be written completely is removed again.
void WriteNewFile(const std::string& path, const QByteArray& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw TSnapshotWriteError(path, std::strerror(errno));
    }
    const char* data = bytes.constData();
    std::size_t left = std::size_t(bytes.size());
    int error = 0;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            break;
        }
        data += written;
        left -= std::size_t(written);
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(path.c_str());
        throw TSnapshotWriteError(path, std::strerror(error));
    }
}

} // namespace

TSnapshotWriteError::TSnapshotWriteError(const std::string& path, const std::string& reason)
    : std::runtime_error("Unable to write to " + path + ": " + reason) {}

QImage BitmapImage(const TBitmap& bitmap) {
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
        return {};
    }
    return QImage(bitmap.Data(), bitmap.Width(), bitmap.Height(), bitmap.Stride(),
                  QImage::Format_BGR888);
}

QImage StretchedImage(const TBitmap& frame, int width, int height) {
    const QImage image = BitmapImage(frame);
    if (image.isNull() || width <= 0 || height <= 0) {
        return {};
    }
    return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

TSavedSnapshot SaveSnapshot(TIniFile& settings, const QImage& full, const QImage& small) {
    TSavedSnapshot saved;
    saved.Folder = UsableSnapshotFolder(settings);
    const TSnapshotSwitches switches = ReadSnapshotSwitches(settings);
    for (const TSnapshotFile& file : NextSnapshotFiles(saved.Folder, switches)) {
        const QImage& picture = file.Size == TSnapshotSize::Full ? full : small;
        WriteNewFile(file.Path, Encode(picture, file.Format, switches.JpegQuality, file.Path));
        saved.Files.push_back(file.Path);
    }
    return saved;
}

} // namespace tessaro
