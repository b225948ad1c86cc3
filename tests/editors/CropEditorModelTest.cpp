// The crop editor's rules without widgets: fitting the picture into the preview, the
// rectangle and the spinners following each other, and the even source-pixel crop Ok stores.
#include "crop/CropEditorModel.h"

#include <gtest/gtest.h>

#include <ostream>
#include <tuple>

namespace tessaro {

std::ostream& operator<<(std::ostream& out, const TCropRect& r) {
    return out << "(" << r.Left << "," << r.Top << " " << r.Width << "x" << r.Height << ")";
}
std::ostream& operator<<(std::ostream& out, const TViewMargins& m) {
    return out << "up " << m.Up << " down " << m.Down << " left " << m.Left << " right " << m.Right;
}

namespace {

// A model whose picture is a frameWidth x frameHeight frame fitted into image, starting from
// margins stored as preview margins.
TCropEditorModel Loaded(int frameWidth, int frameHeight, const TCropRect& image,
                        const TViewMargins& margins) {
    TCropEditorModel model;
    EXPECT_TRUE(model.PlacePicture(frameWidth, frameHeight, image));
    TlvFilesRecord record;
    record.ViewCropTop = margins.Up;
    record.ViewCropBottom = margins.Down;
    record.ViewCropLeft = margins.Left;
    record.ViewCropRight = margins.Right;
    model.LoadMargins(record);
    return model;
}

TEST(CropEditorModelTest, FitCentresThePictureAndRoundsItsInsetHalvesToEven) {
    struct Case {
        int Width, Height;
        TCropRect Target;
        TCropRect Fitted;
    };
    const Case cases[] = {
        // Narrower than the target: full height, inset left and right by 16.33 -> 16.
        {320, 240, {0, 0, 370, 253}, {16, 0, 338, 253}},
        // Wider: full width, inset top and bottom; the target's place moves it.
        {720, 240, {10, 20, 370, 253}, {10, 20 + 65, 370, 253 - 130}},
        // Same shape: the whole target.
        {640, 480, {0, 0, 320, 240}, {0, 0, 320, 240}},
        // Insets of exactly one and a half and two and a half pixels go to 2.
        {100, 100, {0, 0, 103, 100}, {2, 0, 99, 100}},
        {100, 100, {0, 0, 105, 100}, {2, 0, 101, 100}},
        {200, 100, {0, 0, 200, 103}, {0, 2, 200, 99}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitPicture(c.Width, c.Height, c.Target), c.Fitted)
            << c.Width << "x" << c.Height << " in " << c.Target;
    }
    EXPECT_EQ(FitPicture(0, 240, {0, 0, 370, 253}), std::nullopt);
    EXPECT_EQ(FitPicture(320, 0, {0, 0, 370, 253}), std::nullopt);
}

TEST(CropEditorModelTest, ThePictureRectangleIsTheFittedPictureInsetByOnePixelInTheWindow) {
    TCropEditorModel model;
    ASSERT_TRUE(model.PlacePicture(320, 240, {10, 20, 370, 253}));
    EXPECT_EQ(model.Picture(), (TCropRect{27, 21, 336, 251}));
    EXPECT_EQ(model.Rect(), model.Picture());
    // An empty frame leaves the picture where it was.
    EXPECT_FALSE(model.PlacePicture(0, 0, {0, 0, 370, 253}));
    EXPECT_EQ(model.Picture(), (TCropRect{27, 21, 336, 251}));
}

TEST(CropEditorModelTest, OkStoresThePreviewMarginsAndEvenSourceMargins) {
    struct Case {
        TViewMargins Preview;
        int SourceWidth, SourceHeight;
        // CropTop, CropLeft, CropBottom, CropRight
        std::tuple<int, int, int, int> Crop;
    };
    // The picture is 100 x 100 preview pixels.
    const Case cases[] = {
        {{0, 0, 0, 0}, 720, 480, {0, 0, 0, 0}},
        // 10 x 34 / 100 = 3.4 -> 3 -> 2; 10 x 46 / 100 = 4.6 -> 5 -> 4.
        {{10, 0, 10, 0}, 46, 34, {2, 4, 0, 0}},
        // 25 x 34 / 100 = 8.5 -> 8; 25 x 46 / 100 = 11.5 -> 12.
        {{0, 25, 0, 25}, 46, 34, {0, 0, 8, 12}},
        // Whole source pixels stay as they are when even.
        {{10, 20, 30, 40}, 720, 480, {48, 216, 96, 288}},
    };
    for (const Case& c : cases) {
        TCropEditorModel model = Loaded(100, 100, {0, 0, 102, 102}, c.Preview);
        ASSERT_EQ(model.Picture(), (TCropRect{1, 1, 100, 100}));
        model.SetSourceSize(c.SourceWidth, c.SourceHeight);
        TlvFilesRecord stored;
        stored.CropTop = stored.CropLeft = stored.CropBottom = stored.CropRight = 99;
        model.Store(stored);
        EXPECT_EQ(std::tuple(stored.ViewCropTop, stored.ViewCropBottom, stored.ViewCropLeft,
                             stored.ViewCropRight),
                  std::tuple(c.Preview.Up, c.Preview.Down, c.Preview.Left, c.Preview.Right));
        EXPECT_EQ(std::tuple(stored.CropTop, stored.CropLeft, stored.CropBottom, stored.CropRight),
                  c.Crop)
            << c.Preview;
    }
}

TEST(CropEditorModelTest, TheRectangleFollowsTheStoredMarginsAndResetCoversThePicture) {
    TCropEditorModel model = Loaded(320, 240, {10, 20, 370, 253}, {20, 40, 30, 50});
    EXPECT_EQ(model.Rect(), (TCropRect{27 + 30, 21 + 20, 336 - 80, 251 - 60}));
    model.Reset();
    EXPECT_EQ(model.Margins(), TViewMargins{});
    EXPECT_EQ(model.Rect(), model.Picture());
}

TEST(CropEditorModelTest, ASpinnerStopsAtTheTenPixelMinimumAndStepsBack) {
    TCropEditorModel model = Loaded(100, 100, {0, 0, 102, 102}, {45, 44, 40, 45});

    model.SpinnerChanged(TCropSide::Down, 45); // height 11 -> 10
    EXPECT_EQ(model.Rect().Height, 10);
    for (TCropSide side : {TCropSide::Up, TCropSide::Down}) {
        model.SpinnerChanged(side, 46);
        EXPECT_EQ(model.Margins(), (TViewMargins{45, 45, 40, 45}));
        EXPECT_EQ(model.Rect().Height, 10);
    }
    model.SpinnerChanged(TCropSide::Up, 44);
    EXPECT_EQ(model.Margins().Up, 44);
    EXPECT_EQ(model.Rect(), (TCropRect{1 + 40, 1 + 44, 15, 11}));

    // A step of many pixels stops at the minimum; a negative value counts as 0.
    model.SpinnerChanged(TCropSide::Left, 60);
    EXPECT_EQ(model.Margins().Left, 45);
    EXPECT_EQ(model.Rect().Width, 10);
    model.SpinnerChanged(TCropSide::Right, 46);
    EXPECT_EQ(model.Margins().Right, 45);
    model.SpinnerChanged(TCropSide::Right, -3);
    EXPECT_EQ(model.Margins().Right, 0);
    EXPECT_EQ(model.Rect(), (TCropRect{1 + 45, 1 + 44, 55, 11}));
}

TEST(CropEditorModelTest, ADraggedRectangleStaysOnThePicture) {
    // The picture at (27, 21), 336 x 251; the rectangle starts at margins up 20, down 40,
    // left 30, right 50, which puts it at (57, 41), 256 x 191.
    struct Case {
        const char* Drag;
        TCropRect Bounds;
        int MouseX, MouseY;
        TViewMargins Margins;
    };
    const Case cases[] = {
        {"moved inside the picture", {67, 46, 256, 191}, 100, 80, {25, 35, 40, 40}},
        // Past the right and bottom edges together: back to where the drag started,
        // stretched to the picture's right and bottom edges.
        {"moved past the right and bottom edges", {257, 191, 256, 191}, 100, 80, {20, 0, 30, 0}},
        {"moved past the right edge", {157, 51, 256, 191}, 100, 80, {30, 30, 30, 0}},
        {"moved past the left edge keeps its left margin",
         {7, 46, 256, 191},
         100,
         80,
         {25, 35, 30, 50}},
        {"moved past the top edge goes to the top", {67, 5, 256, 191}, 100, 80, {0, 60, 40, 40}},
        {"right side pulled past the edge", {57, 41, 320, 191}, 320, 80, {20, 40, 30, 0}},
        {"bottom side pulled past the edge", {57, 41, 256, 300}, 100, 300, {20, 0, 30, 50}},
        {"left side pulled in", {107, 41, 206, 191}, 0, 80, {20, 40, 80, 50}},
    };
    for (const Case& c : cases) {
        TCropEditorModel model = Loaded(320, 240, {10, 20, 370, 253}, {20, 40, 30, 50});
        model.Pressed(model.Rect());
        model.Moved(c.Bounds, c.MouseX, c.MouseY);
        EXPECT_EQ(model.Margins(), c.Margins) << c.Drag;
        const TCropRect& p = model.Picture();
        const TViewMargins& m = c.Margins;
        EXPECT_EQ(model.Rect(), (TCropRect{p.Left + m.Left, p.Top + m.Up,
                                           p.Width - m.Left - m.Right, p.Height - m.Up - m.Down}))
            << c.Drag;
    }
}

TEST(CropEditorModelTest, TheLengthTextHasWholeSecondsAndMilliseconds) {
    EXPECT_EQ(CropLengthText(5'005'000), "5.005 Second");
    EXPECT_EQ(CropLengthText(61'234'999), "61.234 Second");
    EXPECT_EQ(CropLengthText(0), "0.000 Second");
    EXPECT_EQ(CropLengthText(-1), "0.000 Second");
}

} // namespace
} // namespace tessaro
