// Import: n-gons stay whole, one object per node with polygons, placement composed up the
// hierarchy and animated, the built-in example, LWOB objects, clean errors for bad files, and
// LightWave scenes laid out as users keep them: content directory, missing objects, frame range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <assimp/scene.h>

#include "tests/tools/tool_support.h"
#include "tools/ostrevin-render/cli.h"
#include "tools/ostrevin-render/errors.h"
#include "tools/ostrevin-render/lwob_reader.h"
#include "tools/ostrevin-render/node_animation.h"
#include "tools/ostrevin-render/scene_import.h"

using namespace render;
using tooltest::TempDir;
using tooltest::writeFile;

namespace {

const double pi = std::acos(-1.0);

std::string importError(const std::string &path)
{
    try {
        importScene(path);
    } catch (const RenderError &e) {
        return e.what();
    }
    return "";
}

std::vector<std::size_t> polygonSizes(const ImportedObject &o)
{
    std::vector<std::size_t> sizes;
    for (const auto &p : o.polygons)
        sizes.push_back(p.size());
    return sizes;
}

// A pentagram prism with its 10-gon caps written whole.
const char *starPrismObj = R"(o StarPrism
v 0 1 0
v 0.25 0.34 0
v 0.95 0.31 0
v 0.4 -0.13 0
v 0.59 -0.81 0
v 0 -0.42 0
v -0.59 -0.81 0
v -0.4 -0.13 0
v -0.95 0.31 0
v -0.25 0.34 0
v 0 1 1
v 0.25 0.34 1
v 0.95 0.31 1
v 0.4 -0.13 1
v 0.59 -0.81 1
v 0 -0.42 1
v -0.59 -0.81 1
v -0.4 -0.13 1
v -0.95 0.31 1
v -0.25 0.34 1
f 10 9 8 7 6 5 4 3 2 1
f 11 12 13 14 15 16 17 18 19 20
f 1 2 12 11
f 2 3 13 12
f 3 4 14 13
f 4 5 15 14
f 5 6 16 15
f 6 7 17 16
f 7 8 18 17
f 8 9 19 18
f 9 10 20 19
f 10 1 11 20
)";

aiMatrix4x4 translation(float x, float y, float z)
{
    aiMatrix4x4 m;
    return aiMatrix4x4::Translation(aiVector3D(x, y, z), m);
}

} // namespace

TEST(SceneImport, ObjNgonCapsStayWhole)
{
    TempDir dir;
    writeFile(dir / "star.obj", starPrismObj);
    const ImportedScene s = importScene(dir / "star.obj");
    ASSERT_EQ(s.objects.size(), 1u);
    const std::vector<std::size_t> sizes = polygonSizes(s.objects[0]);
    ASSERT_EQ(sizes.size(), 12u);
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 10u), 2);
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 4u), 10);
    EXPECT_FALSE(s.animated);
    // Still objects sit where the file puts them.
    const Box b = s.objects[0].worldBounds(3.0);
    EXPECT_FLOAT_EQ(static_cast<float>(b.max[1]), 1.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(b.min[2]), 0.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(b.max[2]), 1.0f);
}

TEST(SceneImport, PlyPolygonsStayWholeAndLinesAndPointsAreDropped)
{
    TempDir dir;
    writeFile(dir / "quad.ply", "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\n"
                                "property float z\nelement face 2\nproperty list uchar int vertex_indices\n"
                                "end_header\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 1.5 0\n5 0 1 2 4 3\n2 0 1\n");
    const ImportedScene s = importScene(dir / "quad.ply");
    ASSERT_EQ(s.objects.size(), 1u);
    EXPECT_EQ(polygonSizes(s.objects[0]), std::vector<std::size_t>{5});
}

