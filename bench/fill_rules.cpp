// Each fill rule's points per second beside Even-Odd's, on closed targets and on open ones (where
// Tolerant asks more rays), through the shipped module as the host drives it (the best of several
// passes); the frame's build with a soft edge under Non-Zero finding the filled boundary beside
// measuring every polygon; and a target of ten children beside the same polygons as one object.
#include "bench/fill_rules.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

#include "host/shapes.h"
#include "host/standin_host.h"
#include "host/texture_layer.h"
#include "framework/host_services.h"
#include "texture/mesh/mesh_cache.h"
#include "texture/target/soft_edge.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;
using Point = std::array<double, 3>;
using standin::SceneObject;

constexpr unsigned int fillRuleValue = 0x8003;
constexpr unsigned int childrenValue = 0x8004;
const char *const ruleNames[] = {"Even-Odd", "Non-Zero", "Tolerant"};

void cutHole(SceneObject &o, const std::function<bool(const standin::Point3 &)> &cut)
{
    std::vector<std::vector<int>> kept;
    for (auto &polygon : o.polygons)
        if (!std::all_of(polygon.begin(), polygon.end(), [&](int k) { return cut(o.points[static_cast<size_t>(k)]); }))
            kept.push_back(polygon);
    o.polygons = kept;
}

// Open targets, where Tolerant votes: a box without its top, an icosphere with a round hole.
std::vector<RuleTarget> openTargets()
{
    return {
        {"open box 16", false,
         [](SceneObject &o, std::string &) {
             standin::appendBox(o, {-1, -1, -1}, {1, 1, 1}, 16);
             cutHole(o, [](const standin::Point3 &p) { return p[2] == 1.0f; });
             return true;
         }},
        {"icosphere 5, holed", false,
         [](SceneObject &o, std::string &) {
             standin::appendIcosphere(o, {0, 0, 0}, 1.0, 5);
             cutHole(o, [](const standin::Point3 &p) { return 0.28 * p[0] - 0.18 * p[1] + 0.92 * p[2] > 0.82; });
             return true;
         }},
    };
}

std::vector<Point> randomPoints(const SceneObject &o, std::size_t count)
{
    Point lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const auto &p : o.points)
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], static_cast<double>(p[static_cast<size_t>(c)]));
            hi[c] = std::max(hi[c], static_cast<double>(p[static_cast<size_t>(c)]));
        }
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Point> points(count);
    for (Point &p : points)
        for (int c = 0; c < 3; ++c)
            p[c] = lo[c] + (hi[c] - lo[c]) * (unit(random) * 1.1 - 0.05);
    return points;
}

// This thread's CPU time: the other jobs on a shared machine stay out of the figures.
double cpuNow()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// One pass over every point; points per second, and the count inside.
double pass(standin::TextureLayer &layer, const std::vector<Point> &points, long &inside)
{
    LWTextureAccess access{};
    access.axis = 2;
    inside = 0;
    const double t0 = cpuNow();
    for (const Point &p : points) {
        std::memcpy(access.wPos, p.data(), sizeof access.wPos);
        inside += layer.evaluate(access) != 0.0;
    }
    return static_cast<double>(points.size()) / (cpuNow() - t0);
}

// The best rate of each layer over passes taken in turn, for at least `seconds` in all: a
// disturbance then hits every layer alike rather than one of them.
void bestRates(std::vector<standin::TextureLayer *> layers, const std::vector<Point> &points, double seconds,
               double *rates, long *inside)
{
    const Clock::time_point start = Clock::now();
    for (int round = 0; round < 3 || std::chrono::duration<double>(Clock::now() - start).count() < seconds; ++round)
        for (size_t i = 0; i < layers.size(); ++i)
            rates[i] = std::max(rates[i], pass(*layers[i], points, inside[i]));
}

// A layer on `target`, its frame built, with the rule and children set through the panel.
bool setUp(standin::TextureLayer &layer, const char *target, int rule, bool children)
{
    if (!layer.create() || !layer.openPanel() || !layer.pickTarget(target) || layer.setValue(fillRuleValue, rule) != 1 ||
        layer.setValue(childrenValue, children ? 1 : 0) != 1)
        return false;
    layer.init(1);
    layer.newTime(0, 0.0);
    layer.evaluate(1e9, 1e9, 1e9, 2);
    return true;
}

