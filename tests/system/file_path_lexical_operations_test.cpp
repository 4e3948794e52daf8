#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "system/file_path.hpp"

namespace lumenary::system {
namespace {

struct LastComponentCase {
    const char* path;
    std::optional<std::string> last;
    const char* without;
};

class FilePathLastComponent : public ::testing::TestWithParam<LastComponentCase> {};

TEST_P(FilePathLastComponent, IsReadAndRemovedFromTheEnd) {
    FilePath path(GetParam().path);
    const auto last = path.lastComponent();
    EXPECT_EQ(last ? std::optional<std::string>(last->bytes()) : std::nullopt, GetParam().last);
    EXPECT_EQ(path.removeLastComponent(), GetParam().last.has_value());
    EXPECT_EQ(path.bytes(), GetParam().without);
}

INSTANTIATE_TEST_SUITE_P(Paths, FilePathLastComponent,
                         ::testing::Values(LastComponentCase{"/", std::nullopt, "/"},
                                           LastComponentCase{"", std::nullopt, ""},
                                           LastComponentCase{"a", "a", ""}, LastComponentCase{"/a", "a", "/"},
                                           LastComponentCase{"a/b", "b", "a"},
                                           LastComponentCase{"/usr/lib/x.so", "x.so", "/usr/lib"}));

struct AffixCase {
    const char* path;
    const char* other;
    bool starts;
    bool ends;
};

class FilePathAffixes : public ::testing::TestWithParam<AffixCase> {};

TEST_P(FilePathAffixes, CompareWholeComponents) {
    const FilePath path(GetParam().path);
    EXPECT_EQ(path.starts(GetParam().other), GetParam().starts);
    EXPECT_EQ(path.ends(GetParam().other), GetParam().ends);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, FilePathAffixes,
    ::testing::Values(AffixCase{"/usr/local", "/usr", true, false}, AffixCase{"/usr/local", "usr", false, false},
                      AffixCase{"/usr/local", "local", false, true}, AffixCase{"/usr/local", "usr/local", false, true},
                      AffixCase{"usr/local", "/usr", false, false}, AffixCase{"/usr/local", "", true, true},
                      AffixCase{"", "", true, true}, AffixCase{"/", "", true, true}, AffixCase{"/", "/", true, true},
                      AffixCase{"/usr/local", "/usr/local", true, true}, AffixCase{"/usr/local", "/local", false, false},
                      AffixCase{"/usr/locale", "/usr/local", false, false}, AffixCase{"a/bc", "c", false, false},
                      AffixCase{"a", "a/b", false, false}, AffixCase{"b", "a/b", false, false}));

struct PrefixCase {
    const char* path;
    const char* prefix;
    bool removed;
    const char* result;
};

class FilePathRemovePrefix : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(FilePathRemovePrefix, RemovesOnlyAWholeMatchingPrefix) {
    FilePath path(GetParam().path);
    EXPECT_EQ(path.removePrefix(GetParam().prefix), GetParam().removed);
    EXPECT_EQ(path.bytes(), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Pairs, FilePathRemovePrefix,
                         ::testing::Values(PrefixCase{"/usr/bin/ls", "/usr", true, "bin/ls"},
                                           PrefixCase{"/usr", "/usr", true, ""}, PrefixCase{"/a", "", false, "/a"},
                                           PrefixCase{"a/b", "", true, "a/b"}, PrefixCase{"/a", "/", true, "a"},
                                           PrefixCase{"/usr/bin", "/usr/b", false, "/usr/bin"},
                                           PrefixCase{"usr/bin", "/usr", false, "usr/bin"}));

struct NormalizeCase {
    const char* path;
    const char* normal;
    bool alreadyNormal;
};

class FilePathLexicalNormalization : public ::testing::TestWithParam<NormalizeCase> {};

TEST_P(FilePathLexicalNormalization, CollapsesDotsAgainstTheTextBeforeThem) {
    const FilePath path(GetParam().path);
    EXPECT_EQ(path.isLexicallyNormal(), GetParam().alreadyNormal);
    const FilePath normal = path.lexicallyNormalized();
    EXPECT_EQ(normal.bytes(), GetParam().normal);
    EXPECT_TRUE(normal.isLexicallyNormal());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FilePathLexicalNormalization,
    ::testing::Values(NormalizeCase{"/a/./b/../c", "/a/c", false}, NormalizeCase{"/..", "/", false},
                      NormalizeCase{"../../a/..", "../..", false}, NormalizeCase{"a/..", "", false},
                      NormalizeCase{"./a", "a", false}, NormalizeCase{"../a/b", "../a/b", true},
                      NormalizeCase{"/../a", "/a", false}, NormalizeCase{"a/b/../../..", "..", false},
                      NormalizeCase{"a/./././b/.", "a/b", false}, NormalizeCase{"/a/b", "/a/b", true},
                      NormalizeCase{"a/../../b", "../b", false}, NormalizeCase{"", "", true},
                      NormalizeCase{".", "", false}, NormalizeCase{"/.", "/", false},
                      NormalizeCase{"a/..b/.c", "a/..b/.c", true}));

struct ResolveCase {
    const char* base;
    const char* subpath;
    std::optional<std::string> result;
};

class FilePathLexicallyResolving : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(FilePathLexicallyResolving, StaysInsideTheBase) {
    const auto resolved = FilePath(GetParam().base).lexicallyResolving(GetParam().subpath);
    EXPECT_EQ(resolved ? std::optional<std::string>(resolved->bytes()) : std::nullopt, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Pairs, FilePathLexicallyResolving,
                         ::testing::Values(ResolveCase{"/srv", "../etc", std::nullopt},
                                           ResolveCase{"/srv", "/a/../b", "/srv/b"},
                                           ResolveCase{"/srv", "a/../..", std::nullopt},
                                           ResolveCase{"/srv", "", "/srv"}, ResolveCase{"/", "a", "/a"},
                                           ResolveCase{"", "a/./b", "a/b"},
                                           ResolveCase{"/srv/../x", "y", "/srv/../x/y"}));

struct PushCase {
    const char* path;
    const char* other;
    const char* result;
};

class FilePathPush : public ::testing::TestWithParam<PushCase> {};

TEST_P(FilePathPush, AnAbsolutePathReplacesARelativeOneAppends) {
    EXPECT_EQ(FilePath(GetParam().path).pushing(GetParam().other).bytes(), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Pairs, FilePathPush,
                         ::testing::Values(PushCase{"a", "/b", "/b"}, PushCase{"a", "b", "a/b"},
                                           PushCase{"", "b", "b"}, PushCase{"/", "b", "/b"},
                                           PushCase{"a", "", "a"}));

TEST(FilePathExtension, IsThatOfTheLastComponent) {
    EXPECT_EQ(FilePath("/tmp/a.tar.gz").extension(), "gz");
    EXPECT_EQ(FilePath("/tmp/a.tar.gz").stem(), "a.tar");
    EXPECT_EQ(FilePath("/").extension(), std::nullopt);
    EXPECT_EQ(FilePath("/").stem(), std::nullopt);
}

struct SetExtensionCase {
    const char* name;
    std::string path;
    std::optional<std::string> extension;
    bool accepted;
    std::string result;
};

class FilePathSetExtension : public ::testing::TestWithParam<SetExtensionCase> {};

TEST_P(FilePathSetExtension, ReplacesTheSuffixAfterTheLastDot) {
    FilePath path(GetParam().path);
    const auto extension = GetParam().extension ? std::optional<std::string_view>(*GetParam().extension) : std::nullopt;
    EXPECT_EQ(path.setExtension(extension), GetParam().accepted);
    EXPECT_EQ(path.bytes(), GetParam().result);
    EXPECT_EQ(path, FilePath(std::string(path.bytes()))) << "still separator-normal";
}

INSTANTIATE_TEST_SUITE_P(
    Edits, FilePathSetExtension,
    ::testing::Values(
        SetExtensionCase{"Replaced", "a.txt", "md", true, "a.md"},
        SetExtensionCase{"Added", "a", "md", true, "a.md"},
        SetExtensionCase{"Dropped", "a.txt", std::nullopt, true, "a"},
        SetExtensionCase{"AfterALeadingDot", ".profile", "bak", true, ".profile.bak"},
        SetExtensionCase{"Empty", "a.txt", "", true, "a."},
        SetExtensionCase{"InADirectory", "/x.d/a.txt", "md", true, "/x.d/a.md"},
        SetExtensionCase{"OnTheRoot", "/", "md", true, "/"},
        SetExtensionCase{"OnDotDot", "a/..", "md", true, "a/.."},
        // Would add components or end the path early.
        SetExtensionCase{"HoldingASeparator", "a.txt", "b/c", false, "a.txt"},
        SetExtensionCase{"HoldingNUL", "a.txt", std::string("b\0c", 3), false, "a.txt"},
        // Scalars above ASCII are written as UTF-8, never one byte each.
        SetExtensionCase{"LatinSmallIWithOgonek", "a", "\xC4\xAF", true, "a.\xC4\xAF"},
        SetExtensionCase{"LatinCapitalAWithMacron", "a", "\xC4\x80", true, "a.\xC4\x80"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace lumenary::system
