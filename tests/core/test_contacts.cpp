#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/contacts/contact_book.h"

using namespace meru;

namespace {

CContact Named(std::string name, std::string tel = "", std::string email = "",
               std::string cell = "") {
    CContact c;
    c.m_strName = std::move(name);
    c.m_strTelephone = std::move(tel);
    c.m_strEmail = std::move(email);
    c.m_strCellular = std::move(cell);
    return c;
}

std::vector<std::string> Names(const std::vector<CContact>& v) {
    std::vector<std::string> out;
    for (const auto& c : v) out.push_back(c.m_strName);
    return out;
}

// The order the address book has always had: for i, for j >= i, exchange
// when the name at i is greater than the name at j.
void ExchangeSort(std::vector<CContact>& v) {
    for (size_t i = 0; i + 1 < v.size(); ++i)
        for (size_t j = i; j < v.size(); ++j)
            if (v[j].m_strName < v[i].m_strName) std::swap(v[i], v[j]);
}

}  // namespace

TEST(ContactClipboard, SortsTextIntoOneField) {
    struct Case {
        const char* text;
        ClipField field;
        const char* value;
    } const cases[] = {
        {"Mario Rossi", ClipField::Name, "MarioRossi"},
        {"  mario . rossi @ example.it ", ClipField::Email, "mario.rossi@example.it"},
        {"0612 345@x", ClipField::Email, "0612345@x"},          // "@" wins over digits
        {"06-123 45-67", ClipField::Telephone, "06-12345-67"},  // dashes kept
        {"347-123 4567", ClipField::Cellular, "347-1234567"},
        {"+39 347 1234567", ClipField::Cellular, "+393471234567"},  // sign: not "0"
        {"-0612", ClipField::Telephone, "-0612"},                   // dash gone for the test only
        {"--5", ClipField::Cellular, "--5"},
        {"0abc", ClipField::Telephone, "0abc"},  // digits, then letters
        {"12 Via Roma", ClipField::Cellular, "12ViaRoma"},
        {"99999999999999999999999999", ClipField::Cellular, "99999999999999999999999999"},
        {"+", ClipField::Name, "+"},          // sign without a digit
        {"+-1", ClipField::Cellular, "+-1"},  // the dash goes for the test
        {"- +1", ClipField::Cellular, "-+1"},
        {"Via 12", ClipField::Name, "Via12"},
        {"0", ClipField::Telephone, "0"},
        {"Zoë Ñúñez", ClipField::Name, "ZoëÑúñez"},
        {"0612345\n", ClipField::Telephone, "0612345"},  // a copied line's break
        {"\r\n\tAnna\r\n", ClipField::Name, "Anna"},
    };
    for (const auto& c : cases) {
        const ClipClassification got = ClassifyClipText(c.text);
        EXPECT_EQ(got.field, c.field) << c.text;
        EXPECT_EQ(got.value, c.value) << c.text;
    }
}

TEST(ContactClipboard, UnusableTextFillsNothing) {
    const std::string atLimit(kMaxClipChars, 'a');
    std::string multibyteAtLimit;
    for (size_t i = 0; i < kMaxClipChars; ++i) multibyteAtLimit += "é";  // 2 bytes each
    const std::string cases[] = {
        "",
        "   ",
        "\r\n",
        atLimit + "a",                      // one character too many
        std::string(3 * 1024 * 1024, '1'),  // megabytes
        "Mario\nRossi",                     // several lines
        "Mario\tRossi",
        std::string("Ma\0rio", 6),
        "ab\x7f",
    };
    for (const auto& text : cases) {
        EXPECT_EQ(ClassifyClipText(text).field, ClipField::None) << text.substr(0, 20);
        EXPECT_EQ(ContactFromClipText(text), CContact());
    }
    // The limit counts characters, not bytes.
    EXPECT_EQ(ClassifyClipText(atLimit).field, ClipField::Name);
    EXPECT_EQ(ClassifyClipText(multibyteAtLimit).value, multibyteAtLimit);
}

TEST(ContactClipboard, FillsTheMatchingField) {
    EXPECT_EQ(ContactFromClipText("a b").m_strName, "ab");
    EXPECT_EQ(ContactFromClipText("a@b").m_strEmail, "a@b");
    EXPECT_EQ(ContactFromClipText("06 1").m_strTelephone, "061");
    EXPECT_EQ(ContactFromClipText("3 1").m_strCellular, "31");
    EXPECT_EQ(ContactFromClipText("3 1").m_strName, "");
}

