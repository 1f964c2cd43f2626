#include "tools/ostrevin-render/lws_scene.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <string_view>

#include "tools/ostrevin-render/errors.h"

namespace render {

namespace {

constexpr double pi = 3.14159265358979323846;

struct Line {
    int number;
    std::string_view text;   // without surrounding blanks
};

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::vector<Line> splitLines(const std::string &text)
{
    std::vector<Line> lines;
    std::string_view rest(text);
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = rest.find('\n');
        lines.push_back({number, trim(rest.substr(0, end))});
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return lines;
}

std::vector<std::string_view> tokens(std::string_view s)
{
    std::vector<std::string_view> out;
    while (true) {
        s = trim(s);
        if (s.empty())
            return out;
        std::size_t n = 0;
        while (n < s.size() && !blank(s[n]))
            ++n;
        out.push_back(s.substr(0, n));
        s.remove_prefix(n);
    }
}

// The text after the first `count` tokens, inner blanks kept: file names may hold spaces.
std::string_view afterTokens(std::string_view s, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        s = trim(s);
        std::size_t n = 0;
        while (n < s.size() && !blank(s[n]))
            ++n;
        s.remove_prefix(n);
    }
    return trim(s);
}

bool number(std::string_view token, double &out)
{
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out);
    return ec == std::errc() && end == token.data() + token.size() && std::isfinite(out);
}

bool integer(std::string_view token, long &out)
{
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out);
    return ec == std::errc() && end == token.data() + token.size();
}

bool itemNumber(std::string_view token, std::uint32_t &out)
{
    if (token.empty() || token.size() > 8)
        return false;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out, 16);
    return ec == std::errc() && end == token.data() + token.size();
}

std::uint32_t typeBits(LwsItem::Kind kind)
{
    switch (kind) {
    case LwsItem::Kind::Object:
    case LwsItem::Kind::Null:
        return 1;
    case LwsItem::Kind::Light:
        return 2;
    case LwsItem::Kind::Camera:
        return 3;
    case LwsItem::Kind::Bone:
        return 4;
    }
    return 0;
}

using Matrix = standin::Transform;

Matrix multiply(const Matrix &a, const Matrix &b)
{
    Matrix out;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + (c == 3 ? a.m[r][3] : 0.0);
    return out;
}

// Position, then heading about Y, pitch about X and bank about Z, then scale: the host's order,
// each rotation by the left-hand rule of its axes (a positive heading turns +Z towards +X, a
// positive pitch turns +Z towards -Y, a positive bank turns +X towards +Y).
Matrix itemFrame(const LwsItem &item, double t)
{
    double v[9];
    for (int c = 0; c < 9; ++c)
        v[c] = item.channels[static_cast<std::size_t>(c)].evaluate(t);
    const double ch = std::cos(v[3]), sh = std::sin(v[3]);
    const double cp = std::cos(v[4]), sp = std::sin(v[4]);
    const double cb = std::cos(v[5]), sb = std::sin(v[5]);
    Matrix heading, pitch, bank, scale;
    heading.m[0][0] = ch, heading.m[0][2] = sh, heading.m[2][0] = -sh, heading.m[2][2] = ch;
    pitch.m[1][1] = cp, pitch.m[1][2] = -sp, pitch.m[2][1] = sp, pitch.m[2][2] = cp;
    bank.m[0][0] = cb, bank.m[0][1] = -sb, bank.m[1][0] = sb, bank.m[1][1] = cb;
    scale.m[0][0] = v[6], scale.m[1][1] = v[7], scale.m[2][2] = v[8];
    Matrix frame = multiply(multiply(multiply(heading, pitch), bank), scale);
    frame.m[0][3] = v[0], frame.m[1][3] = v[1], frame.m[2][3] = v[2];
    return frame;
}

class Parser {
public:
    Parser(const std::string &text, const std::string &src) : lines(splitLines(text)), source(src) {}

