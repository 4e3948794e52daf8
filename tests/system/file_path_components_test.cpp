#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "mcp/core/json.hpp"
#include "system/file_path.hpp"
#include "system/system_coders.hpp"

namespace lumenary::system {
namespace {

using Component = FilePath::Component;
using Root = FilePath::Root;

std::vector<std::string> namesOf(const FilePath& path) {
    std::vector<std::string> names;
    for (const Component& component : path.components()) names.emplace_back(component.bytes());
    return names;
}

std::vector<Component> componentsOf(std::vector<const char*> literals) {
    std::vector<Component> components;
    for (const char* literal : literals) components.emplace_back(literal);
    return components;
}

TEST(FilePathComponents, AreCutAtEachSeparatorAfterTheRoot) {
    EXPECT_EQ(namesOf("/usr/local/bin"), (std::vector<std::string>{"usr", "local", "bin"}));
    EXPECT_EQ(namesOf("a/./.."), (std::vector<std::string>{"a", ".", ".."}));
    EXPECT_TRUE(namesOf("/").empty());
    EXPECT_TRUE(namesOf("").empty());
    const auto view = FilePath("/a/bc/d").components();
    EXPECT_EQ(view.count(), 3u);
    EXPECT_EQ(view.distance(view.endIndex(), view.startIndex()), -3);
    EXPECT_EQ(view[view.index(view.startIndex(), 2)].bytes(), "d");
    EXPECT_EQ(view[view.indexBefore(view.endIndex())].bytes(), "d");
    EXPECT_EQ(view[view.indexBefore(view.index(view.startIndex(), 2))].bytes(), "bc");
    std::vector<std::string> backwards;
    for (auto it = view.end(); it != view.begin();) backwards.emplace_back((*--it).bytes());
    EXPECT_EQ(backwards, (std::vector<std::string>{"d", "bc", "a"}));
}

TEST(FilePathRootAndAbsoluteness, FollowTheLeadingSeparator) {
    EXPECT_TRUE(FilePath("/a").isAbsolute());
    EXPECT_TRUE(FilePath("").isRelative());
    EXPECT_EQ(FilePath("/a").root(), Root("/"));
    EXPECT_EQ(FilePath("a").root(), std::nullopt);
    EXPECT_EQ(FilePath("/a/b").removingRoot().bytes(), "a/b");

    FilePath path("a");
    path.setRoot(Root("/"));
    EXPECT_EQ(path.bytes(), "/a");
    path.setRoot(std::nullopt);
    EXPECT_EQ(path.bytes(), "a");
    FilePath empty;
    empty.setRoot(Root("/"));
    EXPECT_EQ(empty.bytes(), "/");
}

struct TextCase {
    const char* text;
    const char* component;  // null when none
};

class ComponentFromText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ComponentFromText, IsExactlyOneNonRootComponent) {
    const auto component = Component::fromText(GetParam().text);
    if (GetParam().component == nullptr) {
        EXPECT_EQ(component, std::nullopt);
    } else {
        ASSERT_TRUE(component);
        EXPECT_EQ(component->bytes(), GetParam().component);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ComponentFromText,
                         ::testing::Values(TextCase{"a", "a"}, TextCase{"a/", "a"}, TextCase{"", nullptr},
                                           TextCase{"/", nullptr}, TextCase{"/a", nullptr}, TextCase{"a/b", nullptr},
                                           TextCase{"..", ".."}));

TEST(RootFromText, IsPresentOnlyForARootAlone) {
    EXPECT_TRUE(Root::fromText("/"));
    EXPECT_TRUE(Root::fromText("//"));
    EXPECT_FALSE(Root::fromText(""));
    EXPECT_FALSE(Root::fromText("a"));
    EXPECT_FALSE(Root::fromText("/a"));
}

TEST(FilePathLiteralDeathTest, ALiteralOfTheWrongShapeStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(Component("a/b"), "Fatal error: FilePath.Component must be created from exactly one non-root component");
    EXPECT_DEATH(Root("a"), "Fatal error: FilePath.Root must be created from a root");
}

struct NameCase {
    const char* component;
    Component::Kind kind;
    std::optional<std::string> extension;
    std::string stem;
};

class ComponentNameParts : public ::testing::TestWithParam<NameCase> {};

TEST_P(ComponentNameParts, SplitAtTheLastDotThatIsNotTheFirstCharacter) {
    const Component component(GetParam().component);
    EXPECT_EQ(component.kind(), GetParam().kind);
    EXPECT_EQ(component.extension(), GetParam().extension);
    EXPECT_EQ(component.stem(), GetParam().stem);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ComponentNameParts,
    ::testing::Values(NameCase{".", Component::Kind::currentDirectory, std::nullopt, "."},
                      NameCase{"..", Component::Kind::parentDirectory, std::nullopt, ".."},
                      NameCase{"a.tar.gz", Component::Kind::regular, "gz", "a.tar"},
                      NameCase{".profile", Component::Kind::regular, std::nullopt, ".profile"},
                      NameCase{"a.", Component::Kind::regular, "", "a"},
                      NameCase{"...", Component::Kind::regular, "", ".."},
                      NameCase{"plain", Component::Kind::regular, std::nullopt, "plain"}));

struct ReplaceCase {
    const char* path;
    int lower;  // in components from the start
    int upper;
    std::vector<const char*> with;
    const char* result;
};

class ComponentViewReplace : public ::testing::TestWithParam<ReplaceCase> {};

// The path stays separator-normal whatever is replaced, and keeps its root.
TEST_P(ComponentViewReplace, KeepsTheSeparatorNormalForm) {
    FilePath path(GetParam().path);
    path.modifyComponents([&](FilePath::ComponentView& view) {
        const auto lower = view.index(view.startIndex(), GetParam().lower);
        const auto upper = view.index(view.startIndex(), GetParam().upper);
        view.replaceSubrange(lower, upper, componentsOf(GetParam().with));
    });
    EXPECT_EQ(path.bytes(), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, ComponentViewReplace,
    ::testing::Values(ReplaceCase{"a/b", 2, 2, {"c"}, "a/b/c"}, ReplaceCase{"a/b", 0, 0, {"x"}, "x/a/b"},
                      ReplaceCase{"a/b/c", 1, 2, {"x", "y"}, "a/x/y/c"}, ReplaceCase{"a/b/c", 1, 3, {"x"}, "a/x"},
                      ReplaceCase{"/a/b/c", 1, 3, {}, "/a"}, ReplaceCase{"/a/b/c", 0, 3, {}, "/"},
                      ReplaceCase{"a/b/c", 0, 1, {}, "b/c"}, ReplaceCase{"a/b/c", 1, 2, {}, "a/c"},
                      ReplaceCase{"/", 0, 0, {"x", "y"}, "/x/y"}, ReplaceCase{"", 0, 0, {"x"}, "x"},
                      ReplaceCase{"/a", 1, 1, {"b"}, "/a/b"}));

TEST(ComponentViewEdits, RemoveAndInsertSingleComponents) {
    FilePath path("/a/b/c");
    Component removed("x");
    path.modifyComponents([&](FilePath::ComponentView& view) {
        removed = view.remove(view.indexAfter(view.startIndex()));
        view.insert(Component("z"), view.startIndex());
        view.append(Component("end"));
        EXPECT_EQ(view.removeFirst().bytes(), "z");
        view.removeFirst(1);
    });
    EXPECT_EQ(removed.bytes(), "b");
    EXPECT_EQ(removed.path().bytes(), "/a/b/c") << "the removed component denotes the path as it was";
    EXPECT_EQ(path.bytes(), "/c/end");
}

TEST(ComponentViewEdits, RemoveAllKeepsTheRootThroughThePath) {
    FilePath kept("/a/b");
    kept.modifyComponents([](FilePath::ComponentView& view) { view.removeAll(true); });
    EXPECT_EQ(kept.bytes(), "/");
    FilePath fresh("/a/b");
    fresh.modifyComponents([](FilePath::ComponentView& view) {
        view.removeAll(false);
        EXPECT_TRUE(view.path().isEmpty());
    });
    EXPECT_EQ(fresh.bytes(), "/");

    FilePath filtered("/a/.b/c/.d");
    filtered.modifyComponents([](FilePath::ComponentView& view) {
        view.removeAll([](const Component& component) { return component.bytes().front() == '.'; });
    });
    EXPECT_EQ(filtered.bytes(), "/a/c");

    FilePath unchanged("/a/b");
    EXPECT_THROW(unchanged.modifyComponents([](FilePath::ComponentView& view) {
        view.removeAll([](const Component&) -> bool { throw std::runtime_error("stop"); });
    }),
                 std::runtime_error);
    EXPECT_EQ(unchanged.bytes(), "/a/b");
}

TEST(ComponentViewEdits, SettingComponentsKeepsThisPathsRoot) {
    FilePath absolute("/a/b");
    absolute.setComponents(FilePath("c/d").components());
    EXPECT_EQ(absolute.bytes(), "/c/d");
    FilePath relative("a/b");
    relative.setComponents(FilePath("/c").components());
    EXPECT_EQ(relative.bytes(), "c");
    EXPECT_EQ(FilePath(Root("/"), componentsOf({"x", "y"})).bytes(), "/x/y");
    EXPECT_EQ(FilePath::ComponentView(Component("ab"), 3).path().bytes(), "ab/ab/ab");
}

TEST(FilePathSlices, KeepTheirCharactersWhenTheirPathChangesLater) {
    FilePath path("/a/b");
    const Component last = *path.lastComponent();
    const Root root = *path.root();
    path.setComponents(FilePath("x/y/z").components());
    path.setRoot(std::nullopt);
    EXPECT_EQ(path.bytes(), "x/y/z");
    EXPECT_EQ(last.bytes(), "b");
    EXPECT_EQ(last.path().bytes(), "/a/b");
    EXPECT_EQ(root.bytes(), "/");
}

TEST(FilePathAppendComponents, AddOneSeparatorOnlyWhereNeeded) {
    EXPECT_EQ(FilePath().appending(Component("x")).bytes(), "x");
    EXPECT_EQ(FilePath("/").appending(Component("x")).bytes(), "/x");
    EXPECT_EQ(FilePath("a").appending(componentsOf({"x", "y"})).bytes(), "a/x/y");
}

TEST(FilePathSlices, CompareAndHashByTheirCharactersOnly) {
    const Component fromPath = FilePath("/x/name/y").components()[FilePath("/x/name/y").components().index(
        FilePath("/x/name/y").components().startIndex(), 1)];
    EXPECT_EQ(fromPath, Component("name"));
    EXPECT_EQ(std::hash<Component>{}(fromPath), std::hash<Component>{}(Component("name")));
    EXPECT_EQ(FilePath("/a/b").components(), FilePath("a/b").components());
    EXPECT_EQ(fromPath.withPlatformString([](const char* text) { return std::string(text); }), "name");
    EXPECT_EQ(Component("\xFF").description(), "\xEF\xBF\xBD");
    EXPECT_EQ(Component("\xFF").validatedText(), std::nullopt);
}

TEST(ComponentViewDeathTest, IndicesOutsideTheViewStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto view = FilePath("/a").components();
    EXPECT_DEATH(static_cast<void>(view[view.endIndex()]), "index out of range");
    EXPECT_DEATH(static_cast<void>(view.indexAfter(view.endIndex())), "cannot advance past endIndex");
    EXPECT_DEATH(static_cast<void>(view.indexBefore(view.startIndex())), "cannot step before startIndex");
    EXPECT_DEATH(static_cast<void>(view[FilePath::ComponentView::Index(0)]), "index out of range");
    auto empty = FilePath("/").components();
    EXPECT_DEATH(empty.removeFirst(), "empty FilePath.ComponentView");
}

TEST(FilePathSliceCoding, RoundTrips) {
    const FilePath path("/usr/bin");
    const auto view = path.components();
    const Component bin = view[view.indexAfter(view.startIndex())];
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(bin)),
              R"({"_path":{"_storage":{"nullTerminatedStorage":[47,117,115,114,47,98,105,110,0]}},"_range":[5,8]})");
    EXPECT_EQ(mcp::decodeValue<Component>(mcp::encodeValue(bin)).range(), bin.range());
    EXPECT_EQ(mcp::decodeValue<FilePath::ComponentView>(mcp::encodeValue(view)).start(), 1);
    EXPECT_EQ(mcp::decodeValue<Root>(mcp::encodeValue(*path.root())).rootEnd(), 1);
}

struct SliceDecodeCase {
    const char* name;
    const char* json;  // after the path {"_path": <"/ab/c">, ...}
    const char* key;
};

class FilePathSliceDecoding : public ::testing::TestWithParam<SliceDecodeCase> {};

// Offsets from outside are checked against their path: a range that is not
// exactly one component, a root offset on a relative path, or a view that
// does not start after the root would read out of bounds or mislead later.
TEST_P(FilePathSliceDecoding, RefusesOffsetsThatDoNotFitThePath) {
    const std::string absolute = R"({"_path":{"_storage":{"nullTerminatedStorage":[47,97,98,47,99,0]}},)";
    const std::string relative = R"({"_path":{"_storage":{"nullTerminatedStorage":[97,98,0]}},)";
    const std::string json = std::string(GetParam().json);
    const std::string text = (json.rfind("R", 0) == 0 ? relative + json.substr(1) : absolute + json);
    const mcp::Value value = mcp::parseJSON(text);
    try {
        const std::string key = GetParam().key;
        if (key == "_range") mcp::decodeValue<Component>(value);
        if (key == "_rootEnd") mcp::decodeValue<Root>(value);
        if (key == "_start") mcp::decodeValue<FilePath::ComponentView>(value);
        ADD_FAILURE() << "decoded " << text;
    } catch (const mcp::DecodingError& error) {
        EXPECT_EQ(error.kind(), mcp::DecodingError::Kind::dataCorrupted);
        EXPECT_EQ(error.codingPath(), mcp::CodingPath{GetParam().key});
        EXPECT_EQ(error.description(), "Encoding does not satisfy the invariants of FilePath");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, FilePathSliceDecoding,
    ::testing::Values(SliceDecodeCase{"PastTheEnd", R"("_range":[4,99]})", "_range"},
                      SliceDecodeCase{"Negative", R"("_range":[-3,1]})", "_range"},
                      SliceDecodeCase{"Empty", R"("_range":[1,1]})", "_range"},
                      SliceDecodeCase{"Reversed", R"("_range":[3,1]})", "_range"},
                      SliceDecodeCase{"PartOfAComponent", R"("_range":[2,3]})", "_range"},
                      SliceDecodeCase{"TwoComponents", R"("_range":[1,5]})", "_range"},
                      SliceDecodeCase{"TheRoot", R"("_range":[0,1]})", "_range"},
                      SliceDecodeCase{"NotAPair", R"("_range":[1]})", "_range"},
                      SliceDecodeCase{"RootPastTheRoot", R"("_rootEnd":3})", "_rootEnd"},
                      SliceDecodeCase{"RootOfARelativePath", R"(R"_rootEnd":1})", "_rootEnd"},
                      SliceDecodeCase{"ViewInsideAComponent", R"("_start":2})", "_start"},
                      SliceDecodeCase{"ViewAtTheRoot", R"("_start":0})", "_start"},
                      SliceDecodeCase{"ViewPastTheEnd", R"("_start":99})", "_start"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace lumenary::system
