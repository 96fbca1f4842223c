#include "gui/contacts/contacts_dlg.h"

namespace meru {

CContactsDlg::CContactsDlg(const ToolWindowContext& context, std::vector<CContact>& contacts, MailSettings& mail,
                           const QString& strDataPath)
    : CToolWindow(context, {258, 293, "System", 10}),
      m_aContacts(contacts),
      m_mail(mail),
      m_strDataPath(strDataPath) {}

}  // namespace meru
