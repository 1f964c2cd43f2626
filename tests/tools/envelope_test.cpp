// Envelopes against values worked out by hand from the key formulas: every span shape, and every
// behaviour before the first key and after the last.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/ostrevin-render/envelope.h"

using namespace render;

namespace {

EnvelopeKey key(double time, double value, KeyShape shape = KeyShape::Tcb)
{
    EnvelopeKey k;
    k.time = time;
    k.value = value;
    k.shape = shape;
    return k;
}

EnvelopeKey withParams(EnvelopeKey k, double p0, double p1, double p2 = 0, double p3 = 0)
{
    k.param[0] = p0, k.param[1] = p1, k.param[2] = p2, k.param[3] = p3;
    return k;
}

EnvelopeKey withTcb(EnvelopeKey k, double tension, double continuity = 0, double bias = 0)
{
    k.tension = tension, k.continuity = continuity, k.bias = bias;
    return k;
}

} // namespace

TEST(Envelope, EachSpanShapeGivesTheValueWorkedOutByHand)
{
    const struct {
        const char *name;
        Envelope envelope;
        double time, expected;
    } cases[] = {
        {"linear", Envelope({key(0, 0), key(2, 4, KeyShape::Linear)}), 0.5, 1.0},
        {"stepped holds the earlier key", Envelope({key(0, 1), key(1, 5, KeyShape::Stepped)}), 0.99, 1.0},
        {"stepped reaches the later key on it", Envelope({key(0, 1), key(1, 5, KeyShape::Stepped)}), 1.0, 5.0},
        // Two TCB keys: both tangents are the difference, which makes a straight line.
        {"tcb alone is straight", Envelope({key(0, 0), key(1, 1)}), 0.25, 0.25},
        // Out of key 0: 1; into key 1 between 0 and 0: (1/2)(-1 + 1) = 0; h2 + h3 at 1/2.
        {"tcb over a peak", Envelope({key(0, 0), key(1, 1), key(2, 0)}), 0.5, 0.625},
        // Tension 1/2 on key 0 halves its outgoing tangent: 1/2 + 1/16.
        {"tcb with tension", Envelope({withTcb(key(0, 0), 0.5), key(1, 1), key(2, 0)}), 0.5, 0.5625},
        // Continuity 1/2 on the middle key, the halves from the neighbours' spacing: in =
        // ((1 - c)(1 + b)(1) + (1 + c)(1 - b)(-1)) / 2 = -1/2 -> 1/2 + 1/8 + 1/16; out =
        // ((1 + c)(1 + b)(1) + (1 - c)(1 - b)(-1)) / 2 = 1/2, into the last key -1 -> 1/2 + 1/16 + 1/8.
        {"tcb with continuity, into the key", Envelope({key(0, 0), withTcb(key(1, 1), 0, 0.5), key(2, 0)}), 0.5, 0.6875},
        {"tcb with continuity, out of the key", Envelope({key(0, 0), withTcb(key(1, 1), 0, 0.5), key(2, 0)}), 1.5, 0.6875},
        // Bias 1/2: in = out = ((1 + b)(1) + (1 - b)(-1)) / 2 = 1/2 -> 1/2 + 1/8 - 1/16 and 1/2 + 1/16 + 1/8.
        {"tcb with bias, into the key", Envelope({key(0, 0), withTcb(key(1, 1), 0, 0, 0.5), key(2, 0)}), 0.5, 0.5625},
        {"tcb with bias, out of the key", Envelope({key(0, 0), withTcb(key(1, 1), 0, 0, 0.5), key(2, 0)}), 1.5, 0.6875},
        // Hermite tangents straight from the keys: out 2, in 0 -> 1/2 + 2/8.
        {"hermite", Envelope({withParams(key(0, 0, KeyShape::Hermite), 0, 2), withParams(key(1, 1, KeyShape::Hermite), 0, 0)}),
         0.5, 0.75},
        {"1D bezier", Envelope({withParams(key(0, 0, KeyShape::Bezier), 0, 2), withParams(key(1, 1, KeyShape::Bezier), 0, 0)}),
         0.5, 0.75},
        // A neighbour rescales a hermite tangent by span over both spans: in 4 * 1/2 -> 1/2 - 2/8.
        {"hermite with a neighbour",
         Envelope({key(0, 0, KeyShape::Hermite), withParams(key(1, 1, KeyShape::Hermite), 4, 0), key(2, 1, KeyShape::Hermite)}),
         0.5, 0.25},
        // Handles at a third and two thirds in time keep time linear in the curve's parameter;
        // values 0, 1, 1, 1 at u = 1/2: 3/8 + 3/8 + 1/8.
        {"2D bezier",
         Envelope({withParams(key(0, 0, KeyShape::Bezier2D), 0, 0, 1.0 / 3, 1),
                   withParams(key(1, 1, KeyShape::Bezier2D), -1.0 / 3, 0)}),
         0.5, 0.875},
        {"on a key", Envelope({key(0, 0), key(1, 7), key(2, 0)}), 1.0, 7.0},
        {"one key", Envelope({key(3, 2)}), -10.0, 2.0},
        {"no key", Envelope(), 1.0, 0.0},
    };
    for (const auto &c : cases)
        EXPECT_NEAR(c.envelope.evaluate(c.time), c.expected, 1e-12) << c.name;
}

