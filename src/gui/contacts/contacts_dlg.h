#pragma once
#include <QString>
#include <vector>

#include "gui/kit/tool_window.h"
#include "core/contacts/contact.h"
#include "core/mail/mail_settings.h"

namespace meru {

// The contacts window (dialog 189): the address book.
class CContactsDlg : public CToolWindow {
    Q_OBJECT
public:
    CContactsDlg(const ToolWindowContext& context, std::vector<CContact>& contacts, MailSettings& mail,
                 const QString& strDataPath);

    std::vector<CContact>& m_aContacts;  // owned by the main window's data
    MailSettings& m_mail;                // owned by the main window's data
    QString m_strDataPath;

protected:
    QString TitleSuffix() const override {
        return QStringLiteral(" - CONTACTS [") + m_strDataPath + QStringLiteral("]");
    }
};

}  // namespace meru