    LwsScene run()
    {
        header();
        for (; at < lines.size(); ++at)
            statement();
        resolveParents();
        return std::move(scene);
    }

private:
    [[noreturn]] void fail(int line, const std::string &what) const
    {
        throw RenderError(source + " line " + std::to_string(line) + ": " + what);
    }
    [[noreturn]] void fail(const std::string &what) const { fail(lines[at].number, what); }

    double numberAt(std::string_view token, const char *what) const
    {
        double v;
        if (!number(token, v))
            fail(std::string(what) + " is not a number: \"" + std::string(token) + "\"");
        return v;
    }
    long integerAt(std::string_view token, const char *what, long lo, long hi) const
    {
        long v;
        if (!integer(token, v) || v < lo || v > hi)
            fail(std::string(what) + " wants a whole number from " + std::to_string(lo) + " to " +
                 std::to_string(hi) + ", not \"" + std::string(token) + "\"");
        return v;
    }

    void header()
    {
        std::string_view first = lines.empty() ? std::string_view() : lines[0].text;
        if (first.substr(0, 3) == "\xEF\xBB\xBF")
            first = trim(first.substr(3));
        if (first != "LWSC")
            throw RenderError(source + " is not a LightWave scene (no LWSC header)");
        if (lines.size() < 2 || lines[1].text.empty())
            fail(lines.empty() ? 1 : lines[0].number, "no format version after LWSC");
        at = 1;
        scene.version = static_cast<int>(integerAt(lines[1].text, "the format version", 1, 1000));
        at = 2;
    }

    LwsItem &current(const std::string &keyword)
    {
        if (scene.items.empty())
            fail(keyword + " before any item");
        return scene.items.back();
    }

    // Items written with their number (version 4 on) carry it as a hex token before the rest.
    std::size_t explicitId(const std::vector<std::string_view> &t, std::size_t index, std::uint32_t &id) const
    {
        if (scene.version >= 4 && t.size() > index && t[index].size() == 8 && itemNumber(t[index], id))
            return 1;
        return 0;
    }

    LwsItem &addItem(LwsItem::Kind kind, std::uint32_t explicitNumber, bool hasNumber)
    {
        LwsItem item;
        item.kind = kind;
        item.line = lines[at].number;
        const std::uint32_t type = typeBits(kind);
        std::uint32_t &count = counts[type];
        item.id = hasNumber ? explicitNumber : (type << 28 | (count & 0x0FFFFFFFu));
        ++count;
        scene.items.push_back(std::move(item));
        return scene.items.back();
    }

    // One line of the scene at the top level: a setting of the scene, an item's start, or a
    // setting of the latest item. Lines the tool has no use for are passed over.
    void statement()
    {
        const std::string_view text = lines[at].text;
        if (text.empty())
            return;
        const std::vector<std::string_view> t = tokens(text);
        const std::string_view key = t[0];
        if (key.front() == '{')
            skipBlock();
        else if (key == "}")
            fail("a } closes no block");
        else if (key == "Plugin")
            skipPlugin();
        else if (cameraStatement(key, t))
            return;
        else if (key == "FirstFrame" || key == "LastFrame" || key == "FrameStep")
            frameRange(key, t);
        else if (key == "FramesPerSecond")
            framesPerSecond(t);
        else if (key == "LoadObjectLayer" || key == "LoadObject")
            loadObject(key == "LoadObjectLayer", t, text);
        else if (key == "AddNullObject" || key == "AddLight" || key == "AddCamera" || key == "AddBone")
            addOtherItem(key, t, text);
        else if (key == "LightName" || key == "CameraName" || key == "BoneName")
            current(std::string(key)).name = std::string(afterTokens(text, 1));
        else if (key == "ObjectMotion" || key == "LightMotion" || key == "CameraMotion" || key == "BoneMotion")
            motion(key);
        else if (key == "Channel")
            channel(t);
        else if (key == "ParentItem" || key == "ParentObject")
            parentReference(key, t);
        else if (key == "PivotPosition" || key == "PivotPoint")
            pivot(key, t);
        else if (key == "EndBehavior" && scene.version < 3)
            oldEndBehaviour(t);
        else if (key == "Pre/PostBehavior" && scene.version < 3)
            oldBehaviours(t);
    }

