#pragma once
#include <string>
#include <string_view>

namespace meru {

// The additive content transform keyed by the data password. Texts are byte
// strings (they may hold byte 0 once scrambled); results keep the length.
//
// The key walk uses the key's positions 0..L-2 and starts again, so the last
// character of a password of two or more characters takes no part. A
// one-character key shifts every byte by that character. An empty key leaves
// the text unchanged.
std::string ScrambleText(std::string_view text, std::string_view key);
std::string UnscrambleText(std::string_view text, std::string_view key);

// Stored form of the password: every byte after the first is added to the
// plain byte before it. Both change the password in place.
void EncodePassword(std::string& password);
void DecodePassword(std::string& password);

}  // namespace meru
