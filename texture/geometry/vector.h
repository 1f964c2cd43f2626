// Vectors as three doubles. Each operation is written once, its terms in one fixed order: with
// contraction off, every target then computes the same bits.
#ifndef OSTREVIN_TEXTURE_GEOMETRY_VECTOR_H
#define OSTREVIN_TEXTURE_GEOMETRY_VECTOR_H

namespace ostrevin {

inline double dot(const double a[3], const double b[3]) noexcept
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// out = a - b.
inline void difference(const double a[3], const double b[3], double out[3]) noexcept
{
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}

// out = a × b.
inline void cross(const double a[3], const double b[3], double out[3]) noexcept
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// (b - o) × (c - o): the normal of the corner at o, twice its triangle's area long.
inline void cornerNormal(const double o[3], const double b[3], const double c[3], double out[3]) noexcept
{
    double e1[3], e2[3];
    difference(b, o, e1);
    difference(c, o, e2);
    cross(e1, e2, out);
}

} // namespace ostrevin

#endif