    void frameRange(std::string_view key, const std::vector<std::string_view> &t)
    {
        if (t.size() < 2)
            fail(std::string(key) + " needs a value");
        const long lo = key == "FrameStep" ? 1 : -1000000;
        const long v = integerAt(t[1], std::string(key).c_str(), lo, 1000000);
        if (key == "FirstFrame")
            scene.firstFrame = static_cast<int>(v), firstSeen = true;
        else if (key == "LastFrame")
            scene.lastFrame = static_cast<int>(v), lastSeen = true;
        else
            scene.frameStep = static_cast<int>(v);
        scene.frameRangeGiven = firstSeen && lastSeen;
        if (scene.frameRangeGiven && scene.lastFrame < scene.firstFrame)
            fail("LastFrame " + std::to_string(scene.lastFrame) + " comes before FirstFrame " +
                 std::to_string(scene.firstFrame));
    }

    void framesPerSecond(const std::vector<std::string_view> &t)
    {
        if (t.size() < 2)
            fail("FramesPerSecond needs a value");
        const double fps = numberAt(t[1], "FramesPerSecond");
        if (!(fps > 0.0 && fps <= 1e6))
            fail("FramesPerSecond must be positive");
        scene.fps = fps;
    }

    // "LoadObjectLayer layer [number] file" or "LoadObject [number] file".
    void loadObject(bool withLayer, const std::vector<std::string_view> &t, std::string_view text)
    {
        const std::size_t fileAt = withLayer ? 2 : 1;
        if (t.size() < fileAt + 1)
            fail(withLayer ? "LoadObjectLayer wants a layer and a file" : "LoadObject wants a file");
        const long layer = withLayer ? integerAt(t[1], "the layer", 1, 65536) : 1;
        std::uint32_t id = 0;
        const std::size_t skip = t.size() > fileAt + 1 ? explicitId(t, fileAt, id) : 0;
        LwsItem &item = addItem(LwsItem::Kind::Object, id, skip != 0);
        item.layer = static_cast<int>(layer);
        item.pathText = std::string(afterTokens(text, fileAt + skip));
    }

    // A null (named on its own line) or a light, camera or bone (named on a later line).
    void addOtherItem(std::string_view key, const std::vector<std::string_view> &t, std::string_view text)
    {
        std::uint32_t id = 0;
        if (key == "AddNullObject") {
            const std::size_t skip = t.size() > 2 ? explicitId(t, 1, id) : 0;
            addItem(LwsItem::Kind::Null, id, skip != 0).name = std::string(afterTokens(text, 1 + skip));
            return;
        }
        const std::size_t skip = explicitId(t, 1, id);
        const LwsItem::Kind kind = key == "AddLight"    ? LwsItem::Kind::Light
                                   : key == "AddCamera" ? LwsItem::Kind::Camera
                                                        : LwsItem::Kind::Bone;
        addItem(kind, id, skip != 0);
        if (kind == LwsItem::Kind::Camera)
            scene.cameras.push_back({scene.items.size() - 1});
    }

    void motion(std::string_view key)
    {
        LwsItem &item = current(std::string(key));
        if (scene.version < 3)
            oldMotion(item);
    }

    // "Channel N" and the envelope on the lines below it; channels past the nine of a placement
    // are read and dropped.
    void channel(const std::vector<std::string_view> &t)
    {
        if (t.size() < 2)
            fail("Channel needs a number");
        const long number = integerAt(t[1], "the channel", 0, 1000000);
        LwsItem &item = current("Channel");
        ++at;
        while (at < lines.size() && lines[at].text.empty())
            ++at;
        if (at >= lines.size() || lines[at].text.front() != '{')
            fail(lines[at - 1].number, "Channel " + std::to_string(number) + " has no envelope");
        Envelope envelope = readEnvelope();
        if (number < 9)
            item.channels[static_cast<std::size_t>(number)] = std::move(envelope);
    }

