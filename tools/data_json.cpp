#include "data_json.h"

#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "core/store/datafile.h"
#include "core/store/records.h"

namespace meru::tool {
namespace {

using Json = nlohmann::ordered_json;

// ------------------------------------------------------------------ writing

// JSON text streamed to a FILE through a buffer of its own, laid out as
// nlohmann's dump(2) lays it out (two spaces per level, "[]" for an empty
// array), so the output reads the same as before it was streamed.
class JsonOut {
public:
    explicit JsonOut(std::FILE* f) : m_f(f) { m_buf.reserve(kBuf + 64); }

    bool Finish() {
        Flush();
        return m_ok && std::fflush(m_f) == 0;
    }

    void Raw(std::string_view s) {
        m_buf.append(s);
        if (m_buf.size() >= kBuf) Flush();
    }
    void Indent(int level) { m_buf.append(2 * static_cast<size_t>(level), ' '); }
    void Key(int level, std::string_view key) {
        Indent(level);
        String(key);
        Raw(": ");
    }

    // A JSON string: quotes, escapes, raw UTF-8; a malformed byte becomes
    // U+FFFD (the codec hands out valid UTF-8, so this is a safeguard).
    void String(std::string_view s) {
        m_buf.push_back('"');
        size_t i = 0;
        while (i < s.size()) {
            const auto b = static_cast<unsigned char>(s[i]);
            if (b >= 0x20 && b < 0x80 && b != '"' && b != '\\') {
                size_t j = i + 1;
                while (j < s.size()) {
                    const auto c = static_cast<unsigned char>(s[j]);
                    if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') break;
                    ++j;
                }
                m_buf.append(s.substr(i, j - i));
                i = j;
                continue;
            }
            if (b < 0x80) {
                Escape(b);
                ++i;
                continue;
            }
            const size_t n = Utf8Sequence(s, i);
            if (n == 0) {
                m_buf.append("\xEF\xBF\xBD");
                ++i;
            } else {
                m_buf.append(s.substr(i, n));
                i += n;
            }
        }
        m_buf.push_back('"');
        if (m_buf.size() >= kBuf) Flush();
    }

private:
    static constexpr size_t kBuf = size_t{1} << 16;

    void Escape(unsigned char b) {
        switch (b) {
            case '"': m_buf.append("\\\""); break;
            case '\\': m_buf.append("\\\\"); break;
            case '\b': m_buf.append("\\b"); break;
            case '\f': m_buf.append("\\f"); break;
            case '\n': m_buf.append("\\n"); break;
            case '\r': m_buf.append("\\r"); break;
            case '\t': m_buf.append("\\t"); break;
            default: {
                char u[8];
                std::snprintf(u, sizeof u, "\\u%04x", b);
                m_buf.append(u);
            }
        }
    }

    // Length of the well-formed UTF-8 character at s[i] (lead byte >= 0x80),
    // 0 when it is malformed.
    static size_t Utf8Sequence(std::string_view s, size_t i) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t n;
        char32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            n = 2;
            cp = b & 0x1Fu;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 3;
            cp = b & 0x0Fu;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 4;
            cp = b & 0x07u;
        } else {
            return 0;
        }
        if (i + n > s.size()) return 0;
        for (size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return 0;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
        return n;
    }

    void Flush() {
        if (m_buf.empty()) return;
        if (m_ok && std::fwrite(m_buf.data(), 1, m_buf.size(), m_f) != m_buf.size()) m_ok = false;
        m_buf.clear();
    }

