#include "core/contacts/vcard.h"

#include <optional>
#include <utility>

namespace meru {

namespace {

// ------------------------------------------------------------------ writing

constexpr std::size_t kFoldOctets = 75;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Text value escaping: backslash, comma, semicolon and line breaks (CR LF,
// LF or CR alone) become \\, \, \; and \n.
std::string Escape(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        switch (c) {
            case '\\': out += "\\\\"; break;
            case ',': out += "\\,"; break;
            case ';': out += "\\;"; break;
            case '\r':
                if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
                out += "\\n";
                break;
            case '\n': out += "\\n"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

// Appends one content line, folded so that no line is longer than 75 octets
// without its CR LF; a character's UTF-8 bytes are never split.
void AppendFolded(std::string& out, std::string_view line) {
    std::size_t limit = kFoldOctets;
    while (line.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && IsContinuation(static_cast<unsigned char>(line[cut]))) --cut;
        if (cut == 0) cut = limit;  // not UTF-8: cut anywhere rather than loop
        out.append(line.substr(0, cut));
        out += "\r\n ";
        line.remove_prefix(cut);
        limit = kFoldOctets - 1;  // the leading blank counts
    }
    out.append(line);
    out += "\r\n";
}

void AppendProperty(std::string& out, std::string_view name, std::string_view value,
                    bool escape = true) {
    std::string line(name);
    line += ':';
    line += escape ? Escape(value) : std::string(value);
    AppendFolded(out, line);
}

// N from the Name: the last word is the family name, what comes before it
// the given name(s).
std::string StructuredName(const std::string& name) {
    std::size_t end = name.size();
    while (end > 0 && name[end - 1] == ' ') --end;
    const std::size_t blank = name.rfind(' ', end == 0 ? 0 : end - 1);
    if (end == 0 || blank == std::string::npos) return Escape(name) + ";;;;";
    std::size_t givenEnd = blank;
    while (givenEnd > 0 && name[givenEnd - 1] == ' ') --givenEnd;
    return Escape(std::string_view(name).substr(blank + 1, end - blank - 1)) + ";" +
           Escape(std::string_view(name).substr(0, givenEnd)) + ";;;";
}

}  // namespace

std::string WriteVCards(const std::vector<CContact>& contacts) {
    std::string out;
    out.reserve(contacts.size() * 128);
    for (const CContact& c : contacts) {
        out += "BEGIN:VCARD\r\nVERSION:4.0\r\n";
        AppendProperty(out, "FN", c.m_strName);
        AppendProperty(out, "N", StructuredName(c.m_strName), false);
        if (!c.m_strEmail.empty()) AppendProperty(out, "EMAIL", c.m_strEmail);
        if (!c.m_strTelephone.empty()) AppendProperty(out, "TEL;TYPE=voice", c.m_strTelephone);
        if (!c.m_strCellular.empty()) AppendProperty(out, "TEL;TYPE=cell", c.m_strCellular);
        if (!c.m_strBirthday.empty()) AppendProperty(out, "BDAY;VALUE=text", c.m_strBirthday);
        if (!c.m_strNote.empty()) AppendProperty(out, "NOTE", c.m_strNote);
        out += "END:VCARD\r\n";
    }
    return out;
}

std::string ImportedMessage(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " contact added." : " contacts added.");
}

// ------------------------------------------------------------------ reading

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Upper(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
    if (needle.size() > hay.size()) return false;
    for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i)
        if (EqualsNoCase(hay.substr(i, needle.size()), needle)) return true;
    return false;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Position of the first `sep` outside double quotes, or npos.
std::size_t FindUnquoted(std::string_view s, char sep, std::size_t from = 0) {
    bool quoted = false;
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s[i] == '"')
            quoted = !quoted;
        else if (s[i] == sep && !quoted)
            return i;
    }
    return std::string_view::npos;
}

// One logical line: the physical lines it was unfolded from start at `line`.
struct LogicalLine {
    std::string text;
    std::size_t line;
};