    // Resolved once every item is known, since a parent may come later in the file.
    void parentReference(std::string_view key, const std::vector<std::string_view> &t)
    {
        if (t.size() < 2)
            fail(std::string(key) + " needs an item");
        current(std::string(key));
        std::uint32_t ref = 0;
        if (key == "ParentItem") {
            if (!itemNumber(t[1], ref))
                fail("ParentItem wants a hex item number, not \"" + std::string(t[1]) + "\"");
        } else {
            // Counted from 1 among the objects.
            ref = 1u << 28 | static_cast<std::uint32_t>(integerAt(t[1], "ParentObject", 1, 0x0FFFFFFF) - 1);
        }
        parentRefs.push_back({scene.items.size() - 1, ref, lines[at].number});
    }

    void pivot(std::string_view key, const std::vector<std::string_view> &t)
    {
        if (t.size() < 4)
            fail(std::string(key) + " wants x, y and z");
        LwsItem &item = current(std::string(key));
        for (std::size_t c = 0; c < 3; ++c)
            item.pivot[c] = numberAt(t[c + 1], "the pivot");
        item.pivotGiven = true;
    }

    // The old formats' behaviour after the keys, for every channel of the item: reset, stop or repeat.
    void oldEndBehaviour(const std::vector<std::string_view> &t)
    {
        if (t.size() < 2)
            fail("EndBehavior needs a value");
        static const Behaviour ends[] = {Behaviour::Reset, Behaviour::Constant, Behaviour::Repeat};
        const Behaviour post = ends[integerAt(t[1], "EndBehavior", 0, 2)];
        for (Envelope &e : current("EndBehavior").channels)
            e = Envelope(e.keys(), e.pre(), post);
    }

    // The old formats' behaviours before and after the keys, a pair per channel.
    void oldBehaviours(const std::vector<std::string_view> &t)
    {
        LwsItem &item = current("Pre/PostBehavior");
        for (std::size_t c = 0; c < 9 && 2 * c + 2 < t.size(); ++c) {
            const Behaviour pre = behaviour(t[2 * c + 1]), post = behaviour(t[2 * c + 2]);
            item.channels[c] = Envelope(item.channels[c].keys(), pre, post);
        }
    }

    // The camera's lens and frame, and which camera renders; frame settings before any camera
    // are the scene's.
    bool cameraStatement(std::string_view key, const std::vector<std::string_view> &t)
    {
        LwsCameraLens *lens = !scene.cameras.empty() && scene.cameras.back().item + 1 == scene.items.size()
                                  ? &scene.cameras.back()
                                  : nullptr;
        if (key == "AddCamera") {
            return false;   // added as an item; its lens follows
        } else if ((key == "ShowCamera" || key == "CameraMotion") &&
                   (scene.items.empty() || scene.items.back().kind != LwsItem::Kind::Camera)) {
            // The old formats' one camera has no AddCamera: its section starts here.
            addItem(LwsItem::Kind::Camera, 0, false);
            scene.cameras.push_back({scene.items.size() - 1});
            return key == "ShowCamera";
        } else if (key == "ZoomFactor") {
            if (!lens || t.size() < 2)
                fail("ZoomFactor wants a camera and a value");
            if (t[1] == "(envelope)") {
                ++at;
                while (at < lines.size() && lines[at].text.empty())
                    ++at;
                if (at >= lines.size() || lines[at].text.front() != '{')
                    fail(lines[at - 1].number, "ZoomFactor has no envelope");
                if (scene.version >= 3) {
                    Envelope e = readEnvelope();
                    if (!e.keys().empty())
                        lens->zoom = std::move(e);
                } else {
                    skipBlock();
                }
            } else {
                const double zoom = numberAt(t[1], "ZoomFactor");
                if (!(zoom > 0.0))
                    fail("ZoomFactor must be positive");
                lens->zoom = Envelope::constant(zoom);
            }
        } else if (key == "FrameSize" || key == "CustomSize") {
            if (t.size() < 3)
                fail(std::string(key) + " wants a width and a height");
            const int w = static_cast<int>(integerAt(t[1], "the frame width", 1, 100000));
            const int h = static_cast<int>(integerAt(t[2], "the frame height", 1, 100000));
            if (lens)
                lens->width = w, lens->height = h;
            else
                scene.frameWidth = w, scene.frameHeight = h;
        } else if (key == "PixelAspect" || key == "PixelAspectRatio") {
            if (t.size() < 2)
                fail(std::string(key) + " needs a value");
            const double a = numberAt(t[1], "the pixel aspect");
            if (!(a > 0.0))
                return true;   // the old format's negative presets: square pixels
            (lens ? lens->pixelAspect : scene.pixelAspect) = a;
        } else if (key == "CurrentCamera") {
            if (t.size() >= 2)
                scene.currentCamera = static_cast<int>(integerAt(t[1], "CurrentCamera", 0, 1000000));
        } else {
            return false;
        }
        return true;
    }

