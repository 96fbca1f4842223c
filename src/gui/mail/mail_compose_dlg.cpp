#include "gui/mail/mail_compose_dlg.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <map>
#include <thread>

#include "gui/kit/resources.h"
#include "core/mail/mail_settings.h"
#include "core/mail/smtp_message.h"
#include "gui/mail/mail_settings_dlg.h"
#include "gui/kit/dialog_units.h"
#include "gui/kit/edge_layout.h"

namespace meru {

namespace {

QString FromUtf8(const std::string& s) { return QString::fromStdString(s); }
std::string ToUtf8(const QString& s) { return s.toStdString(); }

QString BoxCaption() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

// Login passwords given during this run, by user and server; never written
// anywhere.
std::map<std::string, std::string>& PasswordCache() {
    static std::map<std::string, std::string> cache;
    return cache;
}

std::string PasswordKey(const SmtpServerSetting& s) {
    return s.m_strUser + '\n' + s.m_strHost + ':' + std::to_string(s.m_nPort);
}

}  // namespace

CMailComposeDlg::CMailComposeDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("MailTo"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    const CDialogUnits du(font());

    // Template order is the tab order.
    m_pBody = new QPlainTextEdit(this);
    m_pBody->setObjectName(QStringLiteral("edit1000"));
    m_pBody->setGeometry(du.Rect(7, 79, 428, 251));
    m_pBody->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pBody->setTabChangesFocus(true);
    QPalette pal = m_pBody->palette();
    pal.setColor(QPalette::Base, QColor(240, 240, 240));
    pal.setColor(QPalette::Text, Qt::black);
    m_pBody->setPalette(pal);

    m_pSend = new QPushButton(QStringLiteral("Send Mail"), this);
    m_pSend->setGeometry(du.Rect(158, 335, 50, 14));
    m_pSend->setDefault(true);
    m_pSend->setAutoDefault(true);
    connect(m_pSend, &QPushButton::clicked, this, &CMailComposeDlg::accept);

    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setGeometry(du.Rect(233, 335, 50, 14));
    m_pCancel->setAutoDefault(false);
    connect(m_pCancel, &QPushButton::clicked, this, &CMailComposeDlg::reject);

    auto makeEdit = [&](const char* name, int y) {
        auto* p = new QLineEdit(this);
        p->setObjectName(QString::fromLatin1(name));
        p->setGeometry(du.Rect(49, y, 312, 14));
        return p;
    };
    m_pTo = makeEdit("edit1017", 7);
    m_pCc = makeEdit("edit1018", 22);
    m_pBcc = makeEdit("edit1019", 37);
    m_pSubject = makeEdit("edit1020", 52);

    auto makeLabel = [&](const char* text, int x, int y, int w, int h) {
        auto* p = new QLabel(QString::fromLatin1(text), this);
        p->setGeometry(du.Rect(x, y, w, h));
        QPalette lp = p->palette();
        lp.setColor(QPalette::WindowText, Qt::black);
        p->setPalette(lp);
        return p;
    };
    makeLabel("To:", 7, 9, 12, 8);
    makeLabel("CC:", 7, 24, 12, 8);
    makeLabel("BCC:", 7, 39, 17, 8);
    makeLabel("Subject:", 7, 54, 27, 8);
    makeLabel("Body:", 7, 70, 19, 8);
    // Labels may need more room than their template width in another font.
    for (QLabel* pLabel : findChildren<QLabel*>()) pLabel->adjustSize();

    m_pSettings = new QPushButton(QStringLiteral("Settings"), this);
    m_pSettings->setGeometry(du.Rect(385, 52, 50, 14));
    m_pSettings->setAutoDefault(false);
    connect(m_pSettings, &QPushButton::clicked, this, &CMailComposeDlg::OnSettings);

    auto* pPicture = new QLabel(this);
    const QRect rcPicture = du.Rect(389, 7, 40, 42);
    pPicture->setGeometry(rcPicture);
    const int side = std::min(rcPicture.width(), rcPicture.height());
    pPicture->setPixmap(res::Bitmap(141, QSize(side, side)));

    // Resizable: the body takes the change; the address fields, the picture
    // and Settings keep to the top, Send Mail and Cancel to the bottom.
    MakeResizableDialog(this, du.Size(442, 356), {m_pBody}, du.Size(100, 40));
}

void CMailComposeDlg::BindSettings(MailSettings& settings) {
    m_pServer = &settings.m_strServer;
    m_pSender = &settings.m_strSender;
}

ComposedMail CMailComposeDlg::Mail() const {
    return {m_strTo, m_strCc, m_strBcc, m_strSubject, m_strBody};
}

void CMailComposeDlg::DoDataExchange(bool bSave) {
    if (bSave) {
        m_strBcc = ToUtf8(m_pBcc->text());
        m_strCc = ToUtf8(m_pCc->text());
        m_strTo = ToUtf8(m_pTo->text());
        m_strSubject = ToUtf8(m_pSubject->text());
        m_strBody = ToUtf8(m_pBody->toPlainText());
    } else {
        m_pBcc->setText(FromUtf8(m_strBcc));
        m_pCc->setText(FromUtf8(m_strCc));
        m_pTo->setText(FromUtf8(m_strTo));
        m_pSubject->setText(FromUtf8(m_strSubject));
        m_pBody->setPlainText(FromUtf8(m_strBody));
    }
    if (m_nMode == kReduced) {
        m_pCc->hide();
        m_pBcc->hide();
        m_pBody->hide();
        m_pSettings->hide();
    }
}

void CMailComposeDlg::OnInitDialog() {
    DoDataExchange(false);
    m_bmpBackground = res::Bitmap(res::kBitmapPattern);
    // The body is first in the tab order; in the reduced form it is hidden
    // and the address is what the user fills first.
    if (m_nMode == kReduced)
        m_pTo->setFocus(Qt::OtherFocusReason);
    else
        m_pBody->setFocus(Qt::OtherFocusReason);
}

void CMailComposeDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(pEvent);
}

