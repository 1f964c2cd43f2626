// Throughput and build cost of the inside test, measured through the shipped module as the host
// drives it, against the plain linear scan and two peers, on the same targets and the same points.
//
//   ostrevin-bench [--quick] [--only=NAME] [--no-peers] [--build-only] [--rules-only] [--points=N] [--seconds=S] [--cpu-time]
//
// Every rate is the best of several timed passes (the machine is shared; the best pass is the
// one least disturbed). Ratios compare rates over the same points.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/fill_rules.h"
#include "bench/lwo_reader.h"
#include "bench/peers.h"
#include "bench/slice_points.h"
#include "bench/soft_edge_peers.h"
#include "framework/host_services.h"
#include "host/module_loader.h"
#include "host/shapes.h"
#include "host/standin_host.h"
#include "host/texture_layer.h"
#include "texture/geometry/axes.h"
#include "texture/geometry/bounds.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/target/soft_edge.h"

namespace {

using Clock = std::chrono::steady_clock;
using Point = std::array<double, 3>;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// With --cpu-time, single-thread timings read this thread's CPU clock: on a shared machine the
// other jobs' share of the cores then stays out of the figures (their cache traffic does not).
bool threadCpuTime = false;

double timerNow()
{
    if (threadCpuTime) {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

struct Options {
    bool quick = false;
    bool peers = true;
    bool buildOnly = false;   // only the per-frame table: for profiling the build
    bool rulesOnly = false;   // only the fill rules' and children's tables
    std::string only;
    std::size_t points = std::size_t{1} << 17;
    double seconds = 0.25;   // least time spent on each rate
};

struct Target {
    std::string name;
    bool large = false;   // skipped by --quick
    std::function<bool(standin::SceneObject &, std::string &)> fill;
};

const char *const lwoDirectory = "/usr/share/assimp/models/LWO/LWO2/";

std::vector<Target> targets()
{
    using standin::SceneObject;
    auto shape = [](std::function<void(SceneObject &)> make) {
        return [make](SceneObject &o, std::string &) {
            make(o);
            return true;
        };
    };
    auto lwo = [](const std::string &file) {
        return [file](SceneObject &o, std::string &error) { return bench::readLwo(lwoDirectory + file, o, error); };
    };
    const standin::Point3 origin{0, 0, 0};
    // Caps of many vertices, kept whole: cylinder ends, lettering, imported outlines.
    const auto cylinder = [](int sides) {
        return [sides](SceneObject &o) {
            std::vector<standin::Point2> ring;
            for (int i = 0; i < sides; ++i)
                ring.push_back({std::cos(6.283185307179586 * i / sides), std::sin(6.283185307179586 * i / sides)});
            standin::appendPrism(o, ring, -1.0, 1.0, 2);
        };
    };
    return {
        {"cube, quads", false, shape([](SceneObject &o) { standin::appendBox(o, {-1, -1, -1}, {1, 1, 1}); })},
        {"cube, triangles", false,
         shape([](SceneObject &o) { standin::appendTriangulatedBox(o, {-1, -1, -1}, {1, 1, 1}); })},
        {"lwo hierarchy", false, lwo("hierarchy.lwo")},
        {"lwo box n-gons", false, lwo("box_2vc_1unused.lwo")},
        {"icosphere 3", false, shape([origin](SceneObject &o) { standin::appendIcosphere(o, origin, 1.0, 3); })},
        {"cylinder 5000", false, shape(cylinder(5000))},
        {"torus 32x32", false, shape([origin](SceneObject &o) { standin::appendTorus(o, origin, 1.0, 0.35, 32, 32); })},
        {"icosphere 5", false, shape([origin](SceneObject &o) { standin::appendIcosphere(o, origin, 1.0, 5); })},
        {"torus 160x128", false,
         shape([origin](SceneObject &o) { standin::appendTorus(o, origin, 1.0, 0.35, 160, 128); })},
        {"icosphere 7", true, shape([origin](SceneObject &o) { standin::appendIcosphere(o, origin, 1.0, 7); })},
        {"torus 640x512", true,
         shape([origin](SceneObject &o) { standin::appendTorus(o, origin, 1.0, 0.35, 640, 512); })},
        {"icosphere 8", true, shape([origin](SceneObject &o) { standin::appendIcosphere(o, origin, 1.0, 8); })},
    };
}

// ---- Points ------------------------------------------------------------------------------------

struct PointSet {
    std::string name;
    std::vector<Point> points;
};

// Coordinates a float holds exactly, so the float-based peer sees the very same point.
double asFloat(double x) { return static_cast<double>(static_cast<float>(x)); }

PointSet randomPoints(const Point &lo, const Point &hi, std::size_t count)
{
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    PointSet set{"random", {}};
    set.points.resize(count);
    for (Point &p : set.points)
        for (int c = 0; c < 3; ++c)
            p[c] = asFloat(lo[c] + (hi[c] - lo[c]) * unit(random));
    return set;
}

// Integer multiples of a power of two: exact, and on a target with dyadic coordinates (the cubes)
// they land on faces, edges and vertices. Shuffled, so any prefix samples the whole lattice.
PointSet latticePoints(const Point &lo, const Point &hi, std::size_t approxCount)
{
    const double extent = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    const double perAxis = std::cbrt(static_cast<double>(approxCount));
    const double step = std::exp2(std::ceil(std::log2(extent / perAxis)));
    PointSet set{"lattice", {}};
    for (double z = std::floor(lo[2] / step) * step; z <= hi[2]; z += step)
        for (double y = std::floor(lo[1] / step) * step; y <= hi[1]; y += step)
            for (double x = std::floor(lo[0] / step) * step; x <= hi[0]; x += step)
                set.points.push_back({x, y, z});
    std::mt19937_64 random(7);
    std::shuffle(set.points.begin(), set.points.end(), random);
    return set;
}

// ---- Timing ------------------------------------------------------------------------------------

// Best rate (items per second) over repeated passes of `pass`, which handles `items` items.
// Wall-clock time is used when `wall` is set, and always without --cpu-time.
template <class Pass>
double bestRate(std::size_t items, double minSeconds, Pass &&pass, bool wall = false)
{
    double best = 0.0, spent = 0.0;
    for (int passes = 0; passes < 3 || spent < minSeconds; ++passes) {
        const double start = wall ? since(Clock::time_point{}) : timerNow();
        pass();
        const double t = (wall ? since(Clock::time_point{}) : timerNow()) - start;
        spent += t;
        if (t > 0.0)
            best = std::max(best, static_cast<double>(items) / t);
        if (passes >= 200)
            break;
    }
    return best;
}

// How many of `points` one pass at about `rate` covers in `seconds`, at least `floor`.
std::size_t sampleSize(std::size_t available, double rate, double seconds, std::size_t floor)
{
    const auto wanted = static_cast<std::size_t>(rate * seconds);
    return std::min(available, std::max(wanted, floor));
}

// Times `test` (point -> answer) over a prefix of `points` that one pass covers in about half of
// `seconds` (all of them when the test is fast enough); `answers` receives that prefix's answers.
template <class Answer, class Test>
double measure(const std::vector<Point> &points, double seconds, std::vector<Answer> &answers, Test &&test)
{
    // Whatever a first query sets up is not the rate; nor is a prefix small enough to stay in the
    // caches from pass to pass, so fast tests run over every point. The probe runs twice on the
    // timing clock and keeps the faster: a first probe that warms up, or loses the core to
    // another job, would otherwise time a fast test over a prefix that stays in the caches.
    test(points[0].data());
    double probeRate = 0.0;
    for (int round = 0; round < 2; ++round) {
        answers.clear();
        const double probeStart = timerNow();
        std::size_t probe = 0;
        while (probe < points.size() && (probe % 16 != 0 || timerNow() - probeStart < 0.02))
            answers.push_back(static_cast<Answer>(test(points[probe++].data())));
        probeRate = std::max(probeRate, static_cast<double>(probe) / std::max(timerNow() - probeStart, 1e-9));
    }
    const std::size_t n = probeRate > 1e5 ? points.size() : sampleSize(points.size(), probeRate, seconds / 2, 64);
    answers.assign(n, 0);
    return bestRate(n, seconds, [&] {
        for (std::size_t i = 0; i < n; ++i)
            answers[i] = static_cast<Answer>(test(points[i].data()));
    });
}

// Answers that differ over the prefix both hold.
long differences(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
    long n = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        n += a[i] != b[i];
    return n;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// ---- The mesh read alone -----------------------------------------------------------------------

struct BareRead {
    LWMeshInfo *mesh = nullptr;
    double sink = 0.0;
};

size_t bareVisit(void *data, LWPolID polygon)
{
    auto *read = static_cast<BareRead *>(data);
    LWMeshInfo *m = read->mesh;
    const int size = m->polSize(m, polygon);
    for (int i = 0; i < size; ++i) {
        float f[3];
        m->pntOtherPos(m, m->polVertex(m, polygon, i), f);
        read->sink += static_cast<double>(f[0]) + static_cast<double>(f[1]) + static_cast<double>(f[2]);
    }
    return 0;
}

// What any build must pay: the host's record, its count, and every vertex of every polygon.
double bareReadSeconds(standin::StandInHost &host, LWItemID id, double &sink)
{
    const double start = timerNow();
    BareRead read;
    read.mesh = host.scene().objectInfoTable()->meshInfo(id, LWMESH_FROZEN);
    read.mesh->numPolygons(read.mesh);
    read.mesh->scanPolys(read.mesh, bareVisit, &read);
    read.mesh->destroy(read.mesh);
    const double t = timerNow() - start;
    sink += read.sink;
    return t;
}

// ---- Formatting --------------------------------------------------------------------------------

std::string rateText(double rate)
{
    char text[32];
    if (rate <= 0.0)
        std::snprintf(text, sizeof text, "-");
    else if (rate >= 1e6)
        std::snprintf(text, sizeof text, "%.2fM", rate / 1e6);
    else if (rate >= 1e3)
        std::snprintf(text, sizeof text, "%.1fk", rate / 1e3);
    else
        std::snprintf(text, sizeof text, "%.0f", rate);
    return text;
}

std::string ratioText(double a, double b)
{
    char text[32];
    if (a <= 0.0 || b <= 0.0)
        std::snprintf(text, sizeof text, "-");
    else
        std::snprintf(text, sizeof text, "%.2fx", a / b);
    return text;
}

std::string countText(long n, long of)
{
    char text[48];
    if (of <= 0)
        std::snprintf(text, sizeof text, "-");
    else
        std::snprintf(text, sizeof text, "%ld/%ld", n, of);
    return text;
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five;
    file >> one >> five;
    return one + " " + five;
}

// ---- One target --------------------------------------------------------------------------------

struct ThroughputRow {
    std::string target, points;
    int polygons = 0;
    double module = 0, cache = 0, linear = 0, embree = 0, cgal = 0;
    long cacheDiffer = 0;
    long linearChecked = 0, linearDiffer = 0;
    long embreeChecked = 0, embreeDiffer = 0;
    long cgalChecked = 0, cgalDiffer = 0, cgalBoundary = 0;
    double lookedUp = 0;   // the share of the points an inside or outside cell answered
};

// The soft edge at 5% of the target's box diagonal, on the same points as the hard mask's row.
struct SoftEdgeRow {
    std::string target, points;
    int polygons = 0;
    double width = 0, hard = 0, module = 0, cgal = 0, embree = 0;
    long cgalChecked = 0, cgalDiffer = 0, embreeChecked = 0, embreeDiffer = 0;
    double recordBytes = 0, indexBytes = 0;   // per polygon
};

// Values further apart than the surfaces measured can account for: the peers measure the polygons
// fanned into triangles, the module each polygon on its plane, and the host's floats bend a quad
// off its plane by about 1e-7 of its size.
constexpr double valueTolerance = 1e-5;
long valueDifferences(const std::vector<double> &a, const std::vector<double> &b, long &checked)
{
    long n = 0;
    checked = static_cast<long>(std::min(a.size(), b.size()));
    for (long i = 0; i < checked; ++i)
        n += !(std::fabs(a[static_cast<std::size_t>(i)] - b[static_cast<std::size_t>(i)]) <= valueTolerance);
    return n;
}

struct FrameRow {
    std::string target;
    int polygons = 0;
    // A whole frame of a moving target: newTime, build and frameQueries random points through the
    // module, against Embree's scene build and the same points; answers that differ.
    double wholeFrame = 0, embreeFrame = 0;
    long frameDiffer = 0;
    long frameScanDiffer = 0;   // the last moving frame's answers against a fresh cache's plain scan
    double build = 0, bare = 0, buildMoving = 0, bareMoving = 0;
    // The moving build's two parts, on the in-process cache: records (mesh read, bounds, planes,
    // copies) and the grid of the axis.
    double recordsMoving = 0, gridMoving = 0, cellsMoving = 0;
    double oneThread = 0, twoThreads = 0;
    long locksWhileEvaluating = 0;
    double recordBytes = 0, indexBytes = 0, cellBytes = 0;
};

// The polygons as triangles for the peers: triangles and quads fanned from their first corner;
// longer outlines zig-zagged from both ends, since a fan of a long outline is a sheaf of slivers
// meeting at one corner, which no renderer would hand a ray tracer (Embree answers a 5,000-gon
// cap's fan some 25 times slower than its zig-zag).
bench::TriangleSoup peerTriangles(const standin::SceneObject &object)
{
    bench::TriangleSoup soup;
    soup.points = object.points;
    const auto add = [&soup](int a, int b, int c) {
        soup.triangles.push_back(
            {static_cast<unsigned int>(a), static_cast<unsigned int>(b), static_cast<unsigned int>(c)});
    };
    for (const auto &polygon : object.polygons) {
        if (polygon.size() <= 4) {
            for (std::size_t i = 1; i + 1 < polygon.size(); ++i)
                add(polygon[0], polygon[i], polygon[i + 1]);
            continue;
        }
        for (std::size_t low = 0, high = polygon.size() - 1, k = 0; high - low >= 2; ++k) {
            if (k % 2 == 0) {
                add(polygon[low], polygon[low + 1], polygon[high]);
                ++low;
            } else {
                add(polygon[low], polygon[high - 1], polygon[high]);
                --high;
            }
        }
    }
    return soup;
}

// Bytes the cache holds for its records and their vertex buffers (requested sizes, no allocator
// overhead).
double recordBytes(const ostrevin::MeshCache &cache)
{
    double bytes = static_cast<double>(cache.polygonCapacity) * sizeof(ostrevin::PolygonRecord);
    for (int i = 0; i < cache.polygonCapacity; ++i)
        bytes += static_cast<double>(cache.polygons[i].vertexCapacity) * sizeof(double[3]);
    return bytes;
}

// The module's answer for In without the host around it: overall bounds, then the cache's test.
// What the texture answers for In, on the in-process cache: the overall bounds, then the cache's
// own test, through its index or by the plain scan of every record.
bool cacheInside(const ostrevin::MeshCache &cache, const double p[3], int axis, bool indexed)
{
    if (!cache.polygons || !ostrevin::withinInclusive(p, cache.bounds))
        return false;
    const int u = ostrevin::crossFirstAxis[axis], v = ostrevin::crossSecondAxis[axis];
    return indexed ? cache.isInside(p, axis, u, v) : cache.scanRecords(p, axis, u, v);
}

// Evaluates points [begin, end) through the module `repeat` times; the count of answers 1.0.
long evaluateRange(standin::TextureLayer &layer, const std::vector<Point> &points, std::size_t begin,
                   std::size_t end, int axis, int repeat = 1)
{
    LWTextureAccess access{};
    access.axis = axis;
    long inside = 0;
    for (int r = 0; r < repeat; ++r)
        for (std::size_t i = begin; i < end; ++i) {
            std::memcpy(access.wPos, points[i].data(), sizeof access.wPos);
            inside += layer.evaluate(access) != 0.0;
        }
    return inside;
}

// Points per second of `threads` threads sharing one instance. On the wall clock, or with
// --cpu-time on each thread's own CPU clock, a pass lasting as long as its slowest thread: the
// other jobs' share of the cores then stays out (waiting for a core, starting late), while
// whatever the threads cost each other (shared lines written, locks) stays in.
double threadedRate(standin::TextureLayer &layer, const std::vector<Point> &points, int threads, int axis,
                    double minSeconds)
{
    // Enough repeats that starting the threads is noise.
    const int repeat = 4;
    std::atomic<long> sink{0};
    std::vector<double> busy(static_cast<std::size_t>(threads));
    double best = 0.0, spent = 0.0;
    for (int passes = 0; passes < 3 || (spent < minSeconds && passes < 200); ++passes) {
        const Clock::time_point start = Clock::now();
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t) {
            const std::size_t begin = points.size() * static_cast<std::size_t>(t) / static_cast<std::size_t>(threads);
            const std::size_t end = points.size() * static_cast<std::size_t>(t + 1) / static_cast<std::size_t>(threads);
            pool.emplace_back([&, t, begin, end] {
                const double t0 = timerNow();
                sink += evaluateRange(layer, points, begin, end, axis, repeat);
                busy[static_cast<std::size_t>(t)] = timerNow() - t0;
            });
        }
        for (std::thread &t : pool)
            t.join();
        const double wall = since(start);
        const double pass = threadCpuTime ? *std::max_element(busy.begin(), busy.end()) : wall;
        spent += wall;
        if (pass > 0.0)
            best = std::max(best, static_cast<double>(points.size() * repeat) / pass);
    }
    return best;
}

// The soft edge's rows for one target whose hard rows are the last `sets.size()` of `throughput`:
// the width set through the panel from the next frame on, then the same points through the
// module, CGAL's tree and Embree; the width set back to 0 afterwards.
void runSoftEdge(standin::StandInHost &host, standin::TextureLayer &layer, const ostrevin::MeshCache &reference,
                 const bench::TriangleSoup &soup, const std::vector<PointSet> &sets, const Options &options,
                 const std::vector<ThroughputRow> &throughput, std::vector<SoftEdgeRow> &soft)
{
    double diagonal = 0.0;
    for (int c = 0; c < 3; ++c)
        diagonal += (reference.bounds.high[c] - reference.bounds.low[c]) * (reference.bounds.high[c] - reference.bounds.low[c]);
    double width = 0.05 * std::sqrt(diagonal);
    const auto setWidth = [&](double w) {
        const standin::XPanelRecord *panel = host.xpanel().panel(layer.panel());
        return panel && panel->set && panel->set(panel->viewInstance, 0x8005, &w) != 0;
    };
    if (!setWidth(width)) {
        std::fprintf(stderr, "the panel did not take the soft edge\n");
        return;
    }
    layer.newTime(1, 0.0);
    const int axis = 2;
    const double outside[3] = {reference.bounds.high[0] + 1.0, reference.bounds.high[1] + 1.0, reference.bounds.high[2] + 1.0};
    layer.evaluate(outside[0], outside[1], outside[2], axis);   // the frame's build, before timing

    ostrevin::SoftEdgeFrame frame;
    frame.prepare(reference, width);
    std::unique_ptr<bench::CgalSoftEdge> cgal;
    std::unique_ptr<bench::EmbreeSoftEdge> embree;
    if (options.peers) {
        cgal = std::make_unique<bench::CgalSoftEdge>(soup);
        cgal->prepare();
        embree = std::make_unique<bench::EmbreeSoftEdge>(soup);
    }
    for (std::size_t s = 0; s < sets.size(); ++s) {
        const std::vector<Point> &pts = sets[s].points;
        const ThroughputRow &hard = throughput[throughput.size() - sets.size() + s];
        SoftEdgeRow row;
        row.target = hard.target;
        row.points = hard.points;
        row.polygons = hard.polygons;
        row.width = width;
        row.hard = hard.module;
        LWTextureAccess access{};
        access.axis = axis;
        std::vector<double> viaHost;
        row.module = measure(pts, options.seconds, viaHost, [&](const double *p) {
            std::memcpy(access.wPos, p, sizeof access.wPos);
            return layer.evaluate(access);
        });
        if (cgal && cgal->usable()) {
            std::vector<double> peer;
            row.cgal = measure(pts, options.seconds, peer, [&](const double *p) { return cgal->value(p, width); });
            row.cgalDiffer = valueDifferences(viaHost, peer, row.cgalChecked);
        }
        if (embree && embree->usable()) {
            std::vector<double> peer;
            row.embree = measure(pts, options.seconds, peer, [&](const double *p) { return embree->value(p, width, axis); });
            row.embreeDiffer = valueDifferences(viaHost, peer, row.embreeChecked);
        }
        row.recordBytes = recordBytes(reference) / std::max(row.polygons, 1);
        row.indexBytes = static_cast<double>(frame.index.bytes()) / std::max(row.polygons, 1);
        soft.push_back(row);
    }
    width = 0.0;
    setWidth(width);
    layer.newTime(0, 0.0);
}

constexpr std::size_t frameQueries = std::size_t{1} << 20;

// A frame of the target moving as a render sees it, on one thread: the module's newTime, its
// build at the first evaluation and frameQueries random points, against Embree building a scene
// of the moved positions and answering the same points. The median of a few frames.
void measureWholeFrame(standin::StandInHost &host, standin::TextureLayer &layer, standin::SceneObject &object,
                       const bench::TriangleSoup &soup, bench::EmbreeParity *embree, const std::vector<Point> &points,
                       int axis, FrameRow &row)
{
    object.motion = [](double time) { return standin::Transform::translation(1e-3 * time, -2e-3 * time, 0.0); };
    std::vector<double> module, peer;
    std::vector<unsigned char> ours(frameQueries), theirs(frameQueries);
    bench::TriangleSoup moved = soup;
    // Small steps, so that the target stays where the points are.
    for (int f = 1; f <= 3; ++f) {
        const double time = 0.25 * f;
        host.scene().time = time;
        LWTextureAccess access{};
        access.axis = axis;
        const double t0 = timerNow();
        layer.newTime(f, time);
        for (std::size_t i = 0; i < frameQueries; ++i) {
            std::memcpy(access.wPos, points[i % points.size()].data(), sizeof access.wPos);
            ours[i] = layer.evaluate(access) != 0.0;
        }
        module.push_back(timerNow() - t0);
        if (!embree)
            continue;
        const standin::Transform placement = object.motion(time);
        for (std::size_t i = 0; i < soup.points.size(); ++i)
            moved.points[i] = placement.apply(soup.points[i]);
        const double t1 = timerNow();
        embree->rebuild(moved);
        for (std::size_t i = 0; i < frameQueries; ++i)
            theirs[i] = embree->inside(points[i % points.size()].data(), axis);
        peer.push_back(timerNow() - t1);
    }
    row.wholeFrame = median(module);
    row.embreeFrame = median(peer);
    row.frameDiffer = embree ? differences(ours, theirs) : 0;
    // The last frame's answers came from a grid carried over from frame to frame; a cache built
    // afresh at that time and scanned plainly must agree with them: every one, or on the largest
    // targets an even spread of them, about 2^30 polygon tests in all.
    ostrevin::HostServices services(standin::StandInHost::globalFunc());
    ostrevin::MeshCache fresh(services);
    fresh.build(object.id);
    const std::size_t polygons = static_cast<std::size_t>(std::max(fresh.polygonCount, 1));
    const std::size_t stride = std::max<std::size_t>(1, frameQueries / std::max<std::size_t>((std::size_t{1} << 30) / polygons, 1024));
    for (std::size_t i = 0; i < frameQueries; i += stride)
        row.frameScanDiffer += ours[i] != cacheInside(fresh, points[i % points.size()].data(), axis, false);
    if (embree)
        embree->rebuild(soup);
}

bool runTarget(const Target &target, const Options &options, const standin::LoadedModule &module,
               std::vector<ThroughputRow> &throughput, std::vector<FrameRow> &frames, std::vector<SoftEdgeRow> &soft)
{
    standin::StandInHost host;
    standin::SceneObject &object = host.scene().addObject(target.name);
    std::string error;
    if (!target.fill(object, error)) {
        std::fprintf(stderr, "%s: %s\n", target.name.c_str(), error.c_str());
        return false;
    }
    const int polygons = static_cast<int>(object.polygons.size());
    std::fprintf(stderr, "%s: %d polygons\n", target.name.c_str(), polygons);

    standin::TextureLayer layer(host, module);
    if (!layer.create() || !layer.openPanel() || !layer.pickTarget(target.name)) {
        std::fprintf(stderr, "%s: cannot set up the layer (%s)\n", target.name.c_str(), layer.error().c_str());
        return false;
    }
    layer.init(LWINIT_RENDER);
    layer.newTime(0, 0.0);

    // The same cache, built in this process, for the reference scan and the byte counts.
    ostrevin::HostServices services(standin::StandInHost::globalFunc());
    ostrevin::MeshCache reference(services);
    const int axis = 2;
    reference.build(object.id);
    reference.prepareCells(axis);
    Point lo{}, hi{}, outside{}, centre{};
    for (int c = 0; c < 3; ++c) {
        centre[c] = 0.5 * (reference.bounds.low[c] + reference.bounds.high[c]);
        const double margin = 0.05 * (reference.bounds.high[c] - reference.bounds.low[c]);
        lo[c] = reference.bounds.low[c] - margin;
        hi[c] = reference.bounds.high[c] + margin;
        outside[c] = reference.bounds.high[c] + 1.0;
    }
    const Point boxLow{reference.bounds.low[0], reference.bounds.low[1], reference.bounds.low[2]};
    const Point boxHigh{reference.bounds.high[0], reference.bounds.high[1], reference.bounds.high[2]};
    const std::vector<PointSet> sets = {randomPoints(lo, hi, options.points), latticePoints(lo, hi, options.points),
                                        {"coherent", bench::slicePoints(boxLow, boxHigh, axis, 9, options.points)}};

    const bench::TriangleSoup soup = peerTriangles(object);
    std::unique_ptr<bench::EmbreeParity> embree;
    std::unique_ptr<bench::CgalSide> cgal;
    if (options.peers) {
        embree = std::make_unique<bench::EmbreeParity>(soup);
        cgal = std::make_unique<bench::CgalSide>(soup);
        cgal->prepare();
    }

    std::size_t threadPoints = sets[0].points.size();
    for (const PointSet &set : sets) {
        if (options.buildOnly)
            break;
        const std::vector<Point> &pts = set.points;
        ThroughputRow row;
        row.target = target.name;
        row.points = set.name;
        row.polygons = polygons;

        layer.evaluate(outside[0], outside[1], outside[2], axis);   // the frame's build, before timing
        LWTextureAccess access{};
        access.axis = axis;
        std::vector<unsigned char> viaHost, direct, linear;
        row.module = measure(pts, options.seconds, viaHost, [&](const double *p) {
            std::memcpy(access.wPos, p, sizeof access.wPos);
            return layer.evaluate(access) != 0.0;
        });
        if (&set == &sets[0])
            threadPoints = viaHost.size();
        row.cache = measure(pts, options.seconds, direct,
                            [&](const double *p) { return cacheInside(reference, p, axis, true); });
        row.cacheDiffer = differences(viaHost, direct);
        row.linear = measure(pts, options.seconds, linear,
                             [&](const double *p) { return cacheInside(reference, p, axis, false); });
        row.linearChecked = static_cast<long>(std::min(viaHost.size(), linear.size()));
        row.linearDiffer = differences(viaHost, linear);
        long looked = 0;
        for (const Point &p : pts)
            looked += reference.cells.lookup(p.data(), axis) >= 0;
        row.lookedUp = static_cast<double>(looked) / static_cast<double>(std::max<std::size_t>(pts.size(), 1));

        if (embree && embree->usable()) {
            std::vector<unsigned char> peer;
            row.embree = measure(pts, options.seconds, peer, [&](const double *p) { return embree->inside(p, axis); });
            row.embreeChecked = static_cast<long>(std::min(viaHost.size(), peer.size()));
            row.embreeDiffer = differences(viaHost, peer);
        }
        if (cgal && cgal->usable()) {
            std::vector<unsigned char> peer;
            row.cgal = measure(pts, options.seconds, peer, [&](const double *p) { return cgal->side(p); });
            const std::size_t n = std::min(viaHost.size(), peer.size());
            row.cgalChecked = static_cast<long>(n);
            for (std::size_t i = 0; i < n; ++i) {
                if (peer[i] == bench::CgalSide::boundary)
                    ++row.cgalBoundary;
                else
                    row.cgalDiffer += (peer[i] == bench::CgalSide::inside) != (viaHost[i] != 0);
            }
        }
        throughput.push_back(row);
    }
    if (!options.buildOnly)
        runSoftEdge(host, layer, reference, soup, sets, options, throughput, soft);

    // Per-frame cost: a new frame, then the first evaluation (at the bounds' centre, so whatever
    // the first query of an axis builds is charged too), against walking the host's mesh alone.
    // Twice: the target standing still (the same positions every frame), and moving (every
    // frame's positions new).
    FrameRow frame;
    frame.target = target.name;
    frame.polygons = polygons;
    for (int moving = 0; moving < 2; ++moving) {
        if (moving)
            object.motion = [](double time) { return standin::Transform::translation(1e-3 * time, -2e-3 * time, 0.0); };
        std::vector<double> build, bare;
        double sink = 0.0;
        const Clock::time_point start = Clock::now();
        const int leastFrames = options.buildOnly ? 20 : 5;
        for (int f = 1; f <= leastFrames || (f <= 1000 && since(start) < options.seconds * 2); ++f) {
            layer.newTime(f, moving ? f : 0.0);
            // The centre where the target is now: a point it has left behind would never reach the
            // index, and its layout would go uncharged.
            const standin::Point3 still{static_cast<float>(centre[0]), static_cast<float>(centre[1]),
                                        static_cast<float>(centre[2])};
            const standin::Point3 at = moving ? object.motion(f).apply(still) : still;
            const double t0 = timerNow();
            layer.evaluate(at[0], at[1], at[2], axis);
            build.push_back(timerNow() - t0);
            bare.push_back(bareReadSeconds(host, object.id, sink));
        }
        (moving ? frame.buildMoving : frame.build) = median(build);
        (moving ? frame.bareMoving : frame.bare) = median(bare);
        if (moving) {
            std::vector<double> records, grid, cells;
            for (int f = 1; f <= leastFrames; ++f) {
                host.scene().time = 1000.0 + f;
                const double t0 = timerNow();
                reference.build(object.id);
                const double t1 = timerNow();
                reference.index.prepare(axis);
                const double t2 = timerNow();
                reference.prepareCells(axis);
                records.push_back(t1 - t0);
                grid.push_back(t2 - t1);
                cells.push_back(timerNow() - t2);
            }
            frame.recordsMoving = median(records);
            frame.gridMoving = median(grid);
            frame.cellsMoving = median(cells);
        }
        if (sink == 1234.5)
            std::fprintf(stderr, " ");
    }
    if (!options.buildOnly)
        measureWholeFrame(host, layer, object, soup, embree.get(), sets[0].points, axis, frame);
    object.motion = nullptr;
    layer.newTime(0, 0.0);

    // One instance, one and two threads, on the random points of a built frame.
    if (!options.buildOnly) {
        const std::vector<Point> pts(sets[0].points.begin(), sets[0].points.begin() + static_cast<long>(threadPoints));
        layer.evaluate(outside[0], outside[1], outside[2], axis);
        frame.oneThread = threadedRate(layer, pts, 1, axis, options.seconds);
        const int locksBefore = host.threads().locks.load();
        frame.twoThreads = threadedRate(layer, pts, 2, axis, options.seconds);
        frame.locksWhileEvaluating = host.threads().locks.load() - locksBefore;
    }

    frame.recordBytes = recordBytes(reference) / std::max(polygons, 1);
    frame.indexBytes = static_cast<double>(reference.index.bytes()) / std::max(polygons, 1);
    frame.cellBytes =
        static_cast<double>(reference.cells.bytes() + reference.corners.bytes()) / std::max(polygons, 1);
    frames.push_back(frame);
    layer.cleanup();
    return true;
}

// Every goal the inside test is held to, each with its worst figure over the targets measured in
// this run and whether it is met; a goal whose figure this run did not measure says so.
void printGoals(const std::vector<ThroughputRow> &throughput, const std::vector<FrameRow> &frames,
                const std::vector<SoftEdgeRow> &soft)
{
    struct Goal {
        Goal(const char *what, double bound, bool atMost) : what(what), bound(bound), atMost(atMost) {}
        const char *what;
        double bound;
        bool atMost;   // the figure must stay at or below the bound, rather than reach it
        double worst = HUGE_VAL;
        std::string where;
    };
    enum { random, coherent, randomLarge, coherentLarge, frame, frameAll, still, memorySmall, memoryLarge, softOverEmbree, softOverCgal, softMemory, threads, agree, rows };
    Goal goals[rows] = {
        {"points/s over Embree's, random, every target", 4.0, false},
        {"points/s over Embree's, coherent, every target", 4.0, false},
        {"same, random, 100k polygons up", 8.0, false},
        {"same, coherent, 100k polygons up", 8.0, false},
        {"moving whole frame over Embree's, 100k up", 3.0, false},
        {"moving whole frame over Embree's, every target", 2.0, false},
        {"still target, build over the bare mesh read", 2.0, true},
        {"index + cells bytes over records', under 100k", 1.5, true},
        {"index + cells bytes over records', 100k up", 1.0, true},
        {"soft edge over Embree's point query", 1.0, false},
        {"soft edge over CGAL's tree and side test", 2.0, false},
        {"distance index bytes over the records'", 1.0, true},
        {"2 threads over 1 thread", 1.8, false},
        {"disagreements with the linear scan", 0.0, true},
    };
    const auto note = [](Goal &g, double figure, const std::string &where) {
        if (!(figure == figure) || figure == HUGE_VAL)
            return;
        const bool worse = g.worst == HUGE_VAL || (g.atMost ? figure > g.worst : figure < g.worst);
        if (worse) {
            g.worst = figure;
            g.where = where;
        }
    };
    for (const ThroughputRow &r : throughput) {
        const std::string where = r.target + ", " + r.points;
        const bool large = r.polygons >= 100000;
        if (r.embree > 0 && r.points == "random")
            note(goals[large ? randomLarge : random], r.module / r.embree, where);
        if (r.embree > 0 && r.points == "coherent")
            note(goals[large ? coherentLarge : coherent], r.module / r.embree, where);
        // The goal for every target holds the large ones too.
        if (r.embree > 0 && large && r.points != "lattice")
            note(goals[r.points == "random" ? random : coherent], r.module / r.embree, where);
        note(goals[agree], static_cast<double>(r.linearDiffer), where);
    }
    for (const FrameRow &r : frames) {
        // On smaller targets a frame is its queries: the rows above.
        if (r.wholeFrame > 0 && r.embreeFrame > 0 && r.polygons >= 100000)
            note(goals[frame], r.embreeFrame / r.wholeFrame, r.target);
        if (r.wholeFrame > 0 && r.embreeFrame > 0)
            note(goals[frameAll], r.embreeFrame / r.wholeFrame, r.target);
        if (r.bare > 0)
            note(goals[still], r.build / r.bare, r.target);
        if (r.recordBytes > 0)
            note(goals[r.polygons < 100000 ? memorySmall : memoryLarge], (r.indexBytes + r.cellBytes) / r.recordBytes,
                 r.target);
        if (r.oneThread > 0)
            note(goals[threads], r.twoThreads / r.oneThread, r.target);
        if (r.wholeFrame > 0)
            note(goals[agree], static_cast<double>(r.frameScanDiffer), r.target + ", moving frame");
    }
    for (const SoftEdgeRow &r : soft) {
        const std::string where = r.target + ", " + r.points;
        if (r.embree > 0 && r.module > 0)
            note(goals[softOverEmbree], r.module / r.embree, where);
        if (r.cgal > 0)
            note(goals[softOverCgal], r.module / r.cgal, where);
        if (r.recordBytes > 0)
            note(goals[softMemory], r.indexBytes / r.recordBytes, r.target);
    }
    std::printf("\nGoals, each at its worst target\n");
    for (const Goal &g : goals) {
        if (g.worst == HUGE_VAL) {
            std::printf("  %-48s %8s (%s %.1f) not measured in this run\n", g.what, "-", g.atMost ? "at most" : "at least",
                        g.bound);
            continue;
        }
        const bool met = g.atMost ? g.worst <= g.bound : g.worst >= g.bound;
        std::printf("  %-48s %8.2f (%s %.1f) %-7s %s\n", g.what, g.worst, g.atMost ? "at most" : "at least", g.bound,
                    met ? "met" : "NOT met", g.where.c_str());
    }
}

void printTables(const std::vector<ThroughputRow> &throughput, const std::vector<FrameRow> &frames,
                 const std::vector<SoftEdgeRow> &soft)
{
    std::printf("\nInside test, texture axis Z: points per second (best pass). module: through the host's evaluate entry;\n"
                "direct: the same cache's test called in-process, like linear. Disagreements are with the module.\n");
    std::printf("%-16s %9s %-8s | %9s %9s %9s %8s %8s | %9s %8s %9s %8s | %11s %13s %16s | %7s\n", "target", "polygons",
                "points", "module", "direct", "linear", "mod/lin", "dir/lin", "Embree", "x Embree", "CGAL", "x CGAL",
                "!= linear", "!= Embree", "!= CGAL (bndry)", "lookup");
    for (const ThroughputRow &r : throughput) {
        char cgalText[64];
        if (r.cgalChecked > 0)
            std::snprintf(cgalText, sizeof cgalText, "%ld (%ld)", r.cgalDiffer, r.cgalBoundary);
        else
            std::snprintf(cgalText, sizeof cgalText, "-");
        std::printf("%-16s %9d %-8s | %9s %9s %9s %8s %8s | %9s %8s %9s %8s | %11s %13s %16s | %6.1f%%\n", r.target.c_str(),
                    r.polygons, r.points.c_str(), rateText(r.module).c_str(), rateText(r.cache).c_str(),
                    rateText(r.linear).c_str(), ratioText(r.module, r.linear).c_str(),
                    ratioText(r.cache, r.linear).c_str(), rateText(r.embree).c_str(),
                    ratioText(r.module, r.embree).c_str(), rateText(r.cgal).c_str(),
                    ratioText(r.module, r.cgal).c_str(), countText(r.linearDiffer, r.linearChecked).c_str(),
                    countText(r.embreeDiffer, r.embreeChecked).c_str(), cgalText, 100.0 * r.lookedUp);
        if (r.cacheDiffer != 0)
            std::printf("  ! the direct call disagrees with the module on %ld points\n", r.cacheDiffer);
    }

    std::printf("\nPer frame (median): build = newTime + first evaluation, bare = the host's mesh read alone;\n"
                "the target standing still, then moving every frame. Threads: one instance, host lock calls counted\n");
    std::printf("%-16s %9s | %9s %9s %7s | %9s %9s %7s %9s %9s %9s | %9s %9s %6s %6s | %9s %9s %9s\n", "target",
                "polygons", "still ms", "bare ms", "x bare", "moving ms", "bare ms", "x bare", "records", "grid",
                "cells", "1 thread", "2 thread", "x 1", "locks", "rec B/pg", "idx B/pg", "cell B/pg");
    for (const FrameRow &r : frames) {
        std::printf("%-16s %9d | %9.3f %9.3f %7s | %9.3f %9.3f %7s %9.3f %9.3f %9.3f | %9s %9s %6s %6ld | %9.1f %9.1f %9.1f\n",
                    r.target.c_str(), r.polygons, r.build * 1e3, r.bare * 1e3, ratioText(r.build, r.bare).c_str(),
                    r.buildMoving * 1e3, r.bareMoving * 1e3, ratioText(r.buildMoving, r.bareMoving).c_str(),
                    r.recordsMoving * 1e3, r.gridMoving * 1e3, r.cellsMoving * 1e3,
                    rateText(r.oneThread).c_str(), rateText(r.twoThreads).c_str(),
                    ratioText(r.twoThreads, r.oneThread).c_str(), r.locksWhileEvaluating, r.recordBytes,
                    r.indexBytes, r.cellBytes);
    }
    std::printf("\nSoft edge at 5%% of the box diagonal, texture axis Z: points per second (best pass), beside the\n"
                "hard mask on the same points; CGAL: its AABB tree's closest point after its side test; Embree: its\n"
                "point query after its parity. Values apart by more than 1e-5 from the module's are counted.\n");
    std::printf("%-16s %9s %-8s %8s | %9s %9s %8s | %9s %8s %9s %8s | %11s %11s | %9s %9s\n", "target", "polygons",
                "points", "width", "hard", "soft", "x hard", "CGAL", "x CGAL", "Embree", "x Embree", "!= CGAL",
                "!= Embree", "rec B/pg", "dist B/pg");
    for (const SoftEdgeRow &r : soft)
        std::printf("%-16s %9d %-8s %8.4f | %9s %9s %8s | %9s %8s %9s %8s | %11s %11s | %9.1f %9.1f\n",
                    r.target.c_str(), r.polygons, r.points.c_str(), r.width, rateText(r.hard).c_str(),
                    rateText(r.module).c_str(), ratioText(r.module, r.hard).c_str(), rateText(r.cgal).c_str(),
                    ratioText(r.module, r.cgal).c_str(), rateText(r.embree).c_str(),
                    ratioText(r.module, r.embree).c_str(), countText(r.cgalDiffer, r.cgalChecked).c_str(),
                    countText(r.embreeDiffer, r.embreeChecked).c_str(), r.recordBytes, r.indexBytes);
    

    std::printf("\nWhole frame of the moving target, one thread (median): the module's newTime, build and %zu random\n"
                "points, against Embree's scene build and the same points\n", frameQueries);
    std::printf("%-16s %9s | %9s %9s %9s %11s %11s\n", "target", "polygons", "module ms", "Embree ms", "x Embree",
                "!= Embree", "!= linear");
    for (const FrameRow &r : frames)
        std::printf("%-16s %9d | %9.2f %9.2f %9s %11ld %11ld\n", r.target.c_str(), r.polygons, r.wholeFrame * 1e3,
                    r.embreeFrame * 1e3, ratioText(r.embreeFrame, r.wholeFrame).c_str(), r.frameDiffer,
                    r.frameScanDiffer);
    printGoals(throughput, frames, soft);
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick")
            options.quick = true;
        else if (arg == "--cpu-time")
            threadCpuTime = true;
        else if (arg == "--build-only")
            options.buildOnly = true;
        else if (arg == "--no-peers")
            options.peers = false;
        else if (arg == "--rules-only")
            options.rulesOnly = true;
        else if (arg.rfind("--only=", 0) == 0)
            options.only = arg.substr(7);
        else if (arg.rfind("--points=", 0) == 0)
            options.points = static_cast<std::size_t>(std::atol(arg.c_str() + 9));
        else if (arg.rfind("--seconds=", 0) == 0)
            options.seconds = std::atof(arg.c_str() + 10);
        else {
            std::fprintf(stderr, "usage: %s [--quick] [--only=NAME] [--no-peers] [--build-only] [--rules-only] [--points=N] [--seconds=S] [--cpu-time]\n",
                         argv[0]);
            return 2;
        }
    }

    standin::LoadedModule module;
    {
        // The host is needed only while the module starts up.
        standin::StandInHost host;
        if (!module.open(standin::defaultModulePath())) {
            std::fprintf(stderr, "%s\n", module.error().c_str());
            return 1;
        }
    }

    std::printf("cores: %u; load average at start: %s\n", std::thread::hardware_concurrency(), loadAverage().c_str());
    std::fflush(stdout);
    std::vector<ThroughputRow> throughput;
    std::vector<FrameRow> frames;
    std::vector<SoftEdgeRow> soft;
    bool ok = true;
    for (const Target &target : targets()) {
        if ((options.quick && target.large) || options.rulesOnly)
            continue;
        if (!options.only.empty() && target.name.find(options.only) == std::string::npos)
            continue;
        ok = runTarget(target, options, module, throughput, frames, soft) && ok;
    }
    if (!options.rulesOnly)
        printTables(throughput, frames, soft);
    if (!options.buildOnly) {
        std::vector<bench::RuleTarget> ruleTargets;
        for (const Target &target : targets())
            ruleTargets.push_back({target.name, target.large, target.fill});
        ok = bench::benchFillRules(module, {options.quick, options.only, options.seconds, std::size_t{1} << 16},
                                   ruleTargets) &&
             ok;
    }
    std::printf("\nload average at end: %s\n", loadAverage().c_str());
    return ok ? 0 : 1;
}