    Behaviour behaviour(std::string_view token) const
    {
        return static_cast<Behaviour>(integerAt(token, "a behaviour", 0, 5));
    }

    // From a line opening a block to the line closing it.
    void skipBlock()
    {
        const int start = lines[at].number;
        for (int depth = 0; at < lines.size(); ++at) {
            const std::string_view s = lines[at].text;
            if (!s.empty() && s.front() == '{')
                ++depth;
            else if (!s.empty() && s.front() == '}' && --depth == 0)
                return;
        }
        fail(start, "a { block is not closed");
    }

    void skipPlugin()
    {
        const int start = lines[at].number;
        for (++at; at < lines.size(); ++at)
            if (lines[at].text.substr(0, 9) == "EndPlugin" &&
                (lines[at].text.size() == 9 || blank(lines[at].text[9])))
                return;
        fail(start, "Plugin has no EndPlugin");
    }

    // "{ Envelope", the key count, Key lines, Behaviors, "}".
    Envelope readEnvelope()
    {
        const int start = lines[at].number;
        const std::vector<std::string_view> open = tokens(lines[at].text);
        const bool envelope = open[0] == "{Envelope" || (open[0] == "{" && open.size() > 1 && open[1] == "Envelope");
        if (!envelope)
            fail("a channel holds no envelope");
        std::vector<EnvelopeKey> keys;
        Behaviour pre = Behaviour::Constant, post = Behaviour::Constant;
        for (++at; at < lines.size(); ++at) {
            const std::string_view s = lines[at].text;
            if (s.empty())
                continue;
            const std::vector<std::string_view> t = tokens(s);
            if (t[0] == "}")
                return Envelope(std::move(keys), pre, post);
            if (t[0].front() == '{') {
                skipBlock();
            } else if (t[0] == "Key") {
                keys.push_back(key(t));
            } else if (t[0] == "Behaviors") {
                if (t.size() < 3)
                    fail("Behaviors wants two values");
                pre = behaviour(t[1]);
                post = behaviour(t[2]);
            }
        }
        fail(start, "an envelope is not closed");
    }

