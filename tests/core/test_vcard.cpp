#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/contacts/vcard.h"

using namespace meru;

namespace {

CContact Full(std::string name, std::string email, std::string tel, std::string cell,
              std::string bday, std::string note) {
    return CContact{std::move(name), std::move(email), std::move(tel),
                    std::move(cell), std::move(bday),  std::move(note)};
}

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < s.size()) {
        const size_t end = s.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) break;
        out.push_back(s.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

}  // namespace

TEST(VCardWrite, VersionFourCardWithEscapesAndFolding) {
    const std::string out = WriteVCards({Full("Rossi, Mario; jr", "m@x.it", "06 123", "347 1",
                                              "1 aprile", "riga 1\r\nriga 2 \\ fine")});
    EXPECT_EQ(out,
              "BEGIN:VCARD\r\nVERSION:4.0\r\n"
              "FN:Rossi\\, Mario\\; jr\r\n"
              "N:jr;Rossi\\, Mario\\;;;;\r\n"
              "EMAIL:m@x.it\r\n"
              "TEL;TYPE=voice:06 123\r\n"
              "TEL;TYPE=cell:347 1\r\n"
              "BDAY;VALUE=text:1 aprile\r\n"
              "NOTE:riga 1\\nriga 2 \\\\ fine\r\n"
              "END:VCARD\r\n");

    // Long lines fold at 75 octets and never inside a character.
    std::string note;
    for (int i = 0; i < 200; ++i) note += (i % 3 == 0) ? "€" : "ab";
    const std::string folded = WriteVCards({Full("A", "", "", "", "", note)});
    std::string unfolded;
    for (const std::string& line : Lines(folded)) {
        EXPECT_LE(line.size(), 75u) << line;
        ASSERT_FALSE(line.empty());
        if (line[0] == ' ') {
            ASSERT_NE(static_cast<unsigned char>(line[1]) & 0xC0, 0x80) << "split character";
            unfolded += line.substr(1);
        } else {
            unfolded += "\n" + line;
        }
    }
    EXPECT_NE(unfolded.find("\nNOTE:" + note + "\n"), std::string::npos);
}

TEST(VCardRoundTrip, AllSixFieldsComeBackExactly) {
    const std::vector<CContact> contacts = {
        Full("Zoë, d'Ávila; \"x\"", "zoe@example.org", "06-1234; 5", "+39 347,1", "--0415",
             "prima riga\r\nseconda: con \\ e ,;\r\n\r\nfine 日本語 🙂"),
        Full("", "", "", "", "", ""),
        Full("Solo nome", "", "", "", "", ""),
        Full(std::string(300, 'x') + "é", "a@b", "1", "2", "3", std::string(500, ';')),
    };
    const VCardImport back = ReadVCards(WriteVCards(contacts));
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.contacts, contacts);
}

TEST(VCardRead, PhoneWrittenVersionThree) {
    // As an Android phone exports: grouped properties, several numbers and
    // addresses, a picture spread over indented lines, LF line ends.
    const char* file =
        "BEGIN:VCARD\n"
        "VERSION:3.0\n"
        "N:Bianchi;Luca;;Dott.;\n"
        "FN:Luca Bianchi\n"
        "TEL;TYPE=CELL:+39 333 111 2222\n"
        "TEL;TYPE=CELL:+39 333 999 9999\n"
        "TEL;TYPE=WORK,FAX:02 5555\n"
        "TEL;TYPE=HOME:02 1234 567\n"
        "item1.EMAIL;TYPE=INTERNET:luca@example.com\n"
        "item1.X-ABLabel:_$!<Other>!$_\n"
        "EMAIL;TYPE=INTERNET,WORK:l.bianchi@work.example\n"
        "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD\n"
        "  2wBDAAMCAgICAgMCAgIDAwMDBAYEBAQEBAgGBgUGCQgKCgkICQkKDA8M\n"
        "BDAY:1980-04-15\n"
        "NOTE:Calcetto il martedì\\, ore 20\\nportare la palla\n"
        "END:VCARD\n"
        "BEGIN:VCARD\n"
        "VERSION:3.0\n"
        "N:;;;;\n"
        "TEL;TYPE=CELL:3471234567\n"
        "EMAIL:senza.nome@example.com\n"
        "END:VCARD\n";
    const VCardImport r = ReadVCards(file);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.contacts.size(), 2u);
    EXPECT_EQ(r.contacts[0],
              Full("Luca Bianchi", "luca@example.com", "02 1234 567", "+39 333 111 2222",
                   "1980-04-15", "Calcetto il martedì, ore 20\r\nportare la palla"));
    // No FN, empty N: the e-mail address is the name.
    EXPECT_EQ(r.contacts[1].m_strName, "senza.nome@example.com");
    EXPECT_EQ(r.contacts[1].m_strCellular, "3471234567");
}

