// The splash window: one picture, shown while the main window is being built and
// hidden at the first one-second tick after the main window is showing.
#pragma once

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <string>

namespace tessaro {

class TfrmCover : public QWidget {
    Q_OBJECT
public:
    static constexpr int PictureWidth = 399;
    static constexpr int PictureHeight = 239;
    static constexpr int TickMs = 1000;

    // Loads picturePath when it exists and is a readable image; otherwise the
    // built-in picture stays.
    explicit TfrmCover(const std::string& picturePath);

    // The window whose showing closes the splash.
    void SetMainWindow(QWidget* mainWindow) { mainWindow_ = mainWindow; }
    const QImage& Picture() const { return picture_; }
    bool UsesBuiltInPicture() const { return builtIn_; }

    // The built-in picture: the product name on a gradient.
    static QImage BuiltInPicture();

    // One tick of the timer (public so that the rule can be tested without waiting).
    void tmr1Timer();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    bool builtIn_ = true;
    QTimer tmr1_;
    QPointer<QWidget> mainWindow_;
};

} // namespace tessaro