void CMailComposeDlg::paintEvent(QPaintEvent* pEvent) {
    if (!m_bmpBackground.isNull()) {
        QPainter painter(this);
        painter.fillRect(rect(), QBrush(m_bmpBackground));
    }
    QDialog::paintEvent(pEvent);
}

void CMailComposeDlg::accept() {
    DoDataExchange(true);
    if (m_nMode == kFull && m_fnMakeClient) {
        // A message that did not go stays in the dialog, so nothing typed is lost.
        if (std::unique_ptr<IMailSender> pClient = m_fnMakeClient())
            if (RunSend(*pClient).m_outcome != MailSendOutcome::Sent) return;
    }
    QDialog::accept();
}

void CMailComposeDlg::OnSettings() {
    CMailSettingsDlg dlg(this);
    if (m_pServer) dlg.m_strServer = *m_pServer;
    if (m_pSender) dlg.m_strSender = *m_pSender;
    if (dlg.exec() != QDialog::Accepted) return;
    if (m_pServer) *m_pServer = dlg.m_strServer;
    if (m_pSender) *m_pSender = dlg.m_strSender;
}

MailSendOutcome CMailComposeDlg::SendWith(IMailSender& client) { return RunSend(client).m_outcome; }

std::optional<std::string> CMailComposeDlg::PasswordFor(const std::string& strServer) {
    const auto setting = ParseServerSetting(strServer);
    if (!setting || setting->m_strUser.empty()) return std::string();
    const std::string key = PasswordKey(*setting);
    auto& cache = PasswordCache();
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    QInputDialog dlg(this);
    dlg.setWindowTitle(BoxCaption());
    dlg.setLabelText(QStringLiteral("Password for %1 on %2:")
                         .arg(QString::fromStdString(setting->m_strUser),
                              QString::fromStdString(setting->m_strHost)));
    dlg.setTextEchoMode(QLineEdit::Password);
    dlg.setInputMode(QInputDialog::TextInput);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    std::string password = ToUtf8(dlg.textValue());
    cache[key] = password;
    return password;
}

MailSendResult CMailComposeDlg::RunSend(IMailSender& client) {
    MailSettings settings;
    if (m_pServer) settings.m_strServer = *m_pServer;
    if (m_pSender) settings.m_strSender = *m_pSender;
    const ComposedMail mail = Mail();

    MailSendResult result;
    const std::optional<std::string> password = PasswordFor(settings.m_strServer);
    if (!password) {
        result.m_outcome = MailSendOutcome::Cancelled;
        result.m_failure = MailFailure::Cancelled;
        m_lastResult = result;
        return result;
    }

    {
        // The client works on a thread of its own; this thread keeps the
        // windows alive and offers Cancel until it is done.
        QProgressDialog progress(QStringLiteral("Sending mail..."), QStringLiteral("Cancel"), 0, 0,
                                 this);
        progress.setWindowTitle(BoxCaption());
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        QEventLoop loop;
        connect(&progress, &QProgressDialog::canceled, &loop, [&client] { client.Cancel(); });
        std::thread worker([&] {
            result = SendComposedMail(client, settings, mail, *password);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        progress.show();
        loop.exec();
        // Cancel makes the client give up at once; wait for its thread to end.
        worker.join();
    }
    m_lastResult = result;

    if (result.m_failure == MailFailure::AuthRefused) {
        if (const auto setting = ParseServerSetting(settings.m_strServer))
            PasswordCache().erase(PasswordKey(*setting));
    }
    std::string_view msg;
    if (result.m_outcome == MailSendOutcome::ServerNotFound) msg = kMsgServerNotFound;
    if (result.m_outcome == MailSendOutcome::SendFailed) msg = kMsgSendError;
    if (!msg.empty()) {
        QMessageBox box(QMessageBox::Warning, BoxCaption(),
                        QString::fromUtf8(msg.data(), static_cast<qsizetype>(msg.size())),
                        QMessageBox::Ok, parentWidget() ? parentWidget() : this);
        if (!result.m_strDetail.empty()) box.setInformativeText(FromUtf8(result.m_strDetail));
        box.exec();
    }
    return result;
}

}  // namespace meru