    std::FILE* m_f;
    std::string m_buf;
    bool m_ok = true;
};

// `"key": [` ... `]` with one element per item, written by `item(level)`.
template <class List, class Item>
void Array(JsonOut& o, int level, std::string_view key, const List& list, Item item,
           bool last = false) {
    o.Key(level, key);
    if (list.empty()) {
        o.Raw("[]");
    } else {
        o.Raw("[\n");
        bool first = true;
        for (const auto& x : list) {
            if (!first) o.Raw(",\n");
            first = false;
            o.Indent(level + 1);
            item(x, level + 1);
        }
        o.Raw("\n");
        o.Indent(level);
        o.Raw("]");
    }
    o.Raw(last ? "\n" : ",\n");
}

// A record as an object of its fields, opened at the current position.
template <class R>
void RecordObject(JsonOut& o, const R& rec, int level) {
    o.Raw("{\n");
    const auto& fields = Record<R>::kFields;
    for (size_t k = 0; k < fields.size(); ++k) {
        o.Key(level + 1, fields[k].key);
        o.String(rec.*fields[k].member);
        o.Raw(k + 1 < fields.size() ? ",\n" : "\n");
    }
    o.Indent(level);
    o.Raw("}");
}

// ------------------------------------------------------------------ reading

[[noreturn]] void Wrong(const std::string& where, std::string_view expected, const Json& v) {
    throw JsonInputError(where + ": expected " + std::string(expected) + ", found " +
                         v.type_name());
}

template <class Keys>
const Json& Object(const Json& v, const std::string& where, const Keys& keys) {
    if (!v.is_object()) Wrong(where, "an object", v);
    for (std::string_view k : keys)
        if (!v.contains(k))
            throw JsonInputError(where + ": missing key \"" + std::string(k) + "\"");
    for (const auto& [k, unused] : v.items()) {
        bool known = false;
        for (std::string_view key : keys) known = known || k == key;
        if (!known) {
            std::string what = where;
            what += ": unknown key \"";
            what += k;
            what += '"';
            throw JsonInputError(what);
        }
    }
    return v;
}

std::string Member(const std::string& where, std::string_view key) {
    return where.empty() ? std::string(key) : where + "." + std::string(key);
}

std::string Text(const Json& obj, const std::string& where, std::string_view key) {
    const Json& v = obj.at(key);
    if (!v.is_string()) Wrong(Member(where, key), "a string", v);
    return v.get<std::string>();
}

const Json& Array(const Json& obj, const std::string& where, std::string_view key) {
    const Json& v = obj.at(key);
    if (!v.is_array()) Wrong(Member(where, key), "an array", v);
    return v;
}

std::string At(const std::string& where, size_t i) { return where + "[" + std::to_string(i) + "]"; }

template <class R>
std::array<std::string_view, kFieldCount<R>> KeysOf() {
    std::array<std::string_view, kFieldCount<R>> keys;
    for (size_t k = 0; k < keys.size(); ++k) keys[k] = Record<R>::kFields[k].key;
    return keys;
}

// A record from an object that has exactly its fields, each a string.
template <class R>
R RecordFrom(const Json& v, const std::string& where) {
    const Json& o = Object(v, where, KeysOf<R>());
    R rec;
    for (const auto& f : Record<R>::kFields) rec.*f.member = Text(o, where, f.key);
    return rec;
}

CMeruData FromJson(Json& j) {
    if (j.is_object() && j.contains("format_version")) {
        // The one optional key: checked, then left out of the shape check.
        const Json& v = j["format_version"];
        const bool known = v.is_number_unsigned() && (v.get<uint64_t>() == kFormatVersion ||
                                                      v.get<uint64_t>() == kOldFormatVersion);
        if (!known) {
            if (v.is_number_integer())
                throw JsonInputError("format_version: expected 21 or 22, found " + v.dump());
            Wrong("format_version", "21 or 22", v);
        }
        j.erase("format_version");
    }
    static constexpr std::string_view kTop[] = {"password", "pages",  "contacts",
                                                "mail",     "groups", "browser"};
    Object(j, "top level", kTop);
    CMeruData d;
    d.m_strPassword = Text(j, "", "password");

    const Json& pages = Array(j, "", "pages");
    d.m_aPages.clear();
    d.m_aPages.reserve(pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        if (!pages[i].is_string()) Wrong(At("pages", i), "a string", pages[i]);
        d.m_aPages.push_back(pages[i].get<std::string>());
    }

    const Json& contacts = Array(j, "", "contacts");
    d.m_aContacts.reserve(contacts.size());
    for (size_t i = 0; i < contacts.size(); ++i)
        d.m_aContacts.push_back(RecordFrom<CContact>(contacts[i], At("contacts", i)));

    d.m_mail = RecordFrom<MailSettings>(j.at("mail"), "mail");

    const Json& groups = Array(j, "", "groups");
    if (groups.size() != d.m_aGroups.size())
        throw JsonInputError("groups: expected exactly " + std::to_string(d.m_aGroups.size()) +
                             " groups, found " + std::to_string(groups.size()));
    static constexpr std::string_view kGroupKeys[] = {"name", "bookmarks"};
    for (size_t g = 0; g < groups.size(); ++g) {
        const std::string where = At("groups", g);
        const Json& o = Object(groups[g], where, kGroupKeys);
        auto& group = d.m_aGroups[g];
        group.m_strName = Text(o, where, "name");
        const Json& marks = Array(o, where, "bookmarks");
        const std::string marksWhere = Member(where, "bookmarks");
        for (size_t i = 0; i < marks.size(); ++i)
            group.m_aBookmarks.push_back(RecordFrom<CBookmark>(marks[i], At(marksWhere, i)));
    }

    d.m_browser = RecordFrom<BrowserSetting>(j.at("browser"), "browser");
    return d;
}

}  // namespace

