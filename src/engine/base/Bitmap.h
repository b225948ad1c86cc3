// The engine's frame bitmap: 24-bit pixels in blue-green-red byte order, rows top-down.
// Widgets wrap the same memory in a QImage (Format_BGR888 with Stride()) to draw on it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

namespace tessaro {

class TBitmap {
public:
    static constexpr int BytesPerPixel = 3;
    // Rows start on this boundary: enough for the scaler's vector code and for QImage's
    // 32-bit scan-line requirement.
    static constexpr int RowAlignment = 64;

    TBitmap() = default;
    TBitmap(int width, int height) { SetSize(width, height); }
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bytes from one row to the next.
    int Stride() const { return stride_; }
    std::uint8_t* Data() { return pixels_.get(); }
    const std::uint8_t* Data() const { return pixels_.get(); }
    std::uint8_t* ScanLine(int row) { return pixels_.get() + std::ptrdiff_t(row) * stride_; }
    const std::uint8_t* ScanLine(int row) const {
        return pixels_.get() + std::ptrdiff_t(row) * stride_;
    }

    // Reallocates for a new size (contents become black); a size of 0 frees the pixels.
    void SetSize(int width, int height) {
        if (width == width_ && height == height_) {
            return;
        }
        width_ = width > 0 && height > 0 ? width : 0;
        height_ = width > 0 && height > 0 ? height : 0;
        stride_ = (width_ * BytesPerPixel + RowAlignment - 1) / RowAlignment * RowAlignment;
        const std::size_t size = std::size_t(stride_) * std::size_t(height_);
        pixels_.reset(size == 0
                          ? nullptr
                          : static_cast<std::uint8_t*>(std::aligned_alloc(RowAlignment, size)));
        if (size != 0 && !pixels_) {
            throw std::bad_alloc();
        }
        Clear();
    }

    // Becomes a copy of other: its size and its pixels.
    void Assign(const TBitmap& other) {
        if (&other == this) {
            return;
        }
        SetSize(other.Width(), other.Height());
        const std::size_t rowBytes = std::size_t(width_) * BytesPerPixel;
        for (int row = 0; row < height_; ++row) {
            std::copy_n(other.ScanLine(row), rowBytes, ScanLine(row));
        }
    }

    void Clear() {
        if (pixels_) {
            std::fill_n(pixels_.get(), std::size_t(stride_) * std::size_t(height_),
                        std::uint8_t(0));
        }
    }

    // The canvas lock: held while a hook draws on the bitmap or a window shows it.
    // TBitmap is BasicLockable, so std::lock_guard<TBitmap> works too.
    std::mutex& Lock() const { return lock_; }
    void lock() const { lock_.lock(); }
    void unlock() const { lock_.unlock(); }

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::unique_ptr<std::uint8_t, FreeDeleter> pixels_;
    mutable std::mutex lock_;
};

} // namespace tessaro