// Splits into physical lines (CR LF, LF or CR) and unfolds them: a line that
// starts with a blank or a tab continues the one before; a quoted-printable
// value that ends with "=" continues on the next line whatever it starts with.
std::vector<LogicalLine> Unfold(std::string_view bytes) {
    std::vector<LogicalLine> lines;
    bool qp = false;  // the current logical line is quoted-printable
    std::size_t pos = 0;
    std::size_t number = 0;
    while (pos < bytes.size()) {
        std::size_t end = pos;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        const std::string_view phys = bytes.substr(pos, end - pos);
        ++number;
        pos = end;
        // CR LF, CR or LF ends the line.
        if (pos < bytes.size()) {
            const bool cr = bytes[pos] == '\r';
            ++pos;
            if (cr && pos < bytes.size() && bytes[pos] == '\n') ++pos;
        }

        if (!lines.empty() && qp && !lines.back().text.empty() && lines.back().text.back() == '=') {
            lines.back().text.pop_back();
            lines.back().text.append(phys);
            continue;
        }
        if (!lines.empty() && !phys.empty() && (phys.front() == ' ' || phys.front() == '\t')) {
            lines.back().text.append(phys.substr(1));
            continue;
        }
        if (phys.empty()) {
            qp = false;
            continue;
        }
        lines.push_back({std::string(phys), number});
        const std::size_t colon = FindUnquoted(phys, ':');
        const std::string_view head =
            phys.substr(0, colon == std::string_view::npos ? phys.size() : colon);
        qp = ContainsNoCase(head, "QUOTED-PRINTABLE");
    }
    return lines;
}

struct Property {
    std::string name;                 // upper case, group removed
    std::vector<std::string> params;  // as written, "KEY=VALUE" or bare
    std::string_view value;
};

std::optional<Property> ParseLine(std::string_view line) {
    const std::size_t colon = FindUnquoted(line, ':');
    if (colon == std::string_view::npos) return std::nullopt;
    Property p;
    const std::string_view head = line.substr(0, colon);
    p.value = line.substr(colon + 1);
    std::size_t semi = FindUnquoted(head, ';');
    std::string_view name = head.substr(0, semi);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name.remove_prefix(dot + 1);
    p.name = UpperCopy(Trim(name));
    while (semi != std::string_view::npos) {
        const std::size_t next = FindUnquoted(head, ';', semi + 1);
        p.params.emplace_back(Trim(head.substr(
            semi + 1, next == std::string_view::npos ? std::string_view::npos : next - semi - 1)));
        semi = next;
    }
    return p;
}

// The parameter's value without quotes ("" when absent); bare parameters of
// version 2.1 ("CELL", "QUOTED-PRINTABLE") count as values of `bareKey`.
std::vector<std::string> ParamValues(const Property& p, std::string_view key, bool bareToo) {
    std::vector<std::string> out;
    for (const std::string& param : p.params) {
        const std::size_t eq = param.find('=');
        std::string_view value;
        if (eq == std::string::npos) {
            if (!bareToo) continue;
            value = param;
        } else {
            if (!EqualsNoCase(Trim(std::string_view(param).substr(0, eq)), key)) continue;
            value = Trim(std::string_view(param).substr(eq + 1));
        }
        // A value may be a comma-separated list, quoted as a whole.
        std::string v(value);
        std::string item;
        for (char c : v) {
            if (c == '"') continue;
            if (c == ',') {
                out.push_back(UpperCopy(Trim(item)));
                item.clear();
            } else {
                item.push_back(c);
            }
        }
        out.push_back(UpperCopy(Trim(item)));
    }
    return out;
}

