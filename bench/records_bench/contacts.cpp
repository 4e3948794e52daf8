// get_all_contacts and find_phone_number over a folder of 5,000 vCard files,
// through the category as the tool service calls it, worker-pool hops
// included. Wall-clock times: the reading runs on the worker pool.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/tools/contacts/contacts_tool_handler.hpp"
#include "platform/contacts/vcard_folder_contact_store.hpp"
#include "support/temporary_directory.hpp"
#include "tool_text.hpp"

namespace {

using lumenary::app::ContactsManager;
using lumenary::app::ContactsToolHandler;
using lumenary::app::PlainDictionary;

constexpr int contactCount = 5000;

// One card as a CardDAV server hands it out: a few hundred bytes.
std::string vCard(int index) {
    const std::string number = std::to_string(index);
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//bench//EN\r\nUID:contact-" + number + "\r\nN:Family" + number +
           ";Given" + number + ";;;\r\nFN:Given" + number + " Family" + number +
           "\r\nORG:Example Company\r\nEMAIL;TYPE=INTERNET,WORK:given" + number +
           "@example.com\r\nitem1.TEL;TYPE=CELL:+1 555 01" + number + "\r\nTEL;TYPE=WORK,VOICE:+1 555 02" + number +
           "\r\nADR;TYPE=WORK:;;1 Example Street;Springfield;;12345;Country\r\nREV:2026-01-01T00:00:00Z\r\n"
           "END:VCARD\r\n";
}

// The folder, made once for every benchmark of the process, in two address
// books.
class ContactFolder {
public:
    ContactFolder() {
        for (int index = 0; index < contactCount; ++index) {
            char name[32];
            std::snprintf(name, sizeof name, "contact-%05d.vcf", index);
            const auto book = folder_.path() / (index % 2 == 0 ? "personal" : "work");
            std::filesystem::create_directories(book);
            std::ofstream(book / name, std::ios::binary) << vCard(index);
        }
        handler_ = std::make_shared<ContactsToolHandler>(std::make_shared<ContactsManager>(
            std::make_shared<lumenary::platform::VCardFolderContactStore>(folder_.path())));
    }

    std::string call(const std::string& tool, PlainDictionary arguments) {
        return records_bench::toolText(*handler_, tool, std::move(arguments));
    }

private:
    lumenary::testing::TemporaryDirectory folder_;
    std::shared_ptr<ContactsToolHandler> handler_;
};

ContactFolder& contactFolder() {
    static ContactFolder folder;
    return folder;
}

void getAllContacts(benchmark::State& state) {
    auto& folder = contactFolder();
    for (auto _ : state) {
        const auto text = folder.call("get_all_contacts", {{"limit", std::int64_t{contactCount}}});
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(getAllContacts)->Name("contacts/get_all_contacts/5000_files")->Unit(benchmark::kMillisecond)->UseRealTime();

// The store's name search finds no one, so the whole fallback runs: a
// second enumeration of every file, then both passes.
void findPhoneNumber(benchmark::State& state, const std::string& name, const std::string& expected) {
    auto& folder = contactFolder();
    for (auto _ : state) {
        const auto text = folder.call("find_phone_number", {{"name", name}});
        if (text != expected) {
            state.SkipWithError(("unexpected answer: " + text).c_str());
            return;
        }
    }
}
BENCHMARK_CAPTURE(findPhoneNumber, found_in_the_fallback, std::string("please call Given4999 Family4999 now"),
                  std::string("+1 555 014999, +1 555 024999"))
    ->Name("contacts/find_phone_number/fallback_finds_the_last")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(findPhoneNumber, not_found, std::string("Nobody Known"),
                  std::string("No phone numbers found for 'Nobody Known'"))
    ->Name("contacts/find_phone_number/fallback_finds_no_one")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(findPhoneNumber, found_by_the_store, std::string("given4999"),
                  std::string("+1 555 014999, +1 555 024999"))
    ->Name("contacts/find_phone_number/name_search_finds")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One card whose formatted name is 350,000 ideographs, each a word of its
// own: 349,000 of one kind, then the 1,000 the lookup names. A name whose
// every word is sought through every word of the card costs their product.
class HugeNameFolder {
public:
    HugeNameFolder() {
        std::string cardName;
        for (int index = 0; index < 349000; ++index) {
            cardName += ideograph(0);
        }
        for (int index = 1; index <= 1000; ++index) {
            name_ += ideograph(index);
        }
        cardName += name_;
        std::ofstream(folder_.path() / "huge.vcf", std::ios::binary)
            << "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" << cardName << "\r\nTEL:+1 555 0100\r\nEND:VCARD\r\n";
        handler_ = std::make_shared<ContactsToolHandler>(std::make_shared<ContactsManager>(
            std::make_shared<lumenary::platform::VCardFolderContactStore>(folder_.path())));
    }

    std::string call(const std::string& name) {
        return records_bench::toolText(*handler_, "find_phone_number", {{"name", name}});
    }
    // The card's last 1,000 ideographs.
    const std::string& name() const { return name_; }

private:
    // The ideograph `index` places after U+4E00, as UTF-8.
    static std::string ideograph(int index) {
        const auto point = static_cast<unsigned>(0x4E00 + index);
        return {static_cast<char>(0xE0 | (point >> 12)), static_cast<char>(0x80 | ((point >> 6) & 0x3F)),
                static_cast<char>(0x80 | (point & 0x3F))};
    }

    lumenary::testing::TemporaryDirectory folder_;
    std::string name_;
    std::shared_ptr<ContactsToolHandler> handler_;
};

HugeNameFolder& hugeNameFolder() {
    static HugeNameFolder folder;
    return folder;
}

void findInHugeName(benchmark::State& state, const std::string& expected, int copies) {
    auto& folder = hugeNameFolder();
    std::string name;
    for (int copy = 0; copy < copies; ++copy) {
        name += folder.name();
    }
    for (auto _ : state) {
        std::string text;
        try {
            text = folder.call(name);
        } catch (const std::runtime_error& refusal) {
            text = refusal.what();
        }
        if (text != expected) {
            state.SkipWithError(("unexpected answer: " + text.substr(0, 200)).c_str());
            return;
        }
    }
}
BENCHMARK_CAPTURE(findInHugeName, found, std::string("+1 555 0100"), 1)
    ->Name("contacts/find_phone_number/1000_character_name_in_a_350000_character_card")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// The shape: 175 times the name (525 KB), which is refused.
BENCHMARK_CAPTURE(findInHugeName, refused, std::string("Name argument too long: 175000 characters, at most 1000"),
                  175)
    ->Name("contacts/find_phone_number/525_KB_name_against_a_350000_character_card")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
