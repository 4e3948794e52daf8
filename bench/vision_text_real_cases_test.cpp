#include "vision_text_real_cases.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"
#include "typeset_pages.hpp"

namespace lumenary::vision_bench {
namespace {

const std::string someHash(64, 'a');

std::filesystem::path written(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string contents(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(RealManifest, PlacesEachImageUnderItsPackageWithItsLines) {
    testing::TemporaryDirectory folder;
    const auto path = written(folder.path() / "tool.tsv",
                              "# Tool: GTK, its dialogs; GPL-3+\n"
                              "program\tTool\n"
                              "language\tfr-FR\n"
                              "\n"
                              "package\ttool-doc\t1:2.0-1\t" +
                                  someHash +
                                  "\n"
                                  "screen\tusr/share/doc/a.png\tlight\tWidth:\t5\n"
                                  "package\ttool-data\t3\t" +
                                  someHash +
                                  "\n"
                                  "page\tusr/share/b.png\tfirst line\tsecond line\n"
                                  "installed\t/usr/share/c.png\tone line\n"
                                  "photo\tusr/share/d.jpg\tNO PARKING\n"
                                  "pdf\tusr/share/doc/manual.pdf\t12\n");
    const auto manifest = readRealManifest(path, "/out");
    ASSERT_TRUE(manifest) << manifest.error().description;
    EXPECT_EQ(manifest.value().program, "Tool");
    EXPECT_EQ(manifest.value().languages, (std::vector<std::string>{"fr-FR"}));
    const auto& images = manifest.value().images;
    ASSERT_EQ(images.size(), 5U);
    EXPECT_EQ(images[0].kind, RealImage::Kind::screen);
    EXPECT_EQ(images[0].path, "/out/tool-doc_1:2.0-1/usr/share/doc/a.png");
    EXPECT_EQ(images[0].lines, (std::vector<std::string>{"Width:", "5"}));
    EXPECT_EQ(images[1].kind, RealImage::Kind::page);
    EXPECT_EQ(images[1].path, "/out/tool-data_3/usr/share/b.png");
    EXPECT_EQ(images[1].lines, (std::vector<std::string>{"first line", "second line"}));
    EXPECT_EQ(images[2].kind, RealImage::Kind::page);
    EXPECT_EQ(images[2].path, "/usr/share/c.png");
    EXPECT_EQ(images[2].lines, (std::vector<std::string>{"one line"}));
    EXPECT_EQ(images[3].kind, RealImage::Kind::photo);
    EXPECT_EQ(images[3].path, "/out/tool-data_3/usr/share/d.jpg");
    EXPECT_EQ(images[4].kind, RealImage::Kind::pdfPage);
    EXPECT_EQ(images[4].path, "/out/tool-data_3/usr/share/doc/manual.pdf");
    EXPECT_EQ(images[4].pdfPage, 12);
    EXPECT_TRUE(images[4].lines.empty());
}

TEST(RealManifest, RefusesALineOutsideTheFormatNamingIt) {
    const std::string program = "program\tTool\n";
    const std::string package = "package\ttool\t1.0\t" + someHash + "\n";
    const struct {
        std::string text;
        std::string said;
    } cases[] = {
        {"screen\tusr/a.png\tlight\t5\n", "program line must come first"},
        {program + "screen\tusr/a.png\tlight\t5\n", "before any package line"},
        {program + "package\ttool\t1.0\tABC\n", "sha256"},
        {program + package + "screen\tusr/a.png\tgrey\t5\n", "light or dark"},
        {program + package + "screen\tusr/a.png\tlight\n", "without values"},
        {program + package + "page\tusr/../../etc/a.png\tline\n", "not a path inside a package"},
        {program + package + "page\t/usr/a.png\tline\n", "not a path inside a package"},
        {program + package + "page\tusr/a.png\tline\t\tline\n", "empty field"},
        {program + "installed\tusr/a.png\tline\n", "absolute path"},
        {program + "program\tOther\n", "second program line"},
        {program + "language\tfr\tde\n", "one language tag"},
        {program + "picture\tusr/a.png\n", "unknown line kind"},
        {program + "pdf\tusr/a.pdf\t3\n", "before any package line"},
        {program + package + "pdf\tusr/a.pdf\t0\n", "one page number, from 1"},
        {program + package + "pdf\tusr/a.pdf\tiii\n", "one page number, from 1"},
        {program + package + "pdf\tusr/a.pdf\t3\t4\n", "one page number, from 1"},
        {program + package + "pdf\tusr/a.pdf\n", "one page number, from 1"},
        {program + package + "pdf\n", "one page number, from 1"},
        {program + package + "pdf\t../a.pdf\t3\n", "not a path inside a package"},
        {"# only a comment\n", "no program line"},
    };
    testing::TemporaryDirectory folder;
    for (const auto& [text, said] : cases) {
        const auto manifest = readRealManifest(written(folder.path() / "m.tsv", text), "/out");
        ASSERT_FALSE(manifest) << text;
        EXPECT_NE(manifest.error().description.find(said), std::string::npos) << manifest.error().description;
        EXPECT_NE(manifest.error().description.find("m.tsv:"), std::string::npos) << manifest.error().description;
    }
}

TEST(TypesetLines, KeepTheLinesAReaderSeesSpacedOnce) {
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"  Comments\n\nThe   comment\tcharacter #\n", {"Comments", "The comment character #"}},
        {"last line\n\f", {"last line"}},
        {"\xEF\xAC\x81" "le, o\xEF\xAC\x83" "ce: \xEF\xAC\x80 \xEF\xAC\x82 \xEF\xAC\x84", {"file, office: ff fl ffl"}},
        {"\u201Cquoted\u201D \u2013 caf\u00E9\n", {"\u201Cquoted\u201D \u2013 caf\u00E9"}},
        {"   \n \f\n", {}},
    };
    for (const auto& [text, lines] : cases) {
        EXPECT_EQ(typesetLines(text), lines) << text;
    }
}

// bench/fetch_real_text on a package built here, with a stand-in for
// apt-get download on the PATH that copies it and counts its calls.
class FetchRealText : public ::testing::Test {
protected:
    void SetUp() override {
        const auto tree = folder.path() / "tree";
        written(tree / "DEBIAN" / "control",
                "Package: tool-doc\nVersion: 1.0\nArchitecture: all\n"
                "Maintainer: Nobody <nobody@example.org>\nDescription: pictures\n");
        written(tree / "usr/share/doc/tool/screen.png", "screen bytes");
        written(tree / "usr/share/doc/tool/page.png", "page bytes");
        deb = folder.path() / "tool-doc_1.0_all.deb";
        testing::ChildProcess build(
            {"/usr/bin/dpkg-deb", "--root-owner-group", "-Zgzip", "--build", tree.string(), deb.string()});
        build.readAll();
        ASSERT_EQ(build.waitForExit(), 0);
        hash = sha256Of(deb);
        const auto aptGet = written(
            folder.path() / "bin" / "apt-get",
            "#!/bin/sh\necho \"$*\" >>'" + (folder.path() / "calls").string() + "'\ncp '" + deb.string() + "' .\n");
        ::chmod(aptGet.c_str(), 0755);
        ::setenv("PATH", ((folder.path() / "bin").string() + ":" + searchPath).c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (folder.path() / "cache").c_str(), 1);
    }

