// The window's place: inside the screen's free area, kept between starts.
#include <gtest/gtest.h>

#include "shell/WindowPlacement.h"

namespace m470 {
namespace {

constexpr WindowSize kMinimum{900, 500};
constexpr WindowSize kPreferred{1000, 640};

TEST(WindowPlacement, APreferredSizeLargerThanTheScreenShrinksToItAndNeverBelowTheMinimumOtherwise) {
    // 1920x1080 at scale 2 with a 28 px panel on top: 960x512 free at (0,28).
    const WindowRect panelled{0, 28, 960, 512};
    EXPECT_EQ(PlaceWindow(panelled, kMinimum, kPreferred, std::nullopt), (WindowRect{0, 28, 960, 512}));
    // A screen smaller than the minimum wins: the window stays on it.
    EXPECT_EQ(PlaceWindow({0, 0, 800, 450}, kMinimum, kPreferred, std::nullopt), (WindowRect{0, 0, 800, 450}));
    // Room enough: centred at the preferred size, on a second screen right of the first.
    EXPECT_EQ(PlaceWindow({1920, 0, 1280, 720}, kMinimum, kPreferred, std::nullopt), (WindowRect{2060, 40, 1000, 640}));
}

TEST(WindowPlacement, AKeptPlaceIsTakenAndMovedBackOntoTheScreen) {
    const WindowRect screen{0, 0, 1280, 720};
    EXPECT_EQ(PlaceWindow(screen, kMinimum, kPreferred, WindowRect{100, 50, 1100, 600}), (WindowRect{100, 50, 1100, 600}));
    // Kept on a larger screen, or partly off it: the size shrinks, the place comes back.
    EXPECT_EQ(PlaceWindow(screen, kMinimum, kPreferred, WindowRect{-40, -100, 2000, 1280}), (WindowRect{0, 0, 1280, 720}));
    EXPECT_EQ(PlaceWindow(screen, kMinimum, kPreferred, WindowRect{900, 600, 950, 520}), (WindowRect{330, 200, 950, 520}));
    // A kept size below the minimum (an older minimum) grows to it.
    EXPECT_EQ(PlaceWindow(screen, kMinimum, kPreferred, WindowRect{10, 10, 400, 300}), (WindowRect{10, 10, 900, 500}));
}

TEST(WindowPlacement, OnlyFourNumbersWithAPositiveSizeAreAKeptPlace) {
    EXPECT_EQ(ParseWindowRect(FormatWindowRect({-5, 7, 1000, 640})), (WindowRect{-5, 7, 1000, 640}));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,0,4", "1,2,3,-4", "a,b,c,d", "1, 2,3,4", "1,2,3,4x", "99999999999,0,1,1"})
        EXPECT_FALSE(ParseWindowRect(bad).has_value()) << bad;
}

}  // namespace
}  // namespace m470
