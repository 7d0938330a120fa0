#include "extract/address_finder.h"

#include <string>

// A crude finder that stands in until the real one is merged.
struct AddressFinder::State
{
    std::string address;
};

AddressFinder::AddressFinder() : m_state(std::make_unique<State>()) {}

AddressFinder::~AddressFinder() = default;

namespace {

bool localByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c >= 0x80 || c == '.' || c == '_' || c == '%' || c == '+' || c == '-';
}

bool domainByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

} // namespace

void AddressFinder::find(
    std::string_view utf8,
    const std::function<void(std::string_view address, std::size_t offset)> &found)
{
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = utf8.find('@', from);
        if (at == std::string_view::npos)
            return;
        std::size_t begin = at;
        while (begin > from && localByte(static_cast<unsigned char>(utf8[begin - 1])))
            --begin;
        while (begin < at && utf8[begin] == '.')
            ++begin;
        std::size_t end = at + 1;
        while (end < utf8.size() && domainByte(static_cast<unsigned char>(utf8[end])))
            ++end;
        while (end > at + 1 && utf8[end - 1] == '.')
            --end;
        const std::string_view domain = utf8.substr(at + 1, end - at - 1);
        if (begin < at && domain.find('.') != std::string_view::npos) {
            std::string &a = m_state->address;
            a.assign(utf8.substr(begin, at + 1 - begin));
            for (const char c : domain)
                a += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            found(a, begin);
        }
        from = end > at ? end : at + 1;
    }
}