// The frame's build under Non-Zero with a soft edge at 5% of the box diagonal, on a target that
// moves every frame, in this process through the module's own classes: the records, the crossing
// grid for axis Z and the soft edge, which measures either the boundary of what is filled
// (deciding each polygon by its windings) or every polygon, as before the boundary was found.
// Through the module the rules differ in more than this (the parity's rules lay solid cells out),
// so Even-Odd's frame would not tell what finding the boundary costs. The median of `frames`
// frames, in CPU seconds; the polygons the last frame left out, in `leftOut`.
// The median CPU time of a frame's Non-Zero build with a soft edge, measuring the boundary of what
// is filled or every polygon. Moving as a whole (the object's motion), or also `deforming`: then
// every frame bends the object's points a little, so no frame's shape is another's moved.
double nonZeroSoftEdgeBuild(standin::StandInHost &host, SceneObject &object, bool boundary, bool deforming,
                            int frames, int &leftOut)
{
    Point lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const auto &p : object.points)
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], static_cast<double>(p[static_cast<size_t>(c)]));
            hi[c] = std::max(hi[c], static_cast<double>(p[static_cast<size_t>(c)]));
        }
    double width = 0.0;
    for (int c = 0; c < 3; ++c)
        width += (hi[c] - lo[c]) * (hi[c] - lo[c]);
    width = 0.05 * std::sqrt(width);
    ostrevin::HostServices services(standin::StandInHost::globalFunc());
    ostrevin::MeshCache cache(services);
    ostrevin::SoftEdgeFrame softEdge;
    std::vector<double> times;
    const std::vector<standin::Point3> rest = object.points;
    const double bend = 2e-3 * width, wave = 3.0 / (hi[1] - lo[1] + 1e-30);
    for (int frame = 1; frame <= frames; ++frame) {
        host.scene().time = frame / 30.0;
        if (deforming)
            for (size_t i = 0; i < rest.size(); ++i)
                object.points[i][0] = static_cast<float>(rest[i][0] + bend * std::sin(0.7 * frame + wave * rest[i][1]));
        const double t0 = cpuNow();
        cache.build(object.id, ostrevin::nonZeroRule);
        cache.index.prepare(2);
        softEdge.prepare(cache, width, boundary ? ostrevin::nonZeroRule : ostrevin::evenOddRule, 2);
        times.push_back(cpuNow() - t0);
    }
    host.scene().time = 0.0;
    object.points = rest;
    leftOut = softEdge.leftOut();
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string millions(double r)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f M/s", r / 1e6);
    return text;
}

} // namespace