TEST(SceneImport, OneObjectPerNodeWithPolygonsNamedAfterItWithDuplicatesSetApart)
{
    // Five nodes under the root: two called Box, one "(none)", one unnamed, and one whose mesh
    // holds only a line.
    aiScene scene;
    scene.mRootNode = new aiNode("Root");
    const char *names[] = {"Box", "Box", "(none)", "", "Wire"};
    aiNode *children[5];
    scene.mNumMeshes = 5;
    scene.mMeshes = new aiMesh *[5];
    for (unsigned i = 0; i < 5; ++i) {
        children[i] = new aiNode(names[i]);
        children[i]->mNumMeshes = 1;
        children[i]->mMeshes = new unsigned[1]{i};
        auto *mesh = scene.mMeshes[i] = new aiMesh;
        mesh->mNumVertices = 3;
        mesh->mVertices = new aiVector3D[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        mesh->mNumFaces = 1;
        mesh->mFaces = new aiFace[1];
        mesh->mFaces[0].mNumIndices = i == 4 ? 2 : 3;
        mesh->mFaces[0].mIndices = new unsigned[3]{0, 1, 2};
    }
    scene.mRootNode->addChildren(5, children);

    const ImportedScene s = convertScene(scene, "memory");
    ASSERT_EQ(s.objects.size(), 4u);
    EXPECT_EQ(s.objects[0].name, "Box");
    EXPECT_EQ(s.objects[1].name, "Box (2)");
    // The popup's own first entry must stay unambiguous.
    EXPECT_EQ(s.objects[2].name, "(none) (2)");
    EXPECT_EQ(s.objects[3].name, "object 4");
    EXPECT_EQ(s.objectNames(), "Box, Box (2), (none) (2), object 4");
    EXPECT_EQ(s.find("Box (2)"), &s.objects[1]);
    EXPECT_EQ(s.find("Wire"), nullptr);
    EXPECT_FALSE(s.animated);
}

TEST(SceneImport, ObjObjectsBecomeObjectsInFileOrder)
{
    TempDir dir;
    writeFile(dir / "two.obj", "o Front\nv 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n"
                               "o Back\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\nf 4 5 6 7\n");
    const ImportedScene s = importScene(dir / "two.obj");
    EXPECT_EQ(s.objectNames(), "Front, Back");
    EXPECT_EQ(polygonSizes(s.objects[1]), std::vector<std::size_t>{4});
}

TEST(SceneImport, BuiltInExampleIsTwoConcavePrismsAndTheStarMoves)
{
    const ImportedScene s = importExample();
    ASSERT_EQ(s.objects.size(), 3u);
    const ImportedObject &star = s.objects[0];
    EXPECT_EQ(star.name, "Star");
    EXPECT_EQ(s.objects[1].name, "Ell");
    EXPECT_EQ(s.objects[2].name, "Wall");
    ASSERT_TRUE(s.camera);
    EXPECT_EQ(s.camera->width, 640);
    EXPECT_EQ(s.camera->height, 360);
    const std::vector<std::size_t> sizes = polygonSizes(star);
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 10u), 2);
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 4u), 10);
    const std::vector<std::size_t> ell = polygonSizes(s.objects[1]);
    EXPECT_EQ(std::count(ell.begin(), ell.end(), 6u), 2);

    EXPECT_TRUE(s.animated);
    EXPECT_DOUBLE_EQ(s.fps, 30.0);
    EXPECT_EQ(s.firstFrame, 0);
    EXPECT_EQ(s.lastFrame, 5);
    // The star slides from x -0.3 to 0.3 and turns a fifth of a turn, which maps it onto itself:
    // its box is that of frame 0, moved.
    const Box b0 = star.worldBounds(0.0), b5 = star.worldBounds(5 / 30.0);
    EXPECT_NEAR(b0.centre()[0], -0.3, 1e-5);
    EXPECT_NEAR(b5.centre()[0], 0.3, 1e-4);
    EXPECT_NEAR(b0.max[1] - b0.min[1], b5.max[1] - b5.min[1], 1e-4);
    // Halfway it has turned and tipped: its box along Z has grown from the prism's thickness.
    const Box b2 = star.worldBounds(2.5 / 30.0);
    EXPECT_NEAR(b0.max[2] - b0.min[2], 0.7, 1e-5);
    EXPECT_GT(b2.max[2] - b2.min[2], 0.8);
    // The L stays put.
    EXPECT_NEAR(s.objects[1].worldBounds(0.0).min[0], 1.6, 1e-5);
    EXPECT_NEAR(s.objects[1].worldBounds(5 / 30.0).min[0], 1.6, 1e-5);
}