    void TearDown() override {
        ::setenv("PATH", searchPath.c_str(), 1);
        ::unsetenv("XDG_CACHE_HOME");
    }

    static std::string sha256Of(const std::filesystem::path& path) {
        testing::ChildProcess sum({"/usr/bin/sha256sum", path.string()});
        return sum.readAll().substr(0, 64);
    }

    std::filesystem::path manifest(const std::string& pinned, const std::vector<std::string>& members) {
        std::string text = "program\tTool\npackage\ttool-doc\t1.0\t" + pinned + "\n";
        for (const std::string& member : members) {
            text += "page\t" + member + "\ta line\n";
        }
        return written(folder.path() / "tool.tsv", text);
    }

    int fetch(const std::filesystem::path& manifestPath) {
        const auto status = fetchRealImages(script, folder.path() / "out", {manifestPath});
        EXPECT_TRUE(status) << status.error().description;
        return status ? status.value() : -1;
    }

    long calls() {
        const std::string text = contents(folder.path() / "calls");
        return std::count(text.begin(), text.end(), '\n');
    }

    const std::string searchPath = std::getenv("PATH");
    testing::TemporaryDirectory folder;
    std::filesystem::path deb;
    std::string hash;
    const std::filesystem::path script = std::filesystem::path(LUMENARY_SOURCE_DIR) / "bench" / "fetch_real_text";
    const std::filesystem::path images = folder.path() / "out" / "tool-doc_1.0" / "usr/share/doc/tool";
    const std::filesystem::path cached = folder.path() / "cache" / "lumenary" / "real-text" / "tool-doc_1.0";
};

TEST_F(FetchRealText, BringsTheNamedImagesOnceFromAPackageMatchingItsHash) {
    const auto path = manifest(hash, {"usr/share/doc/tool/screen.png"});
    EXPECT_EQ(fetch(path), 0);
    EXPECT_EQ(contents(images / "screen.png"), "screen bytes");
    EXPECT_FALSE(std::filesystem::exists(images / "page.png"));
    EXPECT_EQ(contents(folder.path() / "calls"), "download -q tool-doc=1.0\n");

    // Again with the images gone: they come from the cached package.
    std::filesystem::remove_all(folder.path() / "out");
    EXPECT_EQ(fetch(path), 0);
    EXPECT_EQ(contents(images / "screen.png"), "screen bytes");
    EXPECT_EQ(calls(), 1);
}

TEST_F(FetchRealText, BringsAPdfNamedForEachOfItsPages) {
    const auto path = written(folder.path() / "tool.tsv", "program\tTool\npackage\ttool-doc\t1.0\t" + hash +
                                                              "\npdf\tusr/share/doc/tool/page.png\t1\n"
                                                              "pdf\tusr/share/doc/tool/page.png\t2\n");
    EXPECT_EQ(fetch(path), 0);
    EXPECT_EQ(contents(images / "page.png"), "page bytes");
}

TEST_F(FetchRealText, SaysNothingWhenAllIsThere) {
    const auto path = manifest(hash, {"usr/share/doc/tool/screen.png", "usr/share/doc/tool/page.png"});
    EXPECT_EQ(fetch(path), 0);
    const auto said = folder.path() / "said";
    testing::ChildProcess again({script.string(), (folder.path() / "out").string(), path.string()}, -1, said.string());
    again.readAll();
    EXPECT_EQ(again.waitForExit(), 0);
    EXPECT_EQ(contents(said), "");
    EXPECT_EQ(calls(), 1);
}

TEST_F(FetchRealText, KeepsNothingOfAPackageNotMatchingItsHash) {
    EXPECT_EQ(fetch(manifest(std::string(64, '0'), {"usr/share/doc/tool/screen.png"})), 1);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "out" / "tool-doc_1.0"));
    EXPECT_TRUE(!std::filesystem::exists(cached) || std::filesystem::is_empty(cached));
    const auto cache = folder.path() / "cache" / "lumenary" / "real-text";
    EXPECT_TRUE(std::filesystem::is_empty(cache));
}

TEST_F(FetchRealText, BringsTheImagesThereAreAndFailsForAMissingOne) {
    EXPECT_EQ(fetch(manifest(hash, {"usr/share/doc/tool/page.png", "usr/share/doc/tool/gone.png"})), 1);
    EXPECT_EQ(contents(images / "page.png"), "page bytes");
    EXPECT_FALSE(std::filesystem::exists(images / "gone.png"));
}

TEST_F(FetchRealText, FetchesAgainACachedPackageDamagedSinceItCame) {
    const auto path = manifest(hash, {"usr/share/doc/tool/page.png"});
    EXPECT_EQ(fetch(path), 0);
    written(cached / "tool-doc_1.0_all.deb", "damaged");
    std::filesystem::remove_all(folder.path() / "out");
    EXPECT_EQ(fetch(path), 0);
    EXPECT_EQ(contents(images / "page.png"), "page bytes");
    EXPECT_EQ(calls(), 2);
}

}  // namespace
}  // namespace lumenary::vision_bench
