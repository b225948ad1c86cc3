// The preview's position bar: a horizontal slider whose thumb jumps to where the left button
// presses, that reports the press and the release of that button (with whether the release
// happened over the bar), whose thumb can be hidden, and that can mark a range of its values
// (a band under the groove).
#pragma once

#include <QSlider>

namespace tessaro {

class TPositionBar : public QSlider {
    Q_OBJECT
public:
    explicit TPositionBar(QWidget* parent = nullptr);

    void SetThumbVisible(bool visible);
    bool ThumbVisible() const { return thumbVisible_; }
    // Marks the values from start to end; an empty range (end <= start) marks nothing.
    void SetSelection(int start, int end);
    int SelectionStart() const { return selectionStart_; }
    int SelectionEnd() const { return selectionEnd_; }

signals:
    // The left button went down on the bar (the thumb is at the pressed place).
    void grabbed();
    // The left button came up after the thumb took its final place; overBar tells whether the
    // cursor was over the bar then.
    void released(int value, bool overBar);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int ValueAt(const QPoint& point) const;
    void PaintSelection();

    bool thumbVisible_ = true;
    int selectionStart_ = 0;
    int selectionEnd_ = 0;
};

// An editor's seek bar: named "trcPreview" at geometry, spoken as "Preview position", reached
// by Tab.
TPositionBar* MakePreviewPositionBar(QWidget* parent, const QRect& geometry);

} // namespace tessaro