TEST(SceneImport, WorldPointsAreRoundedToFloatsLikeTheHostsPositions)
{
    ImportedObject o = tooltest::cube();
    o.motion = [](double t) { return standin::Transform::translation(0.1 * t, 0, 0); };
    const std::vector<Vec3> w = o.worldPoints(1.0);
    for (const Vec3 &p : w)
        EXPECT_EQ(p[0], static_cast<double>(static_cast<float>(p[0])));
    EXPECT_EQ(o.worldBounds(1.0).max[0], static_cast<double>(static_cast<float>(1.0 + 0.1)));
}

TEST(SceneImport, ConvertsAHierarchyWithAnimatedParent)
{
    // Root > Arm (animated, no mesh) > Hand (mesh, offset 2 along X in its parent).
    aiScene scene;
    scene.mRootNode = new aiNode("Root");
    auto *arm = new aiNode("Arm");
    auto *hand = new aiNode("Hand");
    hand->mTransformation = translation(2, 0, 0);
    scene.mRootNode->addChildren(1, &arm);
    arm->addChildren(1, &hand);
    hand->mNumMeshes = 1;
    hand->mMeshes = new unsigned[1]{0};

    auto *mesh = new aiMesh;
    mesh->mNumVertices = 4;
    mesh->mVertices = new aiVector3D[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    mesh->mNumFaces = 2;
    mesh->mFaces = new aiFace[2];
    mesh->mFaces[0].mNumIndices = 4;
    mesh->mFaces[0].mIndices = new unsigned[4]{0, 1, 2, 3};
    mesh->mFaces[1].mNumIndices = 3;
    mesh->mFaces[1].mIndices = new unsigned[3]{0, 1, 7};   // out of range: dropped
    scene.mNumMeshes = 1;
    scene.mMeshes = new aiMesh *[1]{mesh};

    auto *anim = new aiAnimation;
    anim->mTicksPerSecond = 24;
    anim->mNumChannels = 1;
    anim->mChannels = new aiNodeAnim *[1];
    auto *ch = anim->mChannels[0] = new aiNodeAnim;
    ch->mNodeName = aiString("Arm");
    ch->mNumPositionKeys = 2;
    ch->mPositionKeys = new aiVectorKey[2]{{0.0, {0, 0, 0}}, {48.0, {0, 4, 0}}};
    ch->mNumRotationKeys = 2;
    // A quarter turn about Z over the same two seconds.
    ch->mRotationKeys = new aiQuatKey[2]{{0.0, aiQuaternion(1, 0, 0, 0)},
                                         {48.0, aiQuaternion(aiVector3D(0, 0, 1), static_cast<ai_real>(pi / 2))}};
    scene.mNumAnimations = 1;
    scene.mAnimations = new aiAnimation *[1]{anim};

    const ImportedScene s = convertScene(scene, "memory");
    ASSERT_EQ(s.objects.size(), 1u);
    const ImportedObject &o = s.objects[0];
    EXPECT_EQ(o.name, "Hand");
    EXPECT_EQ(polygonSizes(o), std::vector<std::size_t>{4});
    EXPECT_TRUE(s.animated);
    EXPECT_DOUBLE_EQ(s.fps, 24.0);
    EXPECT_EQ(s.firstFrame, 0);
    EXPECT_EQ(s.lastFrame, 48);

    // At the start the hand's first point is at its offset; after two seconds the arm has risen
    // by 4 and turned a quarter, which swings the offset onto Y.
    const std::vector<Vec3> start = o.worldPoints(0.0), end = o.worldPoints(2.0), beyond = o.worldPoints(9.0);
    EXPECT_NEAR(start[0][0], 2.0, 1e-6);
    EXPECT_NEAR(start[0][1], 0.0, 1e-6);
    EXPECT_NEAR(end[0][0], 0.0, 1e-5);
    EXPECT_NEAR(end[0][1], 6.0, 1e-5);
    EXPECT_NEAR(beyond[0][1], 6.0, 1e-5) << "the last key holds";
    // Point (1, 0, 0) of the hand at one second: arm at height 2, turned an eighth.
    const double c = std::cos(pi / 4), sn = std::sin(pi / 4);
    const std::vector<Vec3> mid = o.worldPoints(1.0);
    EXPECT_NEAR(mid[1][0], 3 * c, 1e-5);
    EXPECT_NEAR(mid[1][1], 2 + 3 * sn, 1e-5);
}

TEST(NodeAnimation, InterpolatesBetweenKeysAndHoldsOutside)
{
    const std::vector<aiVectorKey> keys{{0.0, {0, 0, 0}}, {10.0, {10, -10, 2}}, {20.0, {10, 0, 2}}};
    EXPECT_FLOAT_EQ(interpolate(keys, 5.0).x, 5.0f);
    EXPECT_FLOAT_EQ(interpolate(keys, 5.0).y, -5.0f);
    EXPECT_FLOAT_EQ(interpolate(keys, 15.0).y, -5.0f);
    EXPECT_FLOAT_EQ(interpolate(keys, -3.0).x, 0.0f);
    EXPECT_FLOAT_EQ(interpolate(keys, 25.0).x, 10.0f);
    EXPECT_FLOAT_EQ(interpolate(keys, 10.0).y, -10.0f);
    EXPECT_FLOAT_EQ(interpolate(std::vector<aiVectorKey>{{3.0, {7, 7, 7}}}, 0.0).z, 7.0f);

    const std::vector<aiQuatKey> turns{{0.0, aiQuaternion(1, 0, 0, 0)},
                                       {1.0, aiQuaternion(aiVector3D(0, 1, 0), static_cast<ai_real>(pi / 2))}};
    const aiQuaternion half = interpolate(turns, 0.5);
    const aiQuaternion expected(aiVector3D(0, 1, 0), static_cast<ai_real>(pi / 4));
    EXPECT_NEAR(half.w, expected.w, 1e-6);
    EXPECT_NEAR(half.y, expected.y, 1e-6);
}

TEST(NodeAnimation, MissingChannelPartsComeFromTheRestPlacement)
{
    NodeTree tree;
    aiMatrix4x4 rest = translation(1, 2, 3);
    aiMatrix4x4 scale;
    rest = rest * aiMatrix4x4::Scaling(aiVector3D(2, 2, 2), scale);
    const int node = tree.add("n", -1, rest);
    NodeChannel only;
    only.rotation = {{0.0, aiQuaternion(aiVector3D(0, 0, 1), static_cast<ai_real>(pi))}};
    tree.animate(node, only);
    tree.ticksPerSecond = 10;
    // Rotated half a turn about Z, still scaled by 2 and moved by (1, 2, 3).
    const standin::Point3 p = tree.placement(node, 0.0).apply({1, 0, 0});
    EXPECT_NEAR(p[0], -1.0, 1e-5);
    EXPECT_NEAR(p[1], 2.0, 1e-5);
    EXPECT_NEAR(p[2], 3.0, 1e-5);
    EXPECT_TRUE(tree.animated());
    EXPECT_DOUBLE_EQ(tree.firstKey(), 0.0);
}

TEST(SceneImport, BadFilesGiveOneClearError)
{
    TempDir dir;
    EXPECT_EQ(importError(dir / "missing.lwo"), "cannot read " + dir / "missing.lwo" + ": no such file");
    EXPECT_EQ(importError(dir.str()), "cannot read " + dir.str() + ": it is a directory");

    writeFile(dir / "noise.qqq", "\x01\x02 not a model \xff");
    EXPECT_EQ(importError(dir / "noise.qqq").rfind("cannot import " + dir / "noise.qqq" + ": ", 0), 0u);

    writeFile(dir / "broken.lwo", std::string("FORM\0\0\0\x10LWO2PNTS\0\0\0\x40", 20));
    EXPECT_EQ(importError(dir / "broken.lwo"), dir / "broken.lwo" + ": chunk PNTS runs past the end of the file");
    // A corner past the points, and a point that is not a number, name the file and the value.
    const std::string points(36, '\0'), face("FACE\0\x03\0\0\0\x01\0\x05", 12);
    writeFile(dir / "corner.lwo", std::string("FORM\0\0\0\x44LWO2PNTS\0\0\0\x24", 20) + points +
                                      std::string("POLS\0\0\0\x0c", 8) + face);
    EXPECT_EQ(importError(dir / "corner.lwo"), dir / "corner.lwo" + ": polygon 0 uses point 5, past the object's 3 points");
    writeFile(dir / "nan.lwo", std::string("FORM\0\0\0\x44LWO2PNTS\0\0\0\x24\x7f\xc0\0\0", 24) + points.substr(4) +
                                   std::string("POLS\0\0\0\x0c", 8) + face);
    EXPECT_EQ(importError(dir / "nan.lwo"), dir / "nan.lwo" + ": point 0 has a coordinate that is not a finite number (nan)");

    // Only lines and points: nothing that bounds a volume.
    writeFile(dir / "wire.obj", "o Wire\nv 0 0 0\nv 1 0 0\nv 1 1 0\nl 1 2 3\np 1\n");
    const std::string wire = importError(dir / "wire.obj");
    EXPECT_TRUE(wire == dir / "wire.obj" + " has no polygons" || wire.rfind("cannot import ", 0) == 0) << wire;

    writeFile(dir / "empty.obj", "");
    EXPECT_NE(importError(dir / "empty.obj"), "");
}

namespace {

// An LWOB cube: PNTS, then POLS with one detail polygon under the first face.
std::string lwobCube()
{
    std::string body;
    auto u2 = [&](unsigned v) {
        body += static_cast<char>(v >> 8);
        body += static_cast<char>(v & 0xFF);
    };
    auto f4 = [&](float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        u2(bits >> 16);
        u2(bits & 0xFFFF);
    };
    auto chunk = [&](const char *id, const std::string &data) {
        std::string c(id, 4);
        const auto n = static_cast<std::uint32_t>(data.size());
        c += static_cast<char>(n >> 24);
        c += static_cast<char>(n >> 16 & 0xFF);
        c += static_cast<char>(n >> 8 & 0xFF);
        c += static_cast<char>(n & 0xFF);
        c += data;
        if (n % 2)
            c += '\0';
        return c;
    };
    body.clear();
    for (int i = 0; i < 8; ++i) {
        f4(i & 1 ? 1.0f : -1.0f);
        f4(i & 2 ? 1.0f : -1.0f);
        f4(i & 4 ? 2.0f : 0.5f);
    }
    const std::string pnts = body;
    body.clear();
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (int f = 0; f < 6; ++f) {
        u2(4);
        for (int v : faces[f])
            u2(static_cast<unsigned>(v));
        if (f == 0) {
            u2(0xFFFF);   // surface -1: one detail polygon follows
            u2(1);
            u2(3);
            u2(0);
            u2(1);
            u2(3);
            u2(1);
        } else {
            u2(1);
        }
    }
    const std::string pols = body;
    std::string form = "LWOB" + chunk("SRFS", std::string("Default\0", 8)) + chunk("PNTS", pnts) + chunk("POLS", pols);
    std::string file = "FORM";
    const auto n = static_cast<std::uint32_t>(form.size());
    file += static_cast<char>(n >> 24);
    file += static_cast<char>(n >> 16 & 0xFF);
    file += static_cast<char>(n >> 8 & 0xFF);
    file += static_cast<char>(n & 0xFF);
    return file + form;
}

} // namespace

TEST(LwobReader, ReadsPointsWithZMirroredAndEveryPolygonIncludingDetails)
{
    const ImportedScene s = readLwob(lwobCube(), "cube", "cube.lwo");
    ASSERT_EQ(s.objects.size(), 1u);
    const ImportedObject &o = s.objects[0];
    EXPECT_EQ(o.name, "cube");
    ASSERT_EQ(o.points.size(), 8u);
    EXPECT_FLOAT_EQ(o.points[0][2], -0.5f);
    EXPECT_FLOAT_EQ(o.points[7][2], -2.0f);
    EXPECT_EQ(polygonSizes(o), (std::vector<std::size_t>{4, 3, 4, 4, 4, 4, 4}));
    EXPECT_FALSE(s.animated);
}

TEST(LwobReader, ImportUsesItForLwobFiles)
{
    TempDir dir;
    writeFile(dir / "cube.lwo", lwobCube());
    const ImportedScene s = importScene(dir / "cube.lwo");
    ASSERT_EQ(s.objects.size(), 1u);
    EXPECT_EQ(s.objects[0].polygons.size(), 7u);
    EXPECT_EQ(s.source, dir / "cube.lwo");
}

TEST(LwobReader, TruncatedOrEmptyDataIsAnError)
{
    const std::string whole = lwobCube();
    EXPECT_THROW(readLwob(whole.substr(0, whole.size() - 7), "c", "c.lwo"), RenderError);
    EXPECT_THROW(readLwob(whole.substr(0, 40), "c", "c.lwo"), RenderError);
    EXPECT_THROW(readLwob(std::string("FORM\0\0\0\4LWOB", 12), "c", "c.lwo"), RenderError);
    EXPECT_THROW(readLwob(std::string("FORM\0\0\0\4LWO2", 12), "c", "c.lwo"), RenderError);
    try {
        readLwob(whole.substr(0, 40), "c", "c.lwo");
    } catch (const RenderError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("c.lwo", 0), 0u) << e.what();
    }
}

