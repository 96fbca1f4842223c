#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/notes/page_store.h"
#include "core/text/text_codec.h"

using namespace meru;

namespace {
// UTF-16 length, as QString::fromUtf8(editorText).size() counts it.
size_t Utf16Units(const std::string& utf8) { return Utf8ToUtf16Le(utf8).size() / 2; }

const std::string kEmoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units
const std::string kE = "\xC3\xA8";              // U+00E8
const std::string kEuro = "\xE2\x82\xAC";       // U+20AC
}  // namespace

TEST(NotesText, LineBreaksBetweenStoredAndEditorForm) {
    struct Case {
        std::string stored, editor, storedAgain;
    };
    const Case cases[] = {
        {"", "", ""},
        {"a\r\nb\r\n", "a\nb\n", "a\r\nb\r\n"},
        {"\r\n\r\n", "\n\n", "\r\n\r\n"},
        {"a\nb", "a\nb", "a\r\nb"},  // a lone LF is a line break too
        {"a\rb", "a\nb", "a\r\nb"},  // and so is a lone CR, as the editor shows it
        {"a\r\r\nb", "a\n\nb", "a\r\n\r\nb"},
        {kEmoji + "\r\n" + kE, kEmoji + "\n" + kE, kEmoji + "\r\n" + kE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(StoredToEditorText(c.stored), c.editor);
        EXPECT_EQ(EditorToStoredText(c.editor), c.storedAgain);
        EXPECT_EQ(EditorToStoredText(c.stored), c.storedAgain);
        // The positions the mapping counts are the editor's UTF-16 positions.
        EXPECT_EQ(EditorLength(c.stored), Utf16Units(c.editor));
    }
}

TEST(NotesText, EditorPositionsMapToStoredBytesAndBack) {
    // editor: a \n b [emoji emoji] c è €   (positions 0..8)
    const std::string stored = "a\r\nb" + kEmoji + "c" + kE + kEuro;
    struct ToStored {
        size_t pos, byte;
    };
    // Position 4 is inside the surrogate pair: back to the emoji's start.
    // Position 1000 is past the end.
    const ToStored toStored[] = {
        {0, 0}, {1, 1},  {2, 3},  {3, 4},  {4, 4},     {5, 8},
        {6, 9}, {7, 11}, {8, 14}, {9, 14}, {1000, 14},
    };
    for (const auto& c : toStored)
        EXPECT_EQ(EditorToStoredOffset(stored, c.pos), c.byte) << "position " << c.pos;

    struct ToEditor {
        size_t byte, pos;
    };
    const ToEditor toEditor[] = {
        {0, 0},  {1, 1},  {2, 1},  // between CR and LF: the line break's start
        {3, 2},  {4, 3},  {5, 3},  {7, 3},  {8, 5}, {9, 6}, {10, 6},  // inside "è"
        {11, 7}, {13, 7}, {14, 8}, {99, 8},
    };
    for (const auto& c : toEditor)
        EXPECT_EQ(StoredToEditorOffset(stored, c.byte), c.pos) << "byte " << c.byte;

    // Every character boundary goes there and back unchanged.
    for (size_t pos = 0; pos <= EditorLength(stored); ++pos) {
        if (pos == 4) continue;  // not a boundary in the editor either
        EXPECT_EQ(StoredToEditorOffset(stored, EditorToStoredOffset(stored, pos)), pos);
    }
}

TEST(NotesText, MalformedBytesCountAsOnePositionEach) {
    // A stray continuation byte and a cut-off sequence: one position per byte,
    // and the walk never runs past the text.
    const std::string stored = std::string("a\x80") + "\xE2\x82" + "b";
    EXPECT_EQ(EditorLength(stored), 5u);
    EXPECT_EQ(EditorToStoredOffset(stored, 4), 4u);
    EXPECT_EQ(StoredToEditorOffset(stored, 5), 5u);
}
