#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

// Finds the e-mail addresses a person reading a text would want: `local@domain` with nothing
// around it (no brackets, quotes, punctuation, `mailto:` or its query, `key=` prefixes), the
// domain in lower case, the local part as written. Leaves out what only looks like one:
// Message-IDs and `cid:` URLs, file names such as `logo@2x.png`, CSS at-rules, package specs,
// `git@host:repo`, URL credentials, names without a dotted domain.
class AddressFinder
{
public:
    AddressFinder();
    ~AddressFinder();
    AddressFinder(const AddressFinder &) = delete;
    AddressFinder &operator=(const AddressFinder &) = delete;

    // Calls `found` for every address of `utf8` (valid UTF-8), in order: the address as it is
    // written out (valid only during the call) and the byte offset in `utf8` where it starts.
    // One finder serves one thread.
    void find(std::string_view utf8,
              const std::function<void(std::string_view address, std::size_t offset)> &found);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
