#include "devices/keyboard/KeyboardLightingTables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "devices/LightingTables.h"

namespace m470 {
namespace {

constexpr uint8_t N = kNoKey;
constexpr uint8_t X = kNoKeyWide;

constexpr std::array<uint8_t, 25> kPulseRise{0,   4,   8,   14,  22,  33,  45,  61,  77,  84,  100, 110, 120,
                                             130, 140, 150, 158, 166, 175, 182, 191, 204, 220, 234, 255};
constexpr std::array<uint8_t, 16> kPulseTail{20, 18, 16, 14, 12, 10, 9, 8, 7, 6, 5, 4, 3, 2, 2, 1};

// A fast rise, the falling half of the wave curve (248 down to 22), a short
// tail and darkness for the rest.
std::array<uint8_t, 192> MakePulseCurve() {
    std::array<uint8_t, 192> curve{};
    size_t i = 0;
    for (uint8_t level : kPulseRise) curve[i++] = level;
    for (size_t w = 49; w < kWaveCurve.size(); ++w) curve[i++] = kWaveCurve[w];
    for (uint8_t level : kPulseTail) curve[i++] = level;
    return curve;
}

// The middle of the board lies between I, O, P, [ above and L, ; below,
// a little nearer the upper row.
constexpr double kSweepCentreColumn = 10.5;
constexpr double kSweepCentreRow = 2.4;
constexpr double kSweepSample = 0.05;  // distance between two looks along the hand
// The hand starts two places past west, towards the function keys.
constexpr double kSweepFirstTurn = 2;

// Row i of the sweep: walk from the middle along the hand at turn i, take
// each key met (the first 12), and list them from the edge inwards.
SweepRow CastSweepRow(size_t row) {
    const double angle = (static_cast<double>(row) + kSweepFirstTurn) * 2 * std::numbers::pi / kSweepRows;
    const double dx = -std::cos(angle), dy = -std::sin(angle);  // turn 0 points west, turns go clockwise
    std::array<uint8_t, 12> met{};
    size_t count = 0;
    for (double t = kSweepSample; count < met.size(); t += kSweepSample) {
        const double x = kSweepCentreColumn + t * dx, y = kSweepCentreRow + t * dy;
        const long column = std::lround(std::floor(x + 0.5)), keyRow = std::lround(std::floor(y + 0.5));
        if (column < 0 || column >= static_cast<long>(kKeyColumnCount) || keyRow < 0 ||
            keyRow >= static_cast<long>(kKeyRowCount))
            break;
        const uint8_t key = kKeyColumns[static_cast<size_t>(column)][static_cast<size_t>(keyRow)];
        if (key == kNoKey || std::find(met.begin(), met.begin() + static_cast<long>(count), key) != met.begin() + static_cast<long>(count))
            continue;
        met[count++] = key;
    }
    SweepRow line;
    line.fill(kNoKey);
    std::reverse_copy(met.begin(), met.begin() + static_cast<long>(count), line.begin());
    return line;
}

// Two lines of the board's own table do not lie on one straight hand (the
// first jumps from 5 to I, the east one steps down to K42 past \ and K107):
// they are kept as the board has them.
constexpr SweepRow kSweepFirstLine{25, 26, 50, 51, N, N, N, N, N, N, N, N};
constexpr SweepRow kSweepEastLine{119, 61, 60, 59, 58, 57, 56, 62, 54, 53, 52, N};
constexpr size_t kSweepEastRow = 25;

std::array<SweepRow, kSweepRows> MakeSweepTable() {
    std::array<SweepRow, kSweepRows> table{};
    for (size_t row = 0; row < kSweepRows; ++row) table[row] = CastSweepRow(row);
    table[0] = kSweepFirstLine;
    table[kSweepEastRow] = kSweepEastLine;
    return table;
}

}  // namespace

const std::array<std::array<uint8_t, kKeyRowCount>, kKeyColumnCount> kKeyColumns{{
    {N, 120, 121, 122, 123, 124}, {N, 21, 42, 63, 84, 105},    {0, 22, 43, 64, 102, 106},  {1, 23, 44, 65, 85, 20},
    {2, 24, 45, 66, 86, 107},     {3, 25, 46, 67, 87, 126},    {4, 26, 47, 68, 88, 127},   {18, 27, 48, 69, 89, 108},
    {5, 28, 49, 70, 90, 128},     {6, 29, 50, 71, 91, 129},    {7, 30, 51, 72, 92, 109},   {8, 31, 52, 73, 93, 125},
    {9, 32, 53, 74, 94, 110},     {10, 33, 54, 62, 100, 111},  {11, 34, 55, 75, 19, 130},  {12, 101, 103, 79, 95, 112},
    {13, 35, 56, 82, 80, 113},    {14, 36, 57, 83, 96, 114},   {15, 37, 58, 17, 81, 115},  {N, 38, 59, 76, 97, 116},
    {N, 39, 60, 77, 98, 104},     {N, 40, 61, 78, 99, 117},    {N, 41, 16, 119, 118, 131},
}};

const std::array<std::array<uint8_t, 7>, kKeyColumnCount> kKeyColumns7{{
    {X, X, X, X, X, X, 105},        {X, X, 21, 42, 63, 84, 106},    {X, 0, 22, 43, 64, 85, 107},
    {X, 1, 23, 44, 65, 86, X},      {X, 2, 24, 45, 66, 87, X},      {X, 3, 25, 46, 67, 88, X},
    {X, 4, 26, 47, 68, 89, 108},    {X, X, 27, 48, 69, 90, X},      {X, 5, 28, 49, 70, 91, X},
    {X, 6, 29, 50, 71, 92, 109},    {X, 7, 30, 51, 72, 93, 109},    {X, 8, 31, 52, 73, 94, 110},
    {X, 9, 32, 53, 74, X, 111},     {X, 10, 33, 54, 75, X, X},      {X, 11, 34, 55, X, 95, 112},
    {X, 12, 34, 55, X, 95, 112},    {X, 13, 35, 56, X, X, 113},     {X, 14, 36, 57, X, 96, 114},
    {X, 15, 37, 58, X, X, 115},     {X, 17, 38, 59, 76, 97, 116},   {125, 18, 39, 60, 77, 98, 116},
    {X, 19, 40, 61, 78, 99, 117},   {X, 20, 41, X, 119, 118, X},
}};

const std::array<std::array<uint8_t, 12>, 12> kKeyGrid{{
    {51, N, N, N, N, N, N, N, N, N, N, N},
    {30, 50, 71, 72, 52, 31, N, N, N, N, N, N},
    {8, 29, 49, 70, 91, 92, 93, 73, 53, 32, N, N},
    {7, 28, 48, 69, 90, 109, 94, 74, 54, 33, 9, 62},
    {6, 27, 47, 68, 89, 110, 95, 75, 55, 34, 10, 11},
    {5, 26, 46, 67, 88, 108, 111, 112, 56, 35, 12, 125},
    {4, 25, 45, 66, 87, 113, 96, 57, 36, 13, N, N},
    {3, 24, 44, 65, 86, 114, 115, 58, 37, 15, 14, N},
    {2, 23, 43, 64, 85, 107, 97, 76, 59, 38, N, N},
    {1, 22, 42, 63, 84, 106, 116, 98, 77, 60, 39, 102},
    {0, 21, 105, 117, 99, 78, 61, 40, N, N, N, N},
    {118, 119, 41, N, N, N, N, N, N, N, N, N},
}};

const std::array<uint8_t, 126> kKeyOrder{
    15, 14,  13,  12,  11,  10,  9,   8,   7,   6,   5,   4,   3,   2,   1,  0,  21, 42, 63, 84, 105, 106,
    107, 108, 109, 125, 110, 111, 112, 113, 114, 115, 116, 117, 118, 119, 41, 40, 39, 38, 37, 36, 35,  34,
    33,  32,  31,  30,  29,  28,  27,  26,  25,  24,  23,  22,  43,  64,  102, 85, 86, 87, 88, 89, 90,  91,
    92,  93,  94,  95,  96,  97,  98,  99,  78,  61,  60,  59,  58,  57,  56,  55, 54, 53, 52, 51, 50,  49,
    48,  47,  46,  45,  44,  65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  62, 75, 76, 77, N,  N,   N,
    N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N};

const std::array<uint8_t, 170> kSnakeOrder = [] {
    std::array<uint8_t, 170> order{};
    size_t i = 0;
    const auto up = [&](int from, int to) { for (int k = from; k <= to; ++k) order[i++] = static_cast<uint8_t>(k); };
    const auto down = [&](int from, int to) { for (int k = from; k >= to; --k) order[i++] = static_cast<uint8_t>(k); };
    up(0, 15);
    up(17, 20);
    down(41, 21);
    up(42, 61);
    for (uint8_t k : std::initializer_list<uint8_t>{119, 78, 77, 76, 75, N}) order[i++] = k;
    down(74, 63);
    for (uint8_t k : std::initializer_list<uint8_t>{84, N}) order[i++] = k;
    up(85, 99);
    order[i++] = 118;
    down(117, 105);
    for (int k = 0; k < 16; ++k) order[i++] = N;
    // The rest stays 0: the head rests on Esc before it wraps.
    return order;
}();

const std::array<uint8_t, 192> kPulseCurve = MakePulseCurve();

const std::array<uint8_t, 139> kPulseSeeds{
    72,  52,  32,  12, 182, 162, 72,  52,  32,  12,  182, 162, 120, 100, 80,  60,  40,  20,  92,  82,  72,  62,  52,  42,
    160, 140, 120, 100, 80, 60,  80,  70,  60,  50,  20,  10,  90,  30,  0,   160, 130, 100, 50,  30,  10,  180, 160, 140,
    32,  22,  12,  2,  182, 172, 120, 100, 80,  60,  40,  20,  20,  5,   185, 170, 155, 140, 60,  35,  15,  180, 155, 130,
    120, 110, 100, 90,  80,  70,  192, 162, 132, 102, 72,  32,  80,  70,  60,  50,  20,  10,  100, 95,  90,  85,  80,  75,
    90,  80,  70,  60,  50,  40,  140, 110, 80,  50,  20,  180, 70,  55,  40,  25,  10,  190, 120, 100, 80,  60,  40,  20,
    92,  82,  72,  62,  52,  42,  60,  50,  40,  30,  20,  10,  192, 162, 132, 102, 72,  32,  0};

const std::array<SweepRow, kSweepRows> kSweepTable = MakeSweepTable();

const std::array<std::array<uint8_t, 6>, 20> kScriptGroups{{
    {0, 118, X, X, X, X},       {1, 117, X, X, X, X},       {2, 116, X, X, X, X},       {3, 115, 21, 118, X, X},
    {4, 114, 22, 99, X, X},     {5, 113, 23, 98, X, X},     {6, 112, 24, 97, 42, 119},  {7, 111, 25, 96, 43, 78},
    {8, 125, 26, 95, 44, 77},   {9, 109, 27, 94, 45, 76},   {33, 92, 28, 93, 46, X},    {54, 71, 29, 92, 47, 75},
    {74, 50, 30, 71, 48, 62},   {94, 30, 31, 50, 49, 74},   {93, 31, 52, 30, 50, 73},   {92, 32, 72, 31, 51, 72},
    {71, 33, 71, 52, 52, 71},   {50, 54, 50, 72, 53, X},    {30, 74, X, X, X, X},       {31, 94, X, X, X, X},
}};

const std::array<std::array<uint8_t, 2>, 16> kScriptPairs{{
    {30, 94}, {31, 93}, {32, 92}, {33, 71}, {54, 50}, {74, 30}, {94, 31}, {93, 32},
    {92, 33}, {71, 54}, {50, 74}, {51, 73}, {52, 72}, {53, 51}, {73, 52}, {72, 53},
}};

bool InKeyOrder(uint8_t key) {
    static const std::array<bool, 256> kIn = [] {
        std::array<bool, 256> in{};
        for (uint8_t k : kKeyOrder) in[k] = k != kNoKey;
        return in;
    }();
    return kIn[key];
}

}  // namespace m470
