#pragma once
#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/contacts/contact.h"
#include "core/contacts/contact_book.h"
#include "core/mail/mail_sender.h"
#include "core/mail/mail_settings.h"
#include "gui/kit/tool_window.h"

class QAbstractItemModel;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace meru {

class CContactsModel;
class IClipboard;
class ILauncher;

// What the contacts window needs from the rest of the program.
struct ContactsServices {
    // Text for "New Contacts" and for MAIL's body; may be null (no clipboard).
    IClipboard* clipboard = nullptr;
    // The MAILSTD hand-off to the desktop's mail program; may be null.
    ILauncher* launcher = nullptr;
    // Runs the compose dialog ("MailTo") over `parent`: the full form
    // (bFullForm), which sends the message through the program's SMTP client
    // on "Send Mail", or the reduced one, pre-filled with `prefill`, its
    // "Settings" editing `settings` in place. The texts when the user chose
    // "Send Mail" (and the full form's message was sent), nothing when
    // cancelled.
    std::function<std::optional<ComposedMail>(QWidget* parent, bool bFullForm,
                                              const ComposedMail& prefill, MailSettings& settings)>
        composeMail;
};

// The contacts window (dialog 189): the address book, one row per contact
// sorted by name with a second column of telephone, e-mail or mobile number;
// new, edit, delete, mail to the selected contact, and vCard files.
//
// The list and the mail settings belong to the program's data; the window
// works on them in place.
class CContactsDlg : public CToolWindow {
    Q_OBJECT
public:
    CContactsDlg(const ToolWindowContext& context, std::vector<CContact>& contacts,
                 MailSettings& mail, const QString& strDataPath, ContactsServices services);
    ~CContactsDlg() override;

    std::vector<CContact>& m_aContacts;  // owned by the main window's data
    MailSettings& m_mail;                // owned by the main window's data
    QString m_strDataPath;

    // --- commands ----------------------------------------------------------
    void OnNewContact();           // 1049 "New Contacts"
    void OnEditContact();          // double click in 1048
    void OnDeleteContact();        // 1013 "Clear"
    void SetColumnMode(int mode);  // 1056 "Tel" 0, 1058 "Email" 1, 1057 "Cell" 2
    void OnMail();                 // 1018 "MAIL"
    void OnMailStd();              // 1064 "MAILSTD"
    void OnImportVCard();          // list menu "Import vCard..."
    void OnExportVCard();          // list menu "Export vCard..."
    // Sorts, rebuilds the list and selects the remembered row again.
    void Refresh();

    // --- state -------------------------------------------------------------
    int ColumnMode() const { return m_book.ColumnMode(); }
    // The row selected in the list, -1 for none.
    int SelectedRow() const;
    void SelectRow(int row);

    // --- what the window asks the user; tests put their own answers here ---
    // "Eliminare il contact selezionato?" (true: Yes).
    std::function<bool()> m_fnAskDelete;
    // "Copy the content of clipboard into message body?" (true: Yes).
    std::function<bool()> m_fnAskClipboardToBody;
    // The contact dialog over `c`; true and `c` changed on OK.
    std::function<bool(CContact& c)> m_fnEditDialog;
    // File dialogs for vCard files; an empty name: cancelled.
    std::function<QString()> m_fnChooseImportFile;
    std::function<QString()> m_fnChooseExportFile;
    // A message box with the program's caption.
    std::function<void(QMessageBox::Icon icon, const QString& text)> m_fnShowMessage;

    // --- controls, for tests -----------------------------------------------
    QTreeView* List() const { return m_pList; }
    QAbstractItemModel* Model() const;
    QPushButton* Button(int id) const;
    // The list's context menu actions ("Import vCard...", "Export vCard...").
    QList<QAction*> ListMenuActions() const { return m_aListActions; }

    static QString DeleteQuestion() { return QStringLiteral("Eliminare il contact selezionato?"); }
    static QString ClipboardQuestion() {
        return QStringLiteral("Copy the content of clipboard into message body?");
    }

protected:
    QString TitleSuffix() const override {
        return QStringLiteral(" - CONTACTS [") + m_strDataPath + QStringLiteral("]");
    }
    void OnInitDialog() override;

private:
    void CreateControls();
    void ShowListMenu(const QPoint& pos);
    void ShowMessage(QMessageBox::Icon icon, const QString& text);

    ContactsServices m_services;
    CContactBook m_book;
    QTreeView* m_pList = nullptr;
    CContactsModel* m_pModel = nullptr;
    QList<QAction*> m_aListActions;
};

}  // namespace meru