TEST(Envelope, EachBehaviourBeforeAndAfterTheKeysGivesTheValueWorkedOutByHand)
{
    // A straight rise from 0 at time 0 to 2 at time 1.
    const auto rise = [](Behaviour pre, Behaviour post) {
        return Envelope({key(0, 0), key(1, 2, KeyShape::Linear)}, pre, post);
    };
    const Behaviour k = Behaviour::Constant;
    const struct {
        const char *name;
        Behaviour pre, post;
        double time, expected;
    } cases[] = {
        {"post reset", k, Behaviour::Reset, 1.5, 0.0},
        {"post constant", k, Behaviour::Constant, 1.5, 2.0},
        {"post repeat", k, Behaviour::Repeat, 1.25, 0.5},
        {"post repeat, third pass", k, Behaviour::Repeat, 2.75, 1.5},
        {"post oscillate runs back", k, Behaviour::Oscillate, 1.25, 1.5},
        {"post oscillate runs forward again", k, Behaviour::Oscillate, 2.25, 0.5},
        {"post offset repeat", k, Behaviour::OffsetRepeat, 1.25, 2.5},
        {"post offset repeat, third pass", k, Behaviour::OffsetRepeat, 2.25, 4.5},
        {"post linear", k, Behaviour::Linear, 1.5, 3.0},
        {"pre reset", Behaviour::Reset, k, -0.5, 0.0},
        {"pre constant", Behaviour::Constant, k, -0.5, 0.0},
        {"pre repeat", Behaviour::Repeat, k, -0.25, 1.5},
        {"pre oscillate", Behaviour::Oscillate, k, -0.25, 0.5},
        {"pre offset repeat", Behaviour::OffsetRepeat, k, -0.25, -0.5},
        {"pre linear", Behaviour::Linear, k, -0.5, -1.0},
    };
    for (const auto &c : cases)
        EXPECT_NEAR(rise(c.pre, c.post).evaluate(c.time), c.expected, 1e-12) << c.name;

    // A repeat starts over from the first key's value, not the last's.
    EXPECT_NEAR(rise(k, Behaviour::Repeat).evaluate(2.0), 0.0, 1e-12);
    // Keys given out of order are played in time order.
    EXPECT_NEAR(Envelope({key(1, 2, KeyShape::Linear), key(0, 0, KeyShape::Linear)}).evaluate(0.5), 1.0, 1e-12);
}

TEST(Envelope, HostileTimesAndKeysGiveAnAnswerWithoutHanging)
{
    // Keys at one time, handles pointing backwards, times far away or not numbers at all.
    const Envelope stacked({key(1, 0), key(1, 5), key(1, 2)}, Behaviour::Oscillate, Behaviour::OffsetRepeat);
    const Envelope backwards({withParams(key(0, 0, KeyShape::Bezier2D), 0, 0, -3, 9),
                              withParams(key(1, 1, KeyShape::Bezier2D), 4, -9)},
                             Behaviour::Repeat, Behaviour::Linear);
    for (const Envelope *e : {&stacked, &backwards})
        for (double t : {-1e300, -1.0, 0.5, 1.0, 3.0, 1e300, std::nan("")})
            (void)e->evaluate(t);
    EXPECT_EQ(stacked.evaluate(7.0), 2.0);
    EXPECT_TRUE(std::isfinite(backwards.evaluate(0.5)));
}
