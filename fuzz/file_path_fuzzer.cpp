// Path normalisation: separator-normal on construction, lexical
// normalisation idempotent and never longer than its input plus one
// separator, and resolving below a folder never climbs out of it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.hpp"
#include "system/file_path.hpp"

using lumenary::system::FilePath;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const FilePath path(text);
    LUMENARY_FUZZ_CHECK(FilePath::isSeparatorNormal(path.systemString()));
    LUMENARY_FUZZ_CHECK(FilePath(path.bytes()) == path);

    const FilePath normal = path.lexicallyNormalized();
    LUMENARY_FUZZ_CHECK(normal.isLexicallyNormal());
    LUMENARY_FUZZ_CHECK(normal.lexicallyNormalized() == normal);
    LUMENARY_FUZZ_CHECK(normal.bytes().size() <= text.size() + 1);
    LUMENARY_FUZZ_CHECK(normal.isAbsolute() == path.isAbsolute());

    const FilePath folder("/folder");
    if (const auto resolved = folder.lexicallyResolving(path)) {
        LUMENARY_FUZZ_CHECK(resolved->starts(folder));
        LUMENARY_FUZZ_CHECK(resolved->lexicallyNormalized() == *resolved);
    }
    return 0;
}