    // Key value time shape p1 p2 p3 p4 p5 p6.
    EnvelopeKey key(const std::vector<std::string_view> &t) const
    {
        if (t.size() < 4)
            fail("a Key wants at least a value, a time and a shape");
        EnvelopeKey k;
        k.value = numberAt(t[1], "a key's value");
        k.time = numberAt(t[2], "a key's time");
        k.shape = static_cast<KeyShape>(integerAt(t[3], "a key's shape", 0, 5));
        double p[6] = {0, 0, 0, 0, 0, 0};
        for (std::size_t i = 0; i < 6 && i + 4 < t.size(); ++i)
            p[i] = numberAt(t[i + 4], "a key's curve parameter");
        if (k.shape == KeyShape::Bezier2D) {
            for (int i = 0; i < 4; ++i)
                k.param[i] = p[i];
        } else {
            k.tension = p[0], k.continuity = p[1], k.bias = p[2];
            k.param[0] = p[3], k.param[1] = p[4];
        }
        return k;
    }

    // The next non-blank line's numbers, for the old formats' motion records.
    std::vector<double> numbers(int count, const char *what)
    {
        ++at;
        while (at < lines.size() && lines[at].text.empty())
            ++at;
        if (at >= lines.size())
            fail(lines.back().number, std::string("the file ends inside a motion, before ") + what);
        const std::vector<std::string_view> t = tokens(lines[at].text);
        if (t.size() < static_cast<std::size_t>(count))
            fail(std::string(what) + " wants " + std::to_string(count) + " numbers");
        std::vector<double> out;
        for (std::size_t i = 0; i < t.size(); ++i)
            out.push_back(numberAt(t[i], what));
        return out;
    }

    long countLine(const char *what, long hi)
    {
        const double v = numbers(1, what)[0];
        if (v != std::floor(v) || v < 0 || v > static_cast<double>(hi))
            fail(std::string(what) + " is not a count");
        return static_cast<long>(v);
    }

    // Version 1: the channel count, the key count, then per key a line of every channel's value
    // and a line "frame linear tension continuity bias". Version 2: per channel the key count,
    // then per key "value time shape tension continuity bias". Angles are in degrees.
    void oldMotion(LwsItem &item)
    {
        const long channelCount = countLine("the channel count", 64);
        const long linesLeft = static_cast<long>(lines.size() - at);
        std::vector<std::vector<EnvelopeKey>> keys(static_cast<std::size_t>(channelCount));
        if (scene.version == 1) {
            const long keyCount = countLine("the key count", linesLeft);
            for (long k = 0; k < keyCount; ++k) {
                const std::vector<double> values = numbers(static_cast<int>(channelCount), "a key's values");
                const std::vector<double> info = numbers(1, "a key's frame");
                EnvelopeKey key;
                key.time = info[0] / scene.fps;
                key.shape = info.size() > 1 && info[1] != 0 ? KeyShape::Linear : KeyShape::Tcb;
                key.tension = info.size() > 2 ? info[2] : 0;
                key.continuity = info.size() > 3 ? info[3] : 0;
                key.bias = info.size() > 4 ? info[4] : 0;
                for (long c = 0; c < channelCount; ++c) {
                    key.value = values[static_cast<std::size_t>(c)];
                    keys[static_cast<std::size_t>(c)].push_back(key);
                }
            }
        } else {
            for (long c = 0; c < channelCount; ++c) {
                const long keyCount = countLine("the key count", linesLeft);
                for (long k = 0; k < keyCount; ++k) {
                    const std::vector<double> v = numbers(2, "a key");
                    EnvelopeKey key;
                    key.value = v[0];
                    key.time = v[1];
                    // Only linear and stepped spans are told apart in this format's keys seen
                    // so far; every other shape number reads as a spline through the keys.
                    const double shape = v.size() > 2 ? v[2] : 0;
                    key.shape = shape == 3 ? KeyShape::Linear : shape == 4 ? KeyShape::Stepped : KeyShape::Tcb;
                    key.tension = v.size() > 3 ? v[3] : 0;
                    key.continuity = v.size() > 4 ? v[4] : 0;
                    key.bias = v.size() > 5 ? v[5] : 0;
                    keys[static_cast<std::size_t>(c)].push_back(key);
                }
            }
        }
        for (std::size_t c = 0; c < keys.size() && c < 9; ++c) {
            if (c >= 3 && c < 6)
                for (EnvelopeKey &k : keys[c])
                    k.value *= pi / 180;
            if (!keys[c].empty())
                item.channels[c] = Envelope(std::move(keys[c]));
        }
    }

