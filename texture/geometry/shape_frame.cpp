#include "texture/geometry/shape_frame.h"

#include <cmath>

#include "framework/growing_buffer.h"
#include "texture/geometry/polygon_record.h"

namespace ostrevin {

namespace {

void difference(const double *a, const double *b, double out[3]) noexcept
{
    out[0] = a[0] - b[0], out[1] = a[1] - b[1], out[2] = a[2] - b[2];
}

void cross(const double a[3], const double b[3], double out[3]) noexcept
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

double dot(const double a[3], const double b[3]) noexcept
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The corner that scores highest, as (polygon, vertex); ties keep the first.
template <class Score>
void highest(const PolygonRecord *records, int count, Score score, int out[2]) noexcept
{
    double best = -1.0;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < records[i].vertexCount; ++j) {
            const double s = score(records[i].vertices[j]);
            if (s > best) {
                best = s;
                out[0] = i, out[1] = j;
            }
        }
}

} // namespace

bool ShapeFrame::remember(const PolygonRecord *records, int count) noexcept
{
    known = false;
    size_t total = 0;
    for (int i = 0; i < count && records; ++i) {
        const PolygonRecord &r = records[i];
        if (r.vertexCount > 0 && !r.vertices)
            return false;
        for (int j = 0; j < r.vertexCount; ++j)
            for (int c = 0; c < 3; ++c)
                if (!std::isfinite(r.vertices[j][c]))
                    return false;
        total += static_cast<size_t>(r.vertexCount > 0 ? r.vertexCount : 0);
    }
    if (total < 4)
        return false;
    // Spread wide, so that every corner's coordinates stay small (below 4 in size): the first
    // corner, the farthest from it, the farthest from their line, the farthest from their plane.
    for (int i = count - 1; i >= 0; --i)
        if (records[i].vertexCount > 0)
            reference[0][0] = i, reference[0][1] = 0;
    const double *origin = records[reference[0][0]].vertices[reference[0][1]];
    double e[3][3];
    highest(records, count, [origin](const double *p) {
        double d[3];
        difference(p, origin, d);
        return dot(d, d);
    }, reference[1]);
    difference(records[reference[1][0]].vertices[reference[1][1]], origin, e[0]);
    highest(records, count, [origin, &e](const double *p) {
        double d[3], n[3];
        difference(p, origin, d);
        cross(e[0], d, n);
        return dot(n, n);
    }, reference[2]);
    difference(records[reference[2][0]].vertices[reference[2][1]], origin, e[1]);
    double normal[3];
    cross(e[0], e[1], normal);
    highest(records, count, [origin, &normal](const double *p) {
        double d[3];
        difference(p, origin, d);
        return __builtin_fabs(dot(normal, d));
    }, reference[3]);
    difference(records[reference[3][0]].vertices[reference[3][1]], origin, e[2]);

    // Flat, or nearly: the frame would not pin the shape across its plane.
    const double volume = dot(normal, e[2]);
    const double sizes = std::sqrt(dot(e[0], e[0]) * dot(e[1], e[1]) * dot(e[2], e[2]));
    if (!(__builtin_fabs(volume) > sizes * 0x1p-30))
        return false;
    double rows[3][3];
    cross(e[1], e[2], rows[0]);
    cross(e[2], e[0], rows[1]);
    cross(e[0], e[1], rows[2]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            inverse[r][c] = rows[r][c] / volume;

    if (!growOrFail(coordinates, held, total))
        return false;
    size_t at = 0;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < records[i].vertexCount; ++j, ++at) {
            double d[3];
            difference(records[i].vertices[j], origin, d);
            for (int r = 0; r < 3; ++r)
                coordinates[at][r] = static_cast<float>(dot(inverse[r], d));
        }
    corners = total;
    polygons = count;
    known = true;
    return true;
}

bool ShapeFrame::sameShape(const PolygonRecord *records, int count, const Bounds &bounds, int fixedAxis) const noexcept
{
    if (!known || !records || count != polygons)
        return false;
    double largest = 0.0;
    for (int c = 0; c < 3; ++c)
        largest = greaterOf(largest, greaterOf(__builtin_fabs(bounds.low[c]), __builtin_fabs(bounds.high[c])));
    if (!(largest < HUGE_VAL))
        return false;
    const double allowed = largest * tolerance;
    const double *at[4];
    for (int k = 0; k < 4; ++k) {
        const PolygonRecord &r = records[reference[k][0]];
        if (reference[k][1] >= r.vertexCount || !r.vertices)
            return false;
        at[k] = r.vertices[reference[k][1]];
    }
    double e[3][3];
    for (int k = 0; k < 3; ++k)
        difference(at[k + 1], at[0], e[k]);
    if (fixedAxis >= 0 && fixedAxis <= 2) {
        // The axis's image, e·inverse's column: along the axis, forwards.
        double image[3];
        for (int c = 0; c < 3; ++c)
            image[c] = e[0][c] * inverse[0][fixedAxis] + e[1][c] * inverse[1][fixedAxis] + e[2][c] * inverse[2][fixedAxis];
        const double along = image[fixedAxis];
        for (int c = 0; c < 3; ++c)
            if (c != fixedAxis && !(__builtin_fabs(image[c]) <= along * 0x1p-16))
                return false;
    }
    size_t k = 0;
    for (int i = 0; i < count; ++i) {
        const PolygonRecord &r = records[i];
        if (r.vertexCount > 0 && (!r.vertices || static_cast<size_t>(r.vertexCount) > corners - k))
            return false;
        for (int j = 0; j < r.vertexCount; ++j, ++k) {
            const double a = coordinates[k][0], b = coordinates[k][1], c = coordinates[k][2];
            for (int x = 0; x < 3; ++x) {
                const double expected = at[0][x] + a * e[0][x] + b * e[1][x] + c * e[2][x];
                if (!(__builtin_fabs(expected - r.vertices[j][x]) <= allowed))
                    return false;
            }
        }
    }
    return k == corners;
}

} // namespace ostrevin
