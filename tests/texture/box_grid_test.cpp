// The grid that finds the boxes near another: every box that meets the asked one is visited, and
// none twice, whatever the boxes' sizes (large ones make the grid coarser) or a flat extent.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "texture/geometry/box_grid.h"

namespace {

using ostrevin::Bounds;

bool meet(const Bounds &a, const Bounds &b, double grow)
{
    for (int c = 0; c < 3; ++c)
        if (!(a.low[c] - grow <= b.high[c] && b.low[c] <= a.high[c] + grow))
            return false;
    return true;
}

TEST(BoxGrid, VisitsEveryBoxThatMeetsTheAskedOneOnce)
{
    struct Case {
        const char *what;
        int count;
        double largest;   // side of the largest box, the grid being 0..10 along x and y
        bool flat;        // every box at z = 0
    };
    const Case cases[] = {
        {"small boxes", 500, 0.5, false},
        {"large boxes coarsen the grid", 300, 9.0, false},
        {"flat along z", 200, 1.0, true},
        {"one box", 1, 1.0, false},
    };
    std::mt19937 random(7);
    for (const Case &c : cases) {
        std::uniform_real_distribution<double> at(0.0, 10.0), side(0.0, c.largest);
        std::vector<Bounds> boxes(static_cast<size_t>(c.count));
        Bounds over;
        for (Bounds &b : boxes) {
            for (int a = 0; a < 3; ++a) {
                b.low[a] = c.flat && a == 2 ? 0.0 : at(random);
                b.high[a] = c.flat && a == 2 ? 0.0 : b.low[a] + side(random);
            }
            over.include(b);
        }
        std::vector<const Bounds *> pointers;
        for (const Bounds &b : boxes)
            pointers.push_back(&b);
        const double grow = 0.01;
        ostrevin::BoxGrid grid;
        ASSERT_TRUE(grid.build(pointers.data(), c.count, over, grow)) << c.what;
        for (int q = 0; q < 100; ++q) {
            Bounds asked;
            for (int a = 0; a < 3; ++a) {
                asked.low[a] = c.flat && a == 2 ? 0.0 : at(random) - 1.0;
                asked.high[a] = c.flat && a == 2 ? 0.0 : asked.low[a] + side(random);
            }
            std::vector<int> visits(boxes.size(), 0);
            grid.visitNear(asked, [](void *data, int box) { ++(*static_cast<std::vector<int> *>(data))[static_cast<size_t>(box)]; },
                           &visits);
            for (size_t b = 0; b < boxes.size(); ++b) {
                ASSERT_LE(visits[b], 1) << c.what;
                if (meet(boxes[b], asked, grow)) {
                    ASSERT_EQ(visits[b], 1) << c.what << ", box " << b;
                }
            }
        }
    }
}

} // namespace