    void resolveParents()
    {
        for (const ParentRef &ref : parentRefs) {
            // Bones deform their object's points, which the host hands the texture already
            // placed; their own hierarchy does not move objects.
            if (scene.items[ref.item].kind == LwsItem::Kind::Bone)
                continue;
            if (ref.id >> 28 == 4)
                fail(ref.line, "an item parented to a bone is not supported");
            int found = -1;
            for (std::size_t i = 0; i < scene.items.size() && found < 0; ++i)
                if (scene.items[i].id == ref.id)
                    found = static_cast<int>(i);
            if (found < 0) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(ref.id));
                fail(ref.line, std::string("the parent ") + hex + " is no item of the scene");
            }
            scene.items[ref.item].parent = found;
        }
        // A parent chain longer than the item count goes round in a loop.
        for (std::size_t i = 0; i < scene.items.size(); ++i) {
            int p = scene.items[i].parent;
            for (std::size_t steps = 0; p >= 0; p = scene.items[static_cast<std::size_t>(p)].parent)
                if (++steps > scene.items.size())
                    fail(scene.items[i].line, "the item's parents go round in a loop");
        }
    }

    struct ParentRef {
        std::size_t item;
        std::uint32_t id;
        int line;
    };

    std::vector<Line> lines;
    const std::string &source;
    std::size_t at = 0;
    LwsScene scene;
    std::uint32_t counts[5] = {0, 0, 0, 0, 0};
    bool firstSeen = false, lastSeen = false;
    std::vector<ParentRef> parentRefs;
};

} // namespace

bool isLwsText(const std::string &bytes)
{
    std::string_view s(bytes);
    if (s.substr(0, 3) == "\xEF\xBB\xBF")
        s.remove_prefix(3);
    s = trim(s.substr(0, 64));
    return s.substr(0, 4) == "LWSC" && (s.size() == 4 || blank(s[4]));
}

LwsScene parseLws(const std::string &text, const std::string &source)
{
    return Parser(text, source).run();
}

standin::Transform LwsScene::placement(std::size_t item, double seconds) const
{
    // Children hang from their parent's pivot, so each ancestor contributes its frame alone;
    // the item itself is then moved so that its pivot sits at its position.
    std::vector<std::size_t> chain;
    for (int i = static_cast<int>(item); i >= 0 && chain.size() <= items.size();
         i = items[static_cast<std::size_t>(i)].parent)
        chain.push_back(static_cast<std::size_t>(i));
    Matrix world;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        world = multiply(world, itemFrame(items[*it], seconds));
    const std::array<double, 3> &p = items[item].pivot;
    for (int r = 0; r < 3; ++r)
        world.m[r][3] -= world.m[r][0] * p[0] + world.m[r][1] * p[1] + world.m[r][2] * p[2];
    // Into the tool's axes: Z turned round on both sides.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            if ((r == 2) != (c == 2))
                world.m[r][c] = -world.m[r][c];
    return world;
}

bool LwsScene::animated() const
{
    for (const LwsItem &item : items)
        for (const Envelope &e : item.channels)
            if (e.keys().size() > 1)
                return true;
    return false;
}

double LwsScene::firstKey() const
{
    double t = HUGE_VAL;
    for (const LwsItem &item : items)
        for (const Envelope &e : item.channels)
            if (!e.keys().empty())
                t = std::min(t, e.keys().front().time);
    return std::isfinite(t) ? t : 0.0;
}

double LwsScene::lastKey() const
{
    double t = -HUGE_VAL;
    for (const LwsItem &item : items)
        for (const Envelope &e : item.channels)
            if (!e.keys().empty())
                t = std::max(t, e.keys().back().time);
    return std::isfinite(t) ? t : 0.0;
}

} // namespace render
