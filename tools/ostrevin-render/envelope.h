// One animation channel of a LightWave scene: keys with their curve shapes and what the channel
// does before its first key and after its last, evaluated as the host plays it.
#ifndef OSTREVIN_TOOLS_RENDER_ENVELOPE_H
#define OSTREVIN_TOOLS_RENDER_ENVELOPE_H

#include <vector>

namespace render {

// Numbered as the scene file numbers them. A key's shape is that of the span ending at the key.
enum class KeyShape { Tcb = 0, Hermite = 1, Bezier = 2, Linear = 3, Stepped = 4, Bezier2D = 5 };

// Numbered as the scene file numbers them.
enum class Behaviour { Reset = 0, Constant = 1, Repeat = 2, Oscillate = 3, OffsetRepeat = 4, Linear = 5 };

struct EnvelopeKey {
    double time = 0.0;   // seconds
    double value = 0.0;
    KeyShape shape = KeyShape::Tcb;
    double tension = 0.0, continuity = 0.0, bias = 0.0;
    // Hermite and 1D Bezier: incoming and outgoing tangent in [0] and [1].
    // 2D Bezier: the incoming handle's time and value offsets, then the outgoing handle's.
    double param[4] = {0.0, 0.0, 0.0, 0.0};
};

class Envelope {
public:
    Envelope() = default;
    // Keys are put in time order; keys at the same time keep their file order.
    Envelope(std::vector<EnvelopeKey> keys, Behaviour pre = Behaviour::Constant, Behaviour post = Behaviour::Constant);
    static Envelope constant(double value);

    double evaluate(double time) const;

    const std::vector<EnvelopeKey> &keys() const { return list; }
    Behaviour pre() const { return before; }
    Behaviour post() const { return after; }

private:
    double interpolate(double time) const;
    double outgoing(std::size_t k0) const;
    double incoming(std::size_t k1) const;
    double bezier2D(std::size_t k0, double time) const;

    std::vector<EnvelopeKey> list;
    Behaviour before = Behaviour::Constant, after = Behaviour::Constant;
};

} // namespace render

#endif
