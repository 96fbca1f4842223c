#include "core/store/scramble.h"

namespace meru {
namespace {

template <int Sign>
std::string Walk(std::string_view text, std::string_view key) {
    std::string out(text);
    if (key.empty()) return out;
    // Positions 0..L-2 of the key, or the one character of a one-character key.
    const size_t period = key.size() > 1 ? key.size() - 1 : 1;
    size_t p = 0;
    for (char& c : out) {
        const auto k = static_cast<unsigned char>(key[p]);
        c = static_cast<char>(static_cast<unsigned char>(c) + Sign * k);
        if (++p == period) p = 0;
    }
    return out;
}

}  // namespace

std::string ScrambleText(std::string_view text, std::string_view key) { return Walk<1>(text, key); }

std::string UnscrambleText(std::string_view text, std::string_view key) {
    return Walk<-1>(text, key);
}

void EncodePassword(std::string& password) {
    // From the last byte down, so every sum uses the plain byte before it.
    for (size_t i = password.size(); i-- > 1;)
        password[i] = static_cast<char>(static_cast<unsigned char>(password[i]) +
                                        static_cast<unsigned char>(password[i - 1]));
}

void DecodePassword(std::string& password) {
    for (size_t i = 1; i < password.size(); ++i)
        password[i] = static_cast<char>(static_cast<unsigned char>(password[i]) -
                                        static_cast<unsigned char>(password[i - 1]));
}

}  // namespace meru
