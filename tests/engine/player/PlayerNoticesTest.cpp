#include "player/PlayerNotices.h"

#include <gtest/gtest.h>

using namespace tessaro;

TEST(PlayerNoticeRing, SameKindReplacesNewestAndAFullRingDropsTheOldest) {
    TNoticeRing ring;
    ring.Queue({nkPosition, psPlay, 1000});
    ring.Queue({nkPosition, psPlay, 6000}); // not consumed yet: replaces the first
    ring.Queue({nkState, psPause, 0});
    ring.Queue({nkPosition, psPlay, 9000});
    TNotice notice;
    ASSERT_EQ(ring.Count(), 3);
    ASSERT_TRUE(ring.Take(notice));
    EXPECT_EQ(notice.Position, 6000);
    ASSERT_TRUE(ring.Take(notice));
    EXPECT_EQ(notice.State, psPause);
    ASSERT_TRUE(ring.Take(notice));
    EXPECT_EQ(notice.Position, 9000);
    EXPECT_FALSE(ring.Take(notice));

    // Twelve alternating notices: nine stay, the three oldest are gone.
    for (int i = 0; i < 12; ++i) {
        ring.Queue(i % 2 == 0 ? TNotice{nkPosition, psPlay, i} : TNotice{nkState, psPlay, i});
    }
    EXPECT_EQ(ring.Count(), 9);
    for (int i = 3; i < 12; ++i) {
        ASSERT_TRUE(ring.Take(notice));
        EXPECT_EQ(notice.Position, i);
    }
    EXPECT_FALSE(ring.Take(notice));
}
