#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// Choices drawn from the end of a fuzz input, so that its front can stay a plain file or
// session that the choices then act on; an exhausted input gives zeros. (The same scheme as
// LLVM's FuzzedDataProvider, kept here so that the replay driver also builds with gcc.)
class FuzzChoices {
public:
    explicit FuzzChoices(std::string_view input)
        : input_(input)
        , left_(input.size()) {}

    uint8_t byte() { return left_ == 0 ? 0 : static_cast<uint8_t>(input_[--left_]); }

    // A number in [0, bound), or 0 for a bound of 0.
    size_t below(size_t bound) {
        if (bound == 0)
            return 0;
        size_t value = byte();
        for (size_t range = 0xFF; range < bound - 1; range = (range << 8) | 0xFF)
            value = (value << 8) | byte();
        return value % bound;
    }

    bool flag() { return (byte() & 1) != 0; }

    // Any slice of the whole input, at most `maxLength` bytes long.
    std::string_view slice(size_t maxLength) {
        const size_t start = below(input_.size() + 1);
        const size_t length = below(maxLength + 1);
        return input_.substr(start, length);
    }

private:
    std::string_view input_;
    size_t left_;
};

// Stops the run with a message: a broken property is a finding just as a crash is. The abort
// makes libFuzzer save the input that broke it.
[[noreturn]] inline void fuzzFailure(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "property broken: %s\n", what);
    if (!detail.empty()) {
        std::fputs("  detail: \"", stderr);
        for (const char c : detail.substr(0, 400)) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\')
                std::fputc(c, stderr);
            else
                std::fprintf(stderr, "\\x%02x", u);
        }
        std::fputs(detail.size() > 400 ? "\"...\n" : "\"\n", stderr);
    }
    std::abort();
}