// Damage the host would hand the texture as it is: a coordinate that is no number, and (LWOB) a
// polygon that names a point the object lacks. Each is one error naming the file and the first.
TEST(LwobReader, DamagedPointsAndIndicesNameTheFileAndTheFirstBadOne)
{
    const std::size_t points = 36, polygons = 140;   // the cube's PNTS and POLS data
    auto patched = [](std::size_t at, std::string bytes) {
        std::string cube = lwobCube();
        cube.replace(at, bytes.size(), bytes);
        return cube;
    };
    const struct {
        std::string bytes;
        std::string message;
    } cases[] = {
        {patched(points + 12 * 2 + 4, std::string("\x7F\xC0\0\0", 4)),
         "c.lwo: point 2 has a coordinate that is not a finite number (nan)"},
        {patched(points + 12 * 5 + 8, std::string("\xFF\x80\0\0", 4)),
         "c.lwo: point 5 has a coordinate that is not a finite number (-inf)"},
        {patched(polygons + 2 * 4, std::string("\0\x09", 2)),
         "c.lwo: polygon 0 uses point 9, past the object's 8 points"},
    };
    for (const auto &c : cases) {
        try {
            readLwob(c.bytes, "c", "c.lwo");
            ADD_FAILURE() << c.message;
        } catch (const RenderError &e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    TempDir dir;
    writeFile(dir / "inf.obj", "o Bad\nv 0 0 0\nv 1 0 0\nv 0 inf 1\nf 1 2 3\n");
    EXPECT_EQ(importError(dir / "inf.obj"),
              dir / "inf.obj" + ", object \"Bad\": point 2 has a coordinate that is not a finite number (inf)");
}

namespace {

const std::string exampleDir = OSTREVIN_SOURCE_DIR "/examples/";

// The bundled example laid out as LightWave users keep scenes: Scenes/ and Objects/ under one
// content directory, the scene naming its objects with Windows paths.
void writeWindowsLayout(const TempDir &dir, const std::string &starLine, const std::string &ellLine, bool withEll = true)
{
    std::filesystem::create_directories(dir / "w/Scenes");
    std::filesystem::create_directories(dir / "w/Objects");
    writeFile(dir / "w/Objects/star.lwo", tooltest::readFile(exampleDir + "star.lwo"));
    writeFile(dir / "w/Objects/wall.lwo", tooltest::readFile(exampleDir + "wall.lwo"));
    if (withEll)
        writeFile(dir / "w/Objects/ell.lwo", tooltest::readFile(exampleDir + "ell.lwo"));
    std::string scene = tooltest::readFile(exampleDir + "ostrevin-demo.lws");
    auto replace = [&scene](const std::string &from, const std::string &to) {
        const std::size_t at = scene.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        scene.replace(at, from.size(), to);
    };
    replace("LoadObjectLayer 1 10000000 star.lwo", "LoadObjectLayer 1 10000000 " + starLine);
    replace("LoadObjectLayer 1 10000001 ell.lwo", "LoadObjectLayer 1 10000001 " + ellLine);
    replace("LoadObjectLayer 1 10000002 wall.lwo", "LoadObjectLayer 1 10000002 Objects\\wall.lwo");
    writeFile(dir / "w/Scenes/w.lws", scene);
}

using Outcome = tooltest::CommandOutcome;

} // namespace

TEST(LightWaveScenes, AWindowsStyleContentLayoutRendersWhatTheExampleRenders)
{
    TempDir dir;
    // A relative path, and an absolute one from another machine whose folders differ in case.
    writeWindowsLayout(dir, "Objects\\star.lwo", "C:\\Users\\me\\Content\\OBJECTS\\Ell.LWO");
    const ImportedScene scene = importScene(dir / "w/Scenes/w.lws");
    const ImportedScene example = importExample();
    ASSERT_EQ(scene.objectNames(), example.objectNames());
    EXPECT_EQ(scene.firstFrame, 0);
    EXPECT_EQ(scene.lastFrame, 5);

    render::Options o = tooltest::smallOptions(dir / "out", 16);
    o.depthSamples = 4;
    const render::RenderStats a = tooltest::render(o, scene), b = tooltest::render(o, example);
    ASSERT_EQ(a.frames.size(), 6u);
    ASSERT_EQ(b.frames.size(), 6u);
    for (std::size_t f = 0; f < a.frames.size(); ++f) {
        EXPECT_EQ(a.frames[f].slice.values, b.frames[f].slice.values) << "frame " << f;
        EXPECT_EQ(a.frames[f].volume.values, b.frames[f].volume.values) << "frame " << f;
    }

    // --content points elsewhere: the same scene moved out of the content directory.
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::copy_file(dir / "w/Scenes/w.lws", dir / "elsewhere/w.lws");
    EXPECT_THROW(importScene(dir / "elsewhere/w.lws"), RenderError);
    ImportSettings content;
    content.contentDirectory = dir / "w";
    EXPECT_EQ(importScene(dir / "elsewhere/w.lws", content).objects.size(), 3u);
    const Outcome listed = tooltest::runInProcess({dir / "elsewhere/w.lws", "--content", dir / "w", "--list"});
    EXPECT_EQ(listed.status, 0) << listed.err;
}

TEST(LightWaveScenes, AMissingOrUnreadableObjectIsOneErrorNamingItAndListedAsMissing)
{
    TempDir dir;
    writeWindowsLayout(dir, "Objects\\star.lwo", "Objects\\ell.lwo", false);
    const std::string scene = dir / "w/Scenes/w.lws";
    const std::string message = scene + ": object Objects\\ell.lwo not found (looked for " + dir / "w/Objects/ell.lwo" + ")";

    const Outcome render = tooltest::runInProcess({scene, "--resolution", "8", "--out", dir / "out"});
    EXPECT_EQ(render.status, render::exitFailure);
    EXPECT_EQ(render.err, "ostrevin-render: " + message + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));

    const Outcome list = tooltest::runInProcess({scene, "--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("Star"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Objects\\ell.lwo"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("MISSING: not found (looked for " + dir / "w/Objects/ell.lwo" + ")"), std::string::npos)
        << list.out;

    // One the system will not open is named with its reason (as root every file opens).
    writeFile(dir / "w/Objects/ell.lwo", "");
    std::filesystem::permissions(dir / "w/Objects/ell.lwo", std::filesystem::perms::none);
    if (!std::ifstream(dir / "w/Objects/ell.lwo")) {
        EXPECT_EQ(importError(scene), scene + ": object Objects\\ell.lwo unreadable: cannot read " +
                                          dir / "w/Objects/ell.lwo" + ": Permission denied");
    }
    std::filesystem::remove(dir / "w/Objects/ell.lwo");

    // A file that is there but is no object is as much an error.
    writeFile(dir / "w/Objects/ell.lwo", "not an object");
    EXPECT_EQ(importError(scene).rfind(scene + ": object Objects\\ell.lwo unreadable: cannot import ", 0), 0u)
        << importError(scene);

    // A scene copied away from its objects never renders a stand-in.
    const std::filesystem::path models = std::filesystem::path(OSTREVIN_ASSIMP_MODELS) / "LWS/move_x.lws";
    if (std::filesystem::exists(models)) {
        std::filesystem::copy_file(models, dir / "move_x.lws");
        EXPECT_EQ(importError(dir / "move_x.lws"), dir / "move_x.lws" + ": object simple_cube.lwo not found (looked for " +
                                                        dir / "simple_cube.lwo" + ")");
    }
}

TEST(LightWaveScenes, FrameRangeStepAndRateComeFromTheScene)
{
    TempDir dir;
    writeWindowsLayout(dir, "Objects\\star.lwo", "Objects\\ell.lwo");
    std::string text = tooltest::readFile(dir / "w/Scenes/w.lws");
    const std::string range = "FirstFrame 0\nLastFrame 5\nFrameStep 1\nFramesPerSecond 30";
    text.replace(text.find(range), range.size(), "FirstFrame 1\nLastFrame 6\nFrameStep 2\nFramesPerSecond 25");
    writeFile(dir / "w/Scenes/w.lws", text);
    const ImportedScene stepped = importScene(dir / "w/Scenes/w.lws");
    EXPECT_EQ(stepped.fps, 25.0);
    render::Options o = tooltest::smallOptions(dir / "out", 8);
    o.depthSamples = 1;
    const render::RenderStats stats = tooltest::render(o, stepped);
    std::vector<int> frames;
    for (const auto &f : stats.frames)
        frames.push_back(f.frame);
    EXPECT_EQ(frames, (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(stats.frames[1].seconds, 3 / 25.0);

    const std::filesystem::path models = std::filesystem::path(OSTREVIN_ASSIMP_MODELS) / "LWS";
    if (!std::filesystem::exists(models / "move_x.lws"))
        GTEST_SKIP() << "assimp-testmodels is not installed under " << OSTREVIN_ASSIMP_MODELS;
    const struct {
        const char *scene;
        int first, last;
    } ranges[] = {{"move_x", 1, 60}, {"move_y_pre_ofrep_post_osc", -240, 240}, {"move_x_oldformat_56", 1, 60}};
    for (const auto &r : ranges) {
        const ImportedScene s = importScene((models / (std::string(r.scene) + ".lws")).string());
        EXPECT_TRUE(s.animated) << r.scene;
        EXPECT_EQ(s.firstFrame, r.first) << r.scene;
        EXPECT_EQ(s.lastFrame, r.last) << r.scene;
        EXPECT_EQ(s.fps, 30.0) << r.scene;
    }
    // The old format plays the same keys as the current one, written to seven digits.
    const ImportedScene current = importScene((models / "move_x.lws").string());
    const ImportedScene old = importScene((models / "move_x_oldformat_56.lws").string());
    for (int frame : {0, 10, 20, 30, 45})
        EXPECT_NEAR(old.objects[0].motion(frame / 30.0).m[0][3], current.objects[0].motion(frame / 30.0).m[0][3], 1e-5)
            << frame;
    EXPECT_NEAR(old.objects[0].motion(20 / 30.0).m[0][3], 2.069113, 1e-6);
}

TEST(LightWaveObjects, AnUnnamedLayerTakesItsFilesName)
{
    const std::filesystem::path box = std::filesystem::path(OSTREVIN_ASSIMP_MODELS) / "LWO/LWO2/boxuv.lwo";
    if (!std::filesystem::exists(box))
        GTEST_SKIP() << "assimp-testmodels is not installed under " << OSTREVIN_ASSIMP_MODELS;
    const ImportedScene scene = importScene(box.string());
    ASSERT_EQ(scene.objects.size(), 1u);
    EXPECT_EQ(scene.objects[0].name, "boxuv");
}
