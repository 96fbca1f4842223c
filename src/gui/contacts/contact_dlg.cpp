#include "gui/contacts/contact_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <limits>

#include "gui/kit/dialog_units.h"

namespace meru {

namespace {

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string ToUtf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), size_t(b.size()));
}

// The stored note has CR LF; the editor works with LF.
QString NoteForEditor(const std::string& stored) {
    QString s = FromUtf8(stored);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

std::string NoteForStore(const QPlainTextEdit* edit) {
    QString s = edit->document()->toRawText();
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return ToUtf8(s);
}

}  // namespace

CContactDlg::CContactDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Contacts"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    const CDialogUnits du(font());
    setFixedSize(du.Size(224, 247));

    // Created in template order, which is the tab order: "OK" first, so the
    // focus starts there.
    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setObjectName(QStringLiteral("1"));
    m_pOk->setGeometry(du.Rect(53, 226, 50, 14));
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &CContactDlg::accept);

    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setObjectName(QStringLiteral("2"));
    m_pCancel->setGeometry(du.Rect(121, 226, 50, 14));
    m_pCancel->setAutoDefault(false);
    connect(m_pCancel, &QPushButton::clicked, this, &CContactDlg::reject);

    auto label = [&](const char* text, int x, int y, int w, int h) {
        auto* p = new QLabel(QString::fromLatin1(text), this);
        p->setGeometry(du.Rect(x, y, w, h));
        p->adjustSize();  // another font may need more room than the template's
    };
    auto edit = [&](int id, int x, int y, int w, int h) {
        auto* p = new QLineEdit(this);
        p->setObjectName(QString::number(id));
        p->setGeometry(du.Rect(x, y, w, h));
        // Fields have no length limit: a long one must never be cut (a line
        // edit keeps only 32767 characters by default).
        p->setMaxLength(std::numeric_limits<int>::max());
        return p;
    };
    label("Name", 7, 9, 20, 8);
    m_pName = edit(1046, 7, 18, 210, 14);
    label("Email", 7, 35, 18, 8);
    m_pEmail = edit(1051, 7, 44, 210, 14);
    label("Telephone", 7, 61, 35, 8);
    label("Cellular", 117, 61, 24, 8);
    m_pTelephone = edit(1052, 7, 70, 100, 14);
    m_pCellular = edit(1053, 117, 70, 100, 14);
    label("Birthday", 7, 87, 26, 8);
    m_pBirthday = edit(1054, 7, 96, 100, 14);
    label("Note", 7, 114, 16, 8);
    m_pNote = new QPlainTextEdit(this);
    m_pNote->setObjectName(QStringLiteral("1055"));
    m_pNote->setGeometry(du.Rect(7, 124, 210, 96));
    m_pNote->setTabChangesFocus(true);  // Enter makes a new line; Tab leaves
}

QLineEdit* CContactDlg::Edit(int id) const {
    switch (id) {
        case 1046: return m_pName;
        case 1051: return m_pEmail;
        case 1052: return m_pTelephone;
        case 1053: return m_pCellular;
        case 1054: return m_pBirthday;
        default: return nullptr;
    }
}

void CContactDlg::DoDataExchange(bool bSave) {
    if (bSave) {
        m_contact.m_strName = ToUtf8(m_pName->text());
        m_contact.m_strEmail = ToUtf8(m_pEmail->text());
        m_contact.m_strTelephone = ToUtf8(m_pTelephone->text());
        m_contact.m_strCellular = ToUtf8(m_pCellular->text());
        m_contact.m_strBirthday = ToUtf8(m_pBirthday->text());
        m_contact.m_strNote = NoteForStore(m_pNote);
    } else {
        m_pName->setText(FromUtf8(m_contact.m_strName));
        m_pEmail->setText(FromUtf8(m_contact.m_strEmail));
        m_pTelephone->setText(FromUtf8(m_contact.m_strTelephone));
        m_pCellular->setText(FromUtf8(m_contact.m_strCellular));
        m_pBirthday->setText(FromUtf8(m_contact.m_strBirthday));
        m_pNote->setPlainText(NoteForEditor(m_contact.m_strNote));
        for (QLineEdit* p : {m_pName, m_pEmail, m_pTelephone, m_pCellular, m_pBirthday})
            p->setCursorPosition(0);
    }
}

void CContactDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        DoDataExchange(false);
        m_pOk->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(pEvent);
}

void CContactDlg::accept() {
    DoDataExchange(true);
    QDialog::accept();
}

}  // namespace meru
