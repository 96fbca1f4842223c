#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace meru {

// Windows-1252 <-> UTF-8. Every one of the 256 bytes has a character (the five
// bytes Windows-1252 leaves undefined map to U+0081, U+008D, U+008F, U+0090 and
// U+009D, as Windows itself maps them), so decoding never fails and a text made
// of those characters encodes back to the same bytes.
std::string Cp1252ToUtf8(std::string_view bytes);
// Cp1252ToUtf8 takes the fastest of several conversions this processor runs;
// these run each of them (0: the portable one), so all can be checked.
size_t Cp1252ToUtf8Variants();
std::string Cp1252ToUtf8Variant(size_t k, std::string_view bytes);
// The Windows-1252 bytes of a UTF-8 text, or nothing when a character has no
// Windows-1252 byte (or the UTF-8 is malformed).
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);
// The same into `out`, which has room for utf8.size() + 16 bytes (the bytes
// past the result may be overwritten): the number of bytes written.
std::optional<size_t> Utf8ToCp1252(std::string_view utf8, char* out);
// Whether every byte is below 0x80.
bool IsAscii(std::string_view s);

// UTF-16LE <-> UTF-8. Unpaired surrogates read as U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);
std::string Utf8ToUtf16Le(std::string_view utf8);

// Number of Unicode characters in a UTF-8 text.
size_t Utf8Length(std::string_view utf8);
// Byte length of the first n characters of a UTF-8 text (never splits one).
size_t Utf8PrefixBytes(std::string_view utf8, size_t nChars);

}  // namespace meru