bool HasValue(const std::vector<std::string>& values, std::string_view v) {
    for (const std::string& x : values)
        if (x == v) return true;
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string DecodeQuotedPrintable(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '=' && i + 2 < s.size()) {
            const int hi = HexDigit(s[i + 1]);
            const int lo = HexDigit(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        if (s[i] == '=' && i + 1 == s.size()) break;  // a soft break at the very end
        out.push_back(s[i]);
    }
    return out;
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else
            return false;
        if (i + n >= s.size()) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if (!IsContinuation(cc)) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

// Windows-1252 (a superset of ISO-8859-1's printable characters) to UTF-8;
// the five bytes it leaves undefined stand for the C1 controls of the same
// number, as Windows maps them.
std::string Cp1252ToUtf8(std::string_view bytes) {
    static constexpr char16_t k80[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        const char16_t u = b >= 0x80 && b < 0xA0 ? k80[b - 0x80] : char16_t(b);
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

// Line breaks of any kind become CR LF, as the program stores them.
std::string ToCrLf(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (s[i] == '\n') {
            out += "\r\n";
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out.push_back(s[i]);
            continue;
        }
        const char n = s[++i];
        switch (n) {
            case 'n':
            case 'N': out += "\r\n"; break;
            case '\\':
            case ',':
            case ';':
            case ':': out.push_back(n); break;
            default: out.push_back('\\'); out.push_back(n);
        }
    }
    return ToCrLf(out);
}

// The raw value's bytes as UTF-8: quoted-printable decoded, other character
// sets read as Windows-1252 (as is any value that is not valid UTF-8).
std::string DecodedValue(const Property& p) {
    std::string raw(p.value);
    const auto enc = ParamValues(p, "ENCODING", true);
    if (HasValue(enc, "QUOTED-PRINTABLE")) raw = DecodeQuotedPrintable(raw);
    const auto cs = ParamValues(p, "CHARSET", false);
    const bool declaredOther =
        !cs.empty() && cs.front() != "UTF-8" && cs.front() != "UTF8" && cs.front() != "US-ASCII";
    if (declaredOther || !IsValidUtf8(raw)) raw = Cp1252ToUtf8(raw);
    return raw;
}

// Splits at unescaped semicolons (the components of N).
std::vector<std::string_view> SplitComponents(std::string_view s) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\') {
            ++i;
        } else if (s[i] == ';') {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

// "Family;Given;Additional;Prefix;Suffix" as a name for people: prefix,
// given, additional, family, suffix; list commas become blanks.
std::string NameFromN(std::string_view value) {
    const auto parts = SplitComponents(value);
    static constexpr int kOrder[] = {3, 1, 2, 0, 4};
    std::string name;
    for (int k : kOrder) {
        if (static_cast<std::size_t>(k) >= parts.size()) continue;
        std::string part;
        // Unescaped commas separate several values of one component.
        std::string_view comp = parts[static_cast<std::size_t>(k)];
        std::string raw;
        for (std::size_t i = 0; i < comp.size(); ++i) {
            if (comp[i] == '\\' && i + 1 < comp.size()) {
                raw.push_back(comp[i]);
                raw.push_back(comp[++i]);
            } else {
                raw.push_back(comp[i] == ',' ? ' ' : comp[i]);
            }
        }
        part = Unescape(Trim(raw));
        if (part.empty()) continue;
        if (!name.empty()) name.push_back(' ');
        name += part;
    }
    return name;
}

struct CardFields {
    std::optional<std::string> fn;
    std::string n;
    std::optional<std::string> email, tel, cell, bday, note;
};

void TakeProperty(CardFields& card, const Property& p) {
    const std::string& name = p.name;
    if (name == "FN") {
        if (!card.fn) card.fn = Unescape(DecodedValue(p));
    } else if (name == "N") {
        if (card.n.empty()) card.n = NameFromN(DecodedValue(p));
    } else if (name == "EMAIL") {
        if (!card.email) card.email = Unescape(Trim(DecodedValue(p)));
    } else if (name == "TEL") {
        const auto types = ParamValues(p, "TYPE", true);
        const bool cell = HasValue(types, "CELL");
        const bool voice = HasValue(types, "VOICE");
        if (!cell && !voice && (HasValue(types, "FAX") || HasValue(types, "PAGER"))) return;
        std::string value = Unescape(Trim(DecodedValue(p)));
        // TEL;VALUE=uri:tel:+39-06-... (version 4.0)
        if (HasValue(ParamValues(p, "VALUE", false), "URI") && value.size() >= 4 &&
            EqualsNoCase(std::string_view(value).substr(0, 4), "tel:"))
            value = std::string(Trim(std::string_view(value).substr(4)));
        auto& slot = cell ? card.cell : card.tel;
        if (!slot) slot = std::move(value);
    } else if (name == "BDAY") {
        if (!card.bday) card.bday = Unescape(Trim(DecodedValue(p)));
    } else if (name == "NOTE") {
        if (!card.note) card.note = Unescape(DecodedValue(p));
    }
}

CContact ToContact(CardFields&& card) {
    CContact c;
    if (card.fn)
        c.m_strName = std::move(*card.fn);
    else if (!card.n.empty())
        c.m_strName = std::move(card.n);
    else if (card.email)
        c.m_strName = *card.email;
    if (card.email) c.m_strEmail = std::move(*card.email);
    if (card.tel) c.m_strTelephone = std::move(*card.tel);
    if (card.cell) c.m_strCellular = std::move(*card.cell);
    if (card.bday) c.m_strBirthday = std::move(*card.bday);
    if (card.note) c.m_strNote = std::move(*card.note);
    return c;
}

VCardImport Failure(std::string error) {
    VCardImport r;
    r.error = std::move(error);
    return r;
}

std::string OnLine(std::size_t line) { return " (line " + std::to_string(line) + ")"; }

}  // namespace

VCardImport ReadVCards(std::string_view bytes) {
    if (bytes.size() > kMaxVCardFileBytes) return Failure(std::string(kMsgVCardUnreadable));
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);

    const std::vector<LogicalLine> lines = Unfold(bytes);
    VCardImport result;
    bool inCard = false;
    std::size_t depth = 0;  // cards or objects nested in the current card
    std::size_t cardLine = 0;
    CardFields card;
    for (const LogicalLine& l : lines) {
        // Blanks at the end of a line may belong to the value: keep them.
        const std::string_view text = l.text;
        if (Trim(text).empty()) continue;
        const std::optional<Property> p = ParseLine(text);
        if (!p) {
            // Inside a card, a stray line (the rest of a picture, say) is
            // skipped; outside one the file is not what it claims to be.
            if (inCard) continue;
            return Failure("This is not a vCard file" + OnLine(l.line) + ".");
        }
        const bool isBegin = p->name == "BEGIN";
        const bool isEnd = p->name == "END";
        if (!inCard) {
            if (isBegin && EqualsNoCase(Trim(p->value), "VCARD")) {
                inCard = true;
                depth = 0;
                cardLine = l.line;
                card = CardFields();
                continue;
            }
            if (isEnd)
                return Failure("The vCard file is damaged: END without BEGIN" + OnLine(l.line) +
                               ".");
            return Failure("This is not a vCard file" + OnLine(l.line) + ".");
        }
        if (isBegin) {
            ++depth;
            continue;
        }
        if (isEnd) {
            if (depth > 0) {
                --depth;
                continue;
            }
            if (!EqualsNoCase(Trim(p->value), "VCARD"))
                return Failure(
                    "The vCard file is damaged: END:" + std::string(Trim(p->value)).substr(0, 40) +
                    " closes a card" + OnLine(l.line) + ".");
            result.contacts.push_back(ToContact(std::exchange(card, CardFields())));
            inCard = false;
            continue;
        }
        if (depth > 0) continue;
        if (p->name == "VERSION") {
            const std::string_view v = Trim(p->value);
            if (v != "2.1" && v != "3.0" && v != "4.0")
                return Failure("vCard version " + std::string(v.substr(0, 20)) +
                               " is not supported" + OnLine(l.line) + ".");
            continue;
        }
        TakeProperty(card, *p);
    }
    if (inCard)
        return Failure("The vCard file is damaged: the card that begins on line " +
                       std::to_string(cardLine) + " has no END:VCARD.");
    if (result.contacts.empty()) return Failure("The file holds no vCard.");
    result.ok = true;
    return result;
}

}  // namespace meru