CMeruData ParseDataJson(std::string_view text) {
    Json j;
    try {
        // The depth is checked as each array or object opens, before any of
        // its content is read.
        const Json::parser_callback_t limit = [](int depth, Json::parse_event_t event, Json&) {
            if ((event == Json::parse_event_t::object_start ||
                 event == Json::parse_event_t::array_start) &&
                depth >= kMaxJsonDepth)
                throw JsonInputError(
                    "invalid JSON on standard input: nested too deeply (more than " +
                    std::to_string(kMaxJsonDepth) + " levels)");
            return true;
        };
        j = Json::parse(text, limit);
    } catch (const Json::exception& e) {
        // Syntax errors, and numbers out of range (1e400).
        throw JsonInputError(std::string("invalid JSON on standard input: ") + e.what());
    }
    try {
        return FromJson(j);
    } catch (const Json::exception& e) {  // not expected once the shape is checked
        throw JsonInputError(e.what());
    }
}

bool WriteDataJson(std::FILE* out, const CMeruData& d, int version, bool passwordKnown) {
    JsonOut o(out);
    o.Raw("{\n");
    o.Key(1, "format_version");
    o.Raw(std::to_string(version));
    o.Raw(",\n");
    o.Key(1, "password");
    o.String(passwordKnown ? d.m_strPassword : std::string());
    o.Raw(",\n");
    Array(o, 1, "pages", d.m_aPages, [&](const std::string& p, int) { o.String(p); });
    Array(o, 1, "contacts", d.m_aContacts,
          [&](const CContact& c, int level) { RecordObject(o, c, level); });
    o.Key(1, "mail");
    RecordObject(o, d.m_mail, 1);
    o.Raw(",\n");
    Array(o, 1, "groups", d.m_aGroups, [&](const CBookmarkGroup& g, int level) {
        o.Raw("{\n");
        o.Key(level + 1, "name");
        o.String(g.m_strName);
        o.Raw(",\n");
        Array(
            o, level + 1, "bookmarks", g.m_aBookmarks,
            [&](const CBookmark& b, int inner) { RecordObject(o, b, inner); }, true);
        o.Indent(level);
        o.Raw("}");
    });
    o.Key(1, "browser");
    RecordObject(o, d.m_browser, 1);
    o.Raw("\n}\n");
    return o.Finish();
}

}  // namespace meru::tool
