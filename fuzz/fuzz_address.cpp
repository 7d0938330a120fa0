// The address finder on any bytes: every address it gives is one a reader could paste, and it
// finds itself again when given alone.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QByteArray>

#include "extract/address_finder.h"
#include "fuzz_input.h"

namespace {

bool isValidUtf8(std::string_view text)
{
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    AddressFinder finder;
    std::vector<std::pair<std::string, std::size_t>> found;
    finder.find(text, [&found](std::string_view address, std::size_t offset) {
        found.emplace_back(std::string(address), offset);
    });

    std::size_t previous = 0;
    for (const auto &[address, offset] : found) {
        FUZZ_CHECK(offset < size);
        FUZZ_CHECK(offset >= previous);
        previous = offset + 1;
        const std::size_t at = address.find('@');
        FUZZ_CHECK(at != std::string::npos && at > 0 && at <= 64);
        FUZZ_CHECK(address.find('@', at + 1) == std::string::npos);
        FUZZ_CHECK(isValidUtf8(address));
        for (const char c : address)
            FUZZ_CHECK(static_cast<unsigned char>(c) > ' ' && c != '<' && c != '>' && c != '"' &&
                       c != '(' && c != ')' && c != ',' && c != ';' && c != ':');
        const std::string_view domain = std::string_view(address).substr(at + 1);
        FUZZ_CHECK(domain.find('.') != std::string_view::npos);
        FUZZ_CHECK(domain.front() != '.' && domain.back() != '.');
        for (const char c : domain)
            FUZZ_CHECK(c < 'A' || c > 'Z');
        // Unless the text was percent-escaped or held a quote escaped as in a string literal
        // (`''`, `\'`), the local part is the text as written.
        const std::string_view written = text.substr(offset, at);
        if (written.find('%') == std::string_view::npos &&
            written.find("''") == std::string_view::npos &&
            written.find("\\'") == std::string_view::npos)
            FUZZ_CHECK(written == std::string_view(address).substr(0, at));

        if (address.find('%') == std::string::npos) {
            std::vector<std::string> again;
            finder.find(address, [&again](std::string_view a, std::size_t o) {
                FUZZ_CHECK(o == 0);
                again.emplace_back(a);
            });
            FUZZ_CHECK(again.size() == 1 && again.front() == address);
        }
    }
    return 0;
}
