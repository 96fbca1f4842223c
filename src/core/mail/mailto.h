#pragma once
#include <string>
#include <string_view>

namespace meru {

// The address handed to the desktop's mail program for the MAIL and MAILSTD
// commands: "mailto:" + To + "?subject=" + Subject.
//
// Every byte a mailto URL cannot hold as itself is percent-encoded (RFC 6068,
// upper-case hex, UTF-8 bytes for non-ASCII text), so "&", "#", "?", "%",
// "=" or blanks in the subject neither cut it nor add fields, and no text
// typed by the user can change the URL's shape.
//   To: letters, digits, "-._~" and "!$'()*,;:@" stay as they are ("@" and
//       "," between addresses included); white space around it is dropped.
//   Subject: letters, digits, "-._~" and "!$'()*,;:@" stay; a blank is %20.
//   "+" is written %2B in both, because some mail programs read a bare "+"
//   as a blank.
// The result is meant for QUrl::fromEncoded (strict), never for a shell.
std::string FormMailtoUrl(std::string_view to, std::string_view subject);

// Percent-encoding of one part of a mailto URL: every byte that is not an
// ASCII letter or digit and not in keep becomes "%XX".
std::string PercentEncode(std::string_view text, std::string_view keep);

}  // namespace meru