bool benchFillRules(const standin::LoadedModule &module, const FillRuleOptions &options,
                    const std::vector<RuleTarget> &closedTargets)
{
    bool ok = true;
    double worst[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    std::printf("\nFill rules, points per CPU second through the module (random points of the bounds +5%%, axis Z)\n");
    std::printf("%-22s %9s %12s %12s %7s %12s %7s %s\n", "target", "polygons", "Even-Odd", "Non-Zero", "x", "Tolerant",
                "x", "inside E/N/T");
    std::vector<RuleTarget> targets = closedTargets;
    const size_t closedCount = targets.size();
    for (const RuleTarget &t : openTargets())
        targets.push_back(t);
    for (size_t t = 0; t < targets.size(); ++t) {
        const RuleTarget &target = targets[t];
        const bool open = t >= closedCount;
        if ((options.quick && target.large) ||
            (!options.only.empty() && target.name.find(options.only) == std::string::npos))
            continue;
        standin::StandInHost host;
        SceneObject &object = host.scene().addObject(target.name);
        std::string error;
        if (!target.fill(object, error)) {
            std::fprintf(stderr, "%s: %s\n", target.name.c_str(), error.c_str());
            ok = false;
            continue;
        }
        const std::vector<Point> points = randomPoints(object, options.points);
        double rates[3] = {0, 0, 0};
        long inside[3] = {0, 0, 0};
        standin::TextureLayer evenOdd(host, module), nonZero(host, module), tolerant(host, module);
        if (!setUp(evenOdd, target.name.c_str(), 0, false) || !setUp(nonZero, target.name.c_str(), 1, false) ||
            !setUp(tolerant, target.name.c_str(), 2, false)) {
            std::fprintf(stderr, "%s: cannot set up the layers\n", target.name.c_str());
            ok = false;
            continue;
        }
        bestRates({&evenOdd, &nonZero, &tolerant}, points, 3 * options.seconds, rates, inside);
        std::printf("%-22s %9zu %12s %12s %6.2fx %12s %6.2fx %ld/%ld/%ld%s\n", target.name.c_str(), object.polygons.size(),
                    millions(rates[0]).c_str(), millions(rates[1]).c_str(), rates[1] / rates[0],
                    millions(rates[2]).c_str(), rates[2] / rates[0], inside[0], inside[1], inside[2],
                    open ? "  (open)" : "");
        for (int rule = 1; rule < 3; ++rule)
            if (!open || rule == 1)
                worst[rule] = std::min(worst[rule], rates[rule] / rates[0]);
    }

    // The frame's build with a soft edge under Non-Zero: finding the boundary of what is filled,
    // each polygon's winding just off it (texture/target/filled_boundary.h), against measuring
    // every polygon; on a target moving as a whole, and on one that also bends every frame.
    double worstBuild = 0.0, worstDeforming = 0.0;
    std::printf("\nBuild under Non-Zero with a soft edge at 5%% of the box diagonal, moving target, axis Z: CPU ms "
                "per frame (records, crossing grid, soft edge), median of 9\n");
    std::printf("%-22s %9s %14s %12s %7s %16s %12s %7s %10s\n", "target", "polygons", "every polygon", "boundary", "x",
                "bending: every", "boundary", "x", "left out");
    for (const RuleTarget &target : targets) {
        if ((options.quick && target.large) ||
            (!options.only.empty() && target.name.find(options.only) == std::string::npos))
            continue;
        standin::StandInHost host;
        SceneObject &object = host.scene().addObject(target.name);
        std::string error;
        if (!target.fill(object, error))
            continue;
        object.motion = [](double time) { return standin::Transform::translation(0.0137 * time, -0.0071 * time, 0.0029 * time); };
        int none = 0, leftOut = 0, bentLeftOut = 0;
        const double every = nonZeroSoftEdgeBuild(host, object, false, false, 9, none);
        const double boundary = nonZeroSoftEdgeBuild(host, object, true, false, 9, leftOut);
        const double bentEvery = nonZeroSoftEdgeBuild(host, object, false, true, 9, none);
        const double bentBoundary = nonZeroSoftEdgeBuild(host, object, true, true, 9, bentLeftOut);
        std::printf("%-22s %9zu %14.3f %12.3f %6.2fx %16.3f %12.3f %6.2fx %10d\n", target.name.c_str(),
                    object.polygons.size(), 1e3 * every, 1e3 * boundary, boundary / every, 1e3 * bentEvery,
                    1e3 * bentBoundary, bentBoundary / bentEvery, leftOut);
        worstBuild = std::max(worstBuild, boundary / every);
        worstDeforming = std::max(worstDeforming, bentBoundary / bentEvery);
    }

    // Ten tori under an empty parent, against one object holding the same polygons.
    std::printf("\nInclude Children: ten tori of 64x48 quads under an empty parent, against one object of the same polygons\n");
    standin::StandInHost host;
    SceneObject &rig = host.scene().addObject("Rig");
    SceneObject &all = host.scene().addObject("All");
    for (int i = 0; i < 10; ++i) {
        SceneObject &child = host.scene().addObject("Torus " + std::to_string(i));
        child.parent = rig.id;
        const standin::Point3 centre{static_cast<float>(3.0 * (i % 5)), static_cast<float>(3.0 * (i / 5)), 0.0f};
        standin::appendTorus(child, centre, 1.0, 0.35, 64, 48);
        standin::appendTorus(all, centre, 1.0, 0.35, 64, 48);
    }
    const std::vector<Point> points = randomPoints(all, options.points);
    double rates[2] = {0, 0};
    long inside[2] = {0, 0};
    standin::TextureLayer one(host, module), ten(host, module);
    ok = setUp(one, "All", 0, false) && setUp(ten, "Rig", 0, true) && ok;
    bestRates({&one, &ten}, points, 2 * options.seconds, rates, inside);
    const double together = rates[0], apart = rates[1];
    const long insideTogether = inside[0], insideApart = inside[1];
    std::printf("%-22s %12s (inside %ld)\n%-22s %12s (inside %ld) %6.2fx\n", "one object", millions(together).c_str(),
                insideTogether, "ten children", millions(apart).c_str(), insideApart, apart / together);

    std::printf("\nFill-rule goals, at the worst target\n");
    std::printf("  Non-Zero >= 0.90x Even-Odd (every target)      %6.2fx  %s\n", worst[1], worst[1] >= 0.9 ? "met" : "NOT MET");
    std::printf("  Tolerant >= 0.33x Even-Odd (closed targets)     %6.2fx  %s\n", worst[2], worst[2] >= 0.33 ? "met" : "NOT MET");
    std::printf("  ten children >= 0.50x one object               %6.2fx  %s\n", apart / together,
                apart / together >= 0.5 ? "met" : "NOT MET");
    std::printf("  Non-Zero soft-edge build <= 1.50x every polygon's %5.2fx  %s\n", worstBuild,
                worstBuild <= 1.5 ? "met" : "NOT MET");
    std::printf("  same, the target bending every frame              %6.2fx  %s\n", worstDeforming,
                worstDeforming <= 1.5 ? "met" : "NOT MET");
    return ok;
}

} // namespace bench
