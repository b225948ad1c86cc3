// A widget the player draws its pictures into (the engine's TVideoSurface). The player calls
// it on its own thread: each picture is converted there, at the size the player lays it out
// with, into an image that the GUI thread then paints. The picture keeps its shape; the rest
// of the area is black while a picture is shown, and the widget's own background otherwise.
// Works wherever Qt paints (X11, Wayland, offscreen); no native window is involved.
#pragma once

#include "base/Bitmap.h"
#include "player/PictureScaler.h"
#include "player/VideoSurface.h"

#include <QImage>
#include <QRect>
#include <QWidget>
#include <atomic>
#include <mutex>

namespace tessaro {

class TVideoSurfaceWidget : public QWidget, public TVideoSurface {
    Q_OBJECT
public:
    explicit TVideoSurfaceWidget(QWidget* parent = nullptr);
    // The player drawing here must be stopped before the widget goes.
    ~TVideoSurfaceWidget() override;

    // TVideoSurface, called on the player's thread.
    void GetClientSize(int& Width, int& Height) override;
    bool SetVideoMode(int Width, int Height) override;
    void ShowPicture(const TVideoPicture& Picture, const TDisplayRect& Rect) override;

    // Shows a copy of a 24-bit bitmap (for example a frame a player's hook has drawn on),
    // scaled to fit with its shape kept. Any thread; the bitmap is read under its lock.
    void ShowBitmap(const TBitmap& bitmap);
    // Removes the picture, so the background shows again (GUI thread).
    void Clear();
    // A copy of the picture now shown and where it goes; a null image when there is none.
    QImage Picture() const;
    QRect PictureRect() const;

signals:
    // A paint has put a picture on the screen.
    void picturePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Hands a finished image to the GUI thread and asks for a paint.
    void Present(QImage image, QRect rect);
    void StoreAreaSize();

    std::atomic<int> areaWidth_{0};
    std::atomic<int> areaHeight_{0};
    std::atomic<bool> updateQueued_{false};

    TPictureScaler scaler_; // player thread only

    mutable std::mutex lock_;
    QImage front_;
    QRect frontRect_;
    QSize frontArea_; // the area size the rectangle was laid out for
};

// An editor's preview picture: a surface named "imgPreview" at geometry, black until a
// picture arrives, spoken as "Preview picture".
TVideoSurfaceWidget* MakePreviewPicture(QWidget* parent, const QRect& geometry);

} // namespace tessaro
