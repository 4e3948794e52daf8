#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mcp/core/json.hpp"
#include "system/file_path.hpp"
#include "system/system_coders.hpp"

namespace lumenary::system {
namespace {

// Random path texts over names that matter to the operations: dots, a name
// with a dot, bytes that are not UTF-8, repeated and trailing separators.
class RandomPaths {
public:
    std::string text() {
        static const std::vector<std::string> names{"a", "b", "c.d", ".", "..", "...", "\xFF", "e\\f", ".g"};
        std::string text = pick(3) == 0 ? "/" : "";
        const std::size_t count = pick(6);
        for (std::size_t index = 0; index < count; ++index) {
            text.append(names[pick(names.size())]);
            text.append(pick(4) == 0 ? "//" : "/");
        }
        if (pick(2) == 0 && !text.empty()) text.pop_back();
        return text;
    }
    std::size_t pick(std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(engine_); }

private:
    std::mt19937 engine_{20261207};
};

std::vector<std::string> componentNamesOf(const FilePath& path) {
    std::vector<std::string> names;
    for (const auto& component : path.components()) names.emplace_back(component.bytes());
    return names;
}

bool isSeparatorNormal(const FilePath& path) { return FilePath::isSeparatorNormal(path.systemString()); }

constexpr int rounds = 3000;

TEST(FilePathProperties, NormalisationIsIdempotent) {
    RandomPaths random;
    for (int round = 0; round < rounds; ++round) {
        const FilePath path(random.text());
        SCOPED_TRACE(path.debugDescription());
        EXPECT_TRUE(isSeparatorNormal(path));
        EXPECT_EQ(FilePath(std::string(path.bytes())), path);
        const FilePath normal = path.lexicallyNormalized();
        EXPECT_TRUE(normal.isLexicallyNormal());
        EXPECT_TRUE(isSeparatorNormal(normal));
        EXPECT_EQ(normal.lexicallyNormalized(), normal);
        EXPECT_EQ(normal.isAbsolute(), path.isAbsolute()) << "the root is never collapsed away";
    }
}

TEST(FilePathProperties, CodedFormsRoundTrip) {
    RandomPaths random;
    for (int round = 0; round < rounds; ++round) {
        const FilePath path(random.text());
        SCOPED_TRACE(path.debugDescription());
        const std::string json = mcp::writeJSON(mcp::encodeValue(path));
        EXPECT_EQ(mcp::decodeValue<FilePath>(mcp::parseJSON(json)), path);
        const auto view = path.components();
        const auto decodedView = mcp::decodeValue<FilePath::ComponentView>(mcp::encodeValue(view));
        EXPECT_EQ(decodedView.path(), path);
        for (const auto& component : view) {
            const auto decoded = mcp::decodeValue<FilePath::Component>(mcp::encodeValue(component));
            EXPECT_EQ(decoded.range(), component.range());
            EXPECT_EQ(decoded, component);
        }
    }
}

// removePrefix succeeds exactly where starts(with:) holds (an empty prefix
// of an absolute path aside), and the prefix pushed back gives the path.
TEST(FilePathProperties, RemovePrefixAgreesWithStartsWith) {
    RandomPaths random;
    for (int round = 0; round < rounds; ++round) {
        const FilePath path(random.text());
        FilePath prefix = path;
        for (std::size_t drop = random.pick(4); drop > 0; --drop) prefix.removeLastComponent();
        if (random.pick(3) == 0) prefix = FilePath(random.text());
        SCOPED_TRACE(path.debugDescription() + " without " + prefix.debugDescription());

        FilePath rest = path;
        const bool removed = rest.removePrefix(prefix);
        const bool emptyPrefixOfAbsolute = prefix.isEmpty() && path.isAbsolute();
        EXPECT_EQ(removed, path.starts(prefix) && !emptyPrefixOfAbsolute);
        if (removed) {
            EXPECT_TRUE(rest.isRelative());
            EXPECT_EQ(prefix.pushing(rest), path);
        } else {
            EXPECT_EQ(rest, path);
        }
    }
}

// Any replacement through the components matches the same edit on a list of
// names, keeps the root, and leaves the path separator-normal.
TEST(FilePathProperties, ComponentEditsKeepSeparatorNormalForm) {
    RandomPaths random;
    for (int round = 0; round < rounds; ++round) {
        FilePath path(random.text());
        const FilePath before = path;
        std::vector<std::string> expected = componentNamesOf(path);
        const std::size_t lower = random.pick(expected.size() + 1);
        const std::size_t upper = lower + random.pick(expected.size() - lower + 1);
        const std::vector<std::string> inserted(random.pick(3), random.pick(2) == 0 ? "x" : "..");
        SCOPED_TRACE(before.debugDescription() + " replacing " + std::to_string(lower) + ".." + std::to_string(upper) +
                     " with " + std::to_string(inserted.size()));

        std::vector<FilePath::Component> components;
        for (const auto& name : inserted) components.emplace_back(name.c_str());
        path.modifyComponents([&](FilePath::ComponentView& view) {
            view.replaceSubrange(view.index(view.startIndex(), static_cast<std::ptrdiff_t>(lower)),
                                 view.index(view.startIndex(), static_cast<std::ptrdiff_t>(upper)), components);
        });
        expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(lower),
                       expected.begin() + static_cast<std::ptrdiff_t>(upper));
        expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(lower), inserted.begin(), inserted.end());

        EXPECT_TRUE(isSeparatorNormal(path)) << path.debugDescription();
        EXPECT_EQ(path.isAbsolute(), before.isAbsolute());
        EXPECT_EQ(componentNamesOf(path), expected);
    }
}

}  // namespace
}  // namespace lumenary::system