TEST(VCardRead, VersionFourAsThunderbirdWritesIt) {
    const char* file =
        "BEGIN:VCARD\r\n"
        "VERSION:4.0\r\n"
        "PRODID:-//Example//Address Book//EN\r\n"
        "N:Verdi;Giulia;Maria;;\r\n"
        "EMAIL;PREF=1:giulia@example.net\r\n"
        "TEL;TYPE=\"voice,home\";VALUE=uri:tel:+39-06-555-0101\r\n"
        "TEL;VALUE=TEXT;TYPE=cell:+39 320 000 0000\r\n"
        "NOTE:Una nota lunga che va a capo e continua sulla riga successiva senza \r\n"
        " interruzioni.\r\n"
        "UID:5a8f-44\r\n"
        "END:VCARD\r\n";
    const VCardImport r = ReadVCards(file);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.contacts.size(), 1u);
    // No FN: the name is made from N.
    EXPECT_EQ(
        r.contacts[0],
        Full("Giulia Maria Verdi", "giulia@example.net", "+39-06-555-0101", "+39 320 000 0000", "",
             "Una nota lunga che va a capo e continua sulla riga successiva senza interruzioni."));

    // A blank after "tel:" is not part of the number; what is read is written
    // and read back the same.
    const VCardImport uri =
        ReadVCards("BEGIN:VCARD\r\nTEL;VALUE=uri:tel: x\\;+39\r\nEND:VCARD\r\n");
    ASSERT_TRUE(uri.ok) << uri.error;
    EXPECT_EQ(uri.contacts[0].m_strTelephone, "x;+39");
    EXPECT_EQ(ReadVCards(WriteVCards(uri.contacts)).contacts, uri.contacts);
}

TEST(VCardRead, VersionTwoOneWithQuotedPrintable) {
    // As older phones and Outlook write it: bare types, quoted-printable with
    // soft line breaks, a Windows-1252 character set.
    const char* file =
        "BEGIN:VCARD\r\n"
        "VERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:N=C3=A9ri;Ren=C3=A9;;;\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Ren=C3=A9 N=C3=A9ri\r\n"
        "TEL;CELL;VOICE:+33 6 12 34 56 78\r\n"
        "TEL;HOME:01 23 45 67 89\r\n"
        "EMAIL;INTERNET:rene@example.fr\r\n"
        "BDAY:prezzo 5\x80 \x93ok\x94\r\n"  // bytes that are not UTF-8: Windows-1252
        "NOTE;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:Caf=E9 au lait,=0D=0Adeux lignes qui =\r\n"
        "continuent ici=\r\n"
        "\r\n"
        "END:VCARD\r\n";
    const VCardImport r = ReadVCards(file);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.contacts.size(), 1u);
    EXPECT_EQ(r.contacts[0],
              Full("René Néri", "rene@example.fr", "01 23 45 67 89", "+33 6 12 34 56 78",
                   "prezzo 5€ “ok”", "Café au lait,\r\ndeux lignes qui continuent ici"));
}

TEST(VCardRead, DamagedOrForeignFilesGiveAnErrorAndNoContact) {
    const std::string cases[] = {
        "",
        "\r\n\r\n",
        "name,email\nMario,m@x\n",  // a CSV file
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n",
        "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:B\r\n",  // unterminated
        "BEGIN:VCARD\r\nFN:A\r\n",
        "FN:A\r\nEND:VCARD\r\n",
        "END:VCARD\r\n",
        "BEGIN:VCARD\r\nVERSION:5.0\r\nFN:A\r\nEND:VCARD\r\n",
        "BEGIN:VCARD\r\nFN:A\r\nEND:VCALENDAR\r\n",
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
    };
    for (const std::string& bytes : cases) {
        const VCardImport r = ReadVCards(bytes);
        EXPECT_FALSE(r.ok) << bytes;
        EXPECT_TRUE(r.contacts.empty()) << bytes;
        EXPECT_FALSE(r.error.empty()) << bytes;
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
    }
    EXPECT_NE(ReadVCards(cases[4]).error.find("line 4"), std::string::npos)
        << ReadVCards(cases[4]).error;
}

TEST(VCardRead, HostileInputsNeitherCrashNorHang) {
    const std::string mb(1024 * 1024, 'x');
    // A 1 MB line inside a card, and one of unescaped "=" soft breaks.
    std::string qp = "BEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:";
    for (int i = 0; i < 200000; ++i) qp += "=\r\n";
    qp += "END:VCARD\r\n";
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:N" + std::to_string(i) + "\r\nEND:VCARD\r\n";
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "BEGIN:VCARD\r\n";

    const VCardImport longLine =
        ReadVCards("BEGIN:VCARD\r\nFN:" + mb + "\r\nNOTE;" + mb + "\r\nEND:VCARD\r\n");
    ASSERT_TRUE(longLine.ok);
    EXPECT_EQ(longLine.contacts[0].m_strName, mb);
    EXPECT_FALSE(ReadVCards(qp).ok);  // the soft breaks swallow END:VCARD
    const VCardImport lots = ReadVCards(many);
    ASSERT_TRUE(lots.ok);
    ASSERT_EQ(lots.contacts.size(), 100000u);
    EXPECT_EQ(lots.contacts.back().m_strName, "N99999");
    EXPECT_FALSE(ReadVCards(deep).ok);
    EXPECT_FALSE(ReadVCards(std::string(kMaxVCardFileBytes + 1, '\n')).ok);
}

TEST(VCardRead, ImportedCountMessage) {
    EXPECT_EQ(ImportedMessage(1), "1 contact added.");
    EXPECT_EQ(ImportedMessage(100000), "100000 contacts added.");
}