TEST(ContactRows, SecondColumnFollowsTheMode) {
    const CContact c = Named("Anna", "06 1", "anna@x.it", "347");
    EXPECT_EQ(RowText(c, kColumnTelephone), "Anna\t06 1");
    EXPECT_EQ(RowText(c, kColumnEmail), "Anna\tanna@x.it");
    EXPECT_EQ(RowText(c, kColumnCellular), "Anna\t347");
    EXPECT_EQ(RowText(CContact(), kColumnEmail), "\t");
}

TEST(ContactSort, ByteOrderWithTheExchangeOrderOfEqualNames) {
    // Upper-case initials before lower-case ones; UTF-8 after ASCII.
    std::vector<CContact> v = {Named("bruno"), Named("Zeno"),  Named("Élise"),
                               Named("anna"),  Named("Bruno"), Named("")};
    SortContacts(v);
    EXPECT_EQ(Names(v), (std::vector<std::string>{"", "Bruno", "Zeno", "anna", "bruno", "Élise"}));

    // Exactly the exchange procedure's order: lists with many equal names,
    // and lists of distinct names in random order.
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        std::vector<CContact> a;
        const int n = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) {
            std::string name = round % 2 ? "n" + std::to_string(i * 7919 % 1000)
                                         : std::string(1, static_cast<char>('a' + rng() % 3));
            a.push_back(Named(name, std::to_string(i)));
        }
        std::shuffle(a.begin(), a.end(), rng);
        std::vector<CContact> b = a;
        ExchangeSort(a);
        SortContacts(b);
        ASSERT_EQ(a, b) << "round " << round;
    }
}

TEST(ContactBook, RememberedRowAfterEachChange) {
    std::vector<CContact> list = {Named("B"), Named("D"), Named("F")};
    CContactBook book(list);
    book.Refresh();
    EXPECT_EQ(book.Selected(), -1);

    // Add: the list is re-sorted, the highlight keeps its index.
    book.Select(1);
    book.Add(Named("A"));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "B", "D", "F"}));
    EXPECT_EQ(book.Selected(), 1);
    EXPECT_EQ(book.SelectedContact()->m_strName, "B");

    // Edit row 1 into "Z": it moves to the end, row 1 now shows "D".
    EXPECT_TRUE(book.Edit(1, Named("Z")));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "D", "F", "Z"}));
    EXPECT_EQ(book.Selected(), 1);

    // Delete row 1: the next contact is highlighted.
    EXPECT_TRUE(book.Delete(1));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "F", "Z"}));
    EXPECT_EQ(book.Selected(), 1);
    EXPECT_EQ(book.SelectedContact()->m_strName, "F");

    // Delete the last row: nothing is highlighted.
    book.Select(2);
    EXPECT_TRUE(book.Delete(2));
    EXPECT_EQ(book.Selected(), -1);
    EXPECT_EQ(book.SelectedContact(), nullptr);

    // Rows that do not exist change nothing.
    const auto before = list;
    for (int row : {-1, 2, 100}) {
        EXPECT_FALSE(book.Edit(row, Named("X")));
        EXPECT_FALSE(book.Delete(row));
    }
    EXPECT_EQ(list, before);
    book.Select(5);
    EXPECT_EQ(book.Selected(), -1);
}

TEST(ContactBook, ColumnModeKeepsOrderAndSelection) {
    std::vector<CContact> list = {Named("b", "1", "b@x", "3"), Named("a", "2", "a@x", "4")};
    CContactBook book(list);
    book.Refresh();
    book.Select(0);
    EXPECT_EQ(book.Row(0), "a\t2");
    book.SetColumnMode(kColumnEmail);
    EXPECT_EQ(book.Row(0), "a\ta@x");
    EXPECT_EQ(book.Row(1), "b\tb@x");
    book.SetColumnMode(kColumnCellular);
    EXPECT_EQ(book.Row(1), "b\t3");
    book.SetColumnMode(7);  // unknown: ignored
    EXPECT_EQ(book.ColumnMode(), kColumnCellular);
    EXPECT_EQ(book.Selected(), 0);
}
