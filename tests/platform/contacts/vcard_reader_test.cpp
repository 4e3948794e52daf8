#include <gtest/gtest.h>

#include "platform/contacts/vcard_reader.hpp"

namespace lumenary::platform {

// Failures show the contact, not its bytes.
void PrintTo(const StoreContact& contact, std::ostream* out) {
    if (contact.name) {
        *out << "N[" << contact.name->familyName << "|" << contact.name->givenName;
        for (const auto& other : contact.name->otherNames) *out << "|" << other;
        *out << "] ";
    }
    *out << "FN[" << contact.formattedName << "] NICK[";
    for (const auto& nickname : contact.nicknames) *out << nickname << "|";
    *out << "] TEL[";
    for (const auto& number : contact.phoneNumbers) *out << number << "|";
    *out << "]";
}

namespace {

StoreContact card(std::optional<ContactName> name, std::string formattedName, std::vector<std::string> numbers,
                  std::vector<std::string> nicknames = {}) {
    return {.name = std::move(name),
            .formattedName = std::move(formattedName),
            .nicknames = std::move(nicknames),
            .phoneNumbers = std::move(numbers)};
}

ContactName name(std::string family, std::string given, std::vector<std::string> others = {}) {
    return {.familyName = std::move(family), .givenName = std::move(given), .otherNames = std::move(others)};
}

struct ReaderCase {
    const char* what;
    std::string file;
    std::vector<StoreContact> contacts;
};

TEST(VCardReaderTest, ReadsEachCase) {
    const ReaderCase cases[] = {
        {"3.0 with CR LF, numbers in order",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ana;;;\r\nFN:Ana Lee\r\nTEL:+1 1\r\nTEL:+1 2\r\nEND:VCARD\r\n",
         {card(name("Lee", "Ana"), "Ana Lee", {"+1 1", "+1 2"})}},
        {"bare LF", "BEGIN:VCARD\nN:Lee;Ana\nTEL:1\nEND:VCARD\n", {card(name("Lee", "Ana"), "", {"1"})}},
        {"bare CR", "BEGIN:VCARD\rN:Lee;Ana\rTEL:1\rEND:VCARD\r", {card(name("Lee", "Ana"), "", {"1"})}},
        {"folded with a space and a tab", "BEGIN:VCARD\r\nFN:Ana\r\n  Maria\r\n\t Lee\nTEL:1\n 2\nEND:VCARD",
         {card(std::nullopt, "Ana Maria Lee", {"12"})}},
        {"byte-order mark", "\xEF\xBB\xBF" "BEGIN:VCARD\nFN:Ana\nTEL:1\nEND:VCARD\n", {card(std::nullopt, "Ana", {"1"})}},
        {"2.1 quoted-printable with soft line breaks",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E7=8E=8B;=E4=BC=\r\n=9F;;;\r\n"
         "FN;QUOTED-PRINTABLE:Jos=\r\n=C3=A9\r\nTEL;CELL:1\r\nEND:VCARD\r\n",
         {card(name("王", "伟"), "José", {"1"})}},
        {"2.1 CHARSET converted", "BEGIN:VCARD\nFN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Jos=E9\n"
                                  "N;CHARSET=windows-1252:M\xfcller;J\xfcrgen\nEND:VCARD",
         {card(name("Müller", "Jürgen"), "José", {})}},
        {"unknown CHARSET falls back to repair", "BEGIN:VCARD\nFN;CHARSET=X-NONE:Jos\xe9\nEND:VCARD",
         {card(std::nullopt, "Jos\uFFFD", {})}},
        {"Latin-1 without CHARSET, invalid UTF-8", "BEGIN:VCARD\nFN:Jos\xe9 \xff\xfe\nTEL:\xc3\nEND:VCARD",
         {card(std::nullopt, "Jos\uFFFD \uFFFD\uFFFD", {"\uFFFD"})}},
        {"groups, letter case and parameters",
         "begin:vcard\nitem1.TEL;type=CELL,voice:1\nItem2.tel;TYPE=\"cell,voice\":2\ntel;CELL;VOICE:3\n"
         "TEL;X-LABEL=\"a:b;c\":4\nfn:Ana\nEnd:VCard\n",
         {card(std::nullopt, "Ana", {"1", "2", "3", "4"})}},
        {"value escapes", "BEGIN:VCARD\nN:Lee\\;Kim;Ana\\, Jr.;;Dr.;\nFN:A\\nB\\NC\\\\D\\,E\\;F\\:G\\xH\nEND:VCARD",
         {card(name("Lee;Kim", "Ana, Jr.", {"Dr."}), "A\nB\nC\\D,E;F:G\\xH", {})}},
        {"short N and nicknames", "BEGIN:VCARD\nN:Lee\nNICKNAME:Ace,Bo\\,b,\nNICKNAME:Cy\nEND:VCARD",
         {card(name("Lee", ""), "", {}, {"Ace", "Bo,b", "Cy"})}},
        {"tel: values", "BEGIN:VCARD\nTEL;VALUE=uri;TYPE=cell:tel:+1-555-0100\nTEL:TEL:+2\nTEL:\nEND:VCARD",
         {card(std::nullopt, "", {"+1-555-0100", "+2"})}},
        {"several cards, lines outside ignored",
         "TEL:0\nBEGIN:VCARD\nFN:A\nEND:VCARD\nTEL:9\nBEGIN:VCARD\nFN:B\nTEL:2\nEND:VCARD\n",
         {card(std::nullopt, "A", {}), card(std::nullopt, "B", {"2"})}},
        {"nested card passed over",
         "BEGIN:VCARD\nVERSION:2.1\nFN:Boss\nAGENT:\nBEGIN:VCARD\nFN:Assistant\nTEL:2\nEND:VCARD\nTEL:1\nEND:VCARD\n",
         {card(std::nullopt, "Boss", {"1"})}},
        {"2.1 base64 blocks passed over",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nPHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ\r\nSkZJRgAB\r\nAQAAAQAB\r\n\r\n"
         "LOGO;BASE64:\r\n  /9j/4AAQ\r\n  SkZJRgAB\r\n\r\nFN;ENCODING=b:QW5h\r\nTEL:1\r\nEND:VCARD\r\n",
         {card(std::nullopt, "", {"1"})}},
        {"a quoted-printable value passed over keeps its continuation",
         "BEGIN:VCARD\nNOTE;ENCODING=QUOTED-PRINTABLE:call=\nTEL:999\nTEL:1\nEND:VCARD",
         {card(std::nullopt, "", {"1"})}},
        {"card with no END", "BEGIN:VCARD\nFN:Ana\nTEL:1", {card(std::nullopt, "Ana", {"1"})}},
        {"no cards at all", "FN:Ana\nTEL:1\n", {}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(readVCards(testCase.file), testCase.contacts) << testCase.what;
    }
}

TEST(VCardReaderTest, AFiveMegabytePhotoIsPassedOver) {
    std::string file = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ana\r\nPHOTO;ENCODING=b;TYPE=JPEG:";
    for (int line = 0; line < 5 * 1024 * 1024 / 74; ++line) {
        file.append(74, 'A').append("\r\n ");
    }
    file.append("AA==\r\nTEL:1\r\nEND:VCARD\r\n");
    EXPECT_EQ(readVCards(file), std::vector<StoreContact>{card(std::nullopt, "Ana", {"1"})});
}

}  // namespace
}  // namespace lumenary::platform
