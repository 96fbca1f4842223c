#include "gui/contacts/contacts_dlg.h"

#include <QAbstractTableModel>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QTreeView>
#include <QUrl>
#include <algorithm>

#include "core/contacts/vcard.h"
#include "core/mail/mailto.h"
#include "core/store/datafile.h"
#include "gui/contacts/contact_dlg.h"
#include "gui/kit/message_box.h"
#include "gui/kit/resources.h"
#include "platform/clipboard.h"
#include "platform/launcher.h"

namespace meru {

namespace {

constexpr CMeruWindow::Template kTemplate189{258, 293, "System", 10};
// The list's tab stop, in dialog template units.
constexpr int kTabStopDu = 130;

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string ToUtf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), size_t(b.size()));
}

// Button faces of this window: 197 new contact, 199 telephone, 200 mobile,
// 201 mail sent by the program, 204 mail handed to the desktop.
QPixmap PaintFace(int id, QSize size) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();
    const qreal pen = std::max<qreal>(1.2, std::min(w, h) / 9.0);
    const QColor ink(40, 40, 40);
    auto envelope = [&](QRectF r, QColor fill) {
        p.setPen(QPen(ink, pen * 0.8));
        p.setBrush(fill);
        p.drawRect(r);
        p.drawLine(r.topLeft(), QPointF(r.center().x(), r.center().y()));
        p.drawLine(r.topRight(), QPointF(r.center().x(), r.center().y()));
    };
    switch (id) {
        case 197: {  // a head and shoulders with a green plus
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(70, 110, 170));
            p.drawEllipse(QRectF(w * 0.18, h * 0.1, w * 0.34, h * 0.34));
            p.drawChord(QRectF(w * 0.05, h * 0.5, w * 0.6, h * 0.8), 0, 180 * 16);
            p.setPen(QPen(QColor(30, 140, 40), pen * 1.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(w * 0.78, h * 0.45), QPointF(w * 0.78, h * 0.85));
            p.drawLine(QPointF(w * 0.58, h * 0.65), QPointF(w * 0.98, h * 0.65));
            break;
        }
        case 199: {  // a telephone handset
            QPainterPath path;
            path.moveTo(w * 0.2, h * 0.15);
            path.cubicTo(w * 0.05, h * 0.5, w * 0.5, h * 0.95, w * 0.85, h * 0.8);
            p.setPen(QPen(QColor(30, 30, 30), pen * 2.2, Qt::SolidLine, Qt::RoundCap));
            p.drawPath(path);
            break;
        }
        case 200: {  // a mobile phone
            p.setPen(QPen(ink, pen * 0.8));
            p.setBrush(QColor(60, 60, 70));
            p.drawRoundedRect(QRectF(w * 0.28, h * 0.06, w * 0.44, h * 0.88), w * 0.08, w * 0.08);
            p.setBrush(QColor(170, 210, 240));
            p.drawRect(QRectF(w * 0.34, h * 0.16, w * 0.32, h * 0.5));
            break;
        }
        case 201:    // an envelope with a lightning-fast arrow: sent from here
        case 204: {  // an envelope going to another program
            envelope(QRectF(w * 0.04, h * 0.3, w * 0.66, h * 0.5),
                     id == 201 ? QColor(250, 230, 150) : QColor(220, 235, 250));
            const QColor arrow = id == 201 ? QColor(200, 60, 20) : QColor(30, 90, 170);
            p.setPen(QPen(arrow, pen, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(w * 0.55, h * 0.2), QPointF(w * 0.9, h * 0.2));
            QPainterPath head;
            head.moveTo(w * 0.98, h * 0.2);
            head.lineTo(w * 0.8, h * 0.06);
            head.lineTo(w * 0.8, h * 0.34);
            head.closeSubpath();
            p.fillPath(head, arrow);
            break;
        }
        default: break;
    }
    return pm;
}

}  // namespace

// The list's rows, read from the contact list when they are drawn: a
// refresh costs the same for ten contacts and for a hundred thousand.
class CContactsModel final : public QAbstractTableModel {
public:
    CContactsModel(const CContactBook& book, QObject* parent)
        : QAbstractTableModel(parent), m_book(book) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_book.Count();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 2;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_book.Count()) return {};
        if (role != Qt::DisplayRole) return {};
        const CContact& c = m_book.Contacts()[static_cast<size_t>(index.row())];
        return index.column() == 0 ? FromUtf8(c.m_strName)
                                   : FromUtf8(ColumnText(c, m_book.ColumnMode()));
    }
    // The whole list changed (sorted, a row added or removed, another column).
    void Reset() {
        beginResetModel();
        endResetModel();
    }

private:
    const CContactBook& m_book;
};

CContactsDlg::CContactsDlg(const ToolWindowContext& context, std::vector<CContact>& contacts,
                           MailSettings& mail, const QString& strDataPath,
                           ContactsServices services)
    : CToolWindow(context, kTemplate189),
      m_aContacts(contacts),
      m_mail(mail),
      m_strDataPath(strDataPath),
      m_services(std::move(services)),
      m_book(contacts) {
    m_fnAskDelete = [this] {
        return QMessageBox::warning(this, BoxCaption(), DeleteQuestion(),
                                    QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    m_fnAskClipboardToBody = [this] {
        return QMessageBox::question(this, BoxCaption(), ClipboardQuestion(),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    m_fnEditDialog = [this](CContact& c) {
        CContactDlg dlg(this);
        dlg.m_contact = c;
        if (dlg.exec() != QDialog::Accepted) return false;
        c = dlg.m_contact;
        return true;
    };
    m_fnChooseImportFile = [this] {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Import vCard"), QString(),
            QStringLiteral("vCard files (*.vcf *.vcard);;All files (*)"));
    };
    m_fnChooseExportFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export vCard"),
                                            QStringLiteral("contacts.vcf"),
                                            QStringLiteral("vCard files (*.vcf);;All files (*)"));
    };
    m_fnShowMessage = [this](QMessageBox::Icon icon, const QString& text) {
        QMessageBox box(icon, BoxCaption(), text, QMessageBox::Ok, this);
        box.exec();
    };
    CreateControls();
}

CContactsDlg::~CContactsDlg() = default;

QAbstractItemModel* CContactsDlg::Model() const { return m_pModel; }

QPushButton* CContactsDlg::Button(int id) const {
    return Client()->findChild<QPushButton*>(QString::number(id));
}

void CContactsDlg::CreateControls() {
    const CDialogUnits& du = Du();
    QWidget* client = Client();

    auto* frame = new QGroupBox(QStringLiteral("Contacts"), client);
    frame->setGeometry(du.Rect(3, 1, 252, 285));
    frame->lower();

    struct ButtonSpec {
        int id;
        const char* caption;
        int x;
        int face;
    };
    static constexpr ButtonSpec kButtons[] = {
        {1049, "New Contacts", 10, 197}, {1056, "Tel", 25, 199},   {1057, "Cell", 40, 200},
        {1058, "Email", 55, 162},        {1013, "Clear", 70, 156}, {1018, "MAIL", 219, 201},
        {1064, "MAILSTD", 234, 204},
    };
    for (const ButtonSpec& b : kButtons) {
        auto* btn = new QPushButton(client);
        btn->setObjectName(QString::number(b.id));
        btn->setAutoDefault(false);
        const QString caption = QString::fromLatin1(b.caption);
        const QRect r = du.Rect(b.x, 10, 13, 12);
        btn->setGeometry(r);
        const int side = std::max(8, std::min(r.width(), r.height()) - 4);
        // The shared faces (delete, mail) come from the kit; the others are
        // this window's own.
        QIcon icon = res::Icon(b.face);
        if (icon.isNull()) icon = QIcon(PaintFace(b.face, {side, side}));
        btn->setIcon(icon);
        btn->setIconSize({side, side});
        btn->setToolTip(caption);
        btn->setAccessibleName(caption);
    }
    connect(Button(1049), &QPushButton::clicked, this, &CContactsDlg::OnNewContact);
    connect(Button(1056), &QPushButton::clicked, this, [this] { SetColumnMode(kColumnTelephone); });
    connect(Button(1058), &QPushButton::clicked, this, [this] { SetColumnMode(kColumnEmail); });
    connect(Button(1057), &QPushButton::clicked, this, [this] { SetColumnMode(kColumnCellular); });
    connect(Button(1013), &QPushButton::clicked, this, &CContactsDlg::OnDeleteContact);
    connect(Button(1018), &QPushButton::clicked, this, &CContactsDlg::OnMail);
    connect(Button(1064), &QPushButton::clicked, this, &CContactsDlg::OnMailStd);

    m_pList = new QTreeView(client);
    m_pList->setObjectName(QStringLiteral("1048"));
    m_pList->setGeometry(du.Rect(10, 26, 237, 238));
    m_pList->setRootIsDecorated(false);
    m_pList->setItemsExpandable(false);
    m_pList->setUniformRowHeights(true);  // rows are never measured one by one
    m_pList->setHeaderHidden(true);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setTextElideMode(Qt::ElideRight);
    m_pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pModel = new CContactsModel(m_book, m_pList);
    m_pList->setModel(m_pModel);
    QHeaderView* header = m_pList->header();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    // The second column starts at the list's tab stop: 130 template units
    // from the left of the text.
    header->resizeSection(0, du.X(kTabStopDu));
    connect(m_pList, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) OnEditContact();
    });

    m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pList, &QWidget::customContextMenuRequested, this, &CContactsDlg::ShowListMenu);
    QAction* import = new QAction(QStringLiteral("Import vCard..."), this);
    QAction* exportAll = new QAction(QStringLiteral("Export vCard..."), this);
    connect(import, &QAction::triggered, this, &CContactsDlg::OnImportVCard);
    connect(exportAll, &QAction::triggered, this, &CContactsDlg::OnExportVCard);
    m_aListActions = {import, exportAll};

    // Enter leaves the window as Esc does (the dialog's OK and Cancel), by
    // the same way into the tray: without a tray host the window is
    // minimised rather than hidden, where nothing could bring it back, and
    // the main window gets the focus.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* sc = new QShortcut(QKeySequence(key), this);
        connect(sc, &QShortcut::activated, this, [this] { HideToTray(); });
    }

    // Resizable: the frame and the list take the change; the buttons keep
    // to the top corners.
    SetResizable({frame, m_pList});
}

void CContactsDlg::OnInitDialog() {
    m_book.SetColumnMode(kColumnTelephone);
    Refresh();
}

void CContactsDlg::ShowListMenu(const QPoint& pos) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(m_aListActions);
    menu->popup(m_pList->viewport()->mapToGlobal(pos));
}

void CContactsDlg::ShowMessage(QMessageBox::Icon icon, const QString& text) {
    if (m_fnShowMessage) m_fnShowMessage(icon, text);
}

int CContactsDlg::SelectedRow() const {
    const QModelIndexList rows = m_pList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CContactsDlg::SelectRow(int row) {
    QItemSelectionModel* sel = m_pList->selectionModel();
    if (row < 0 || row >= m_pModel->rowCount()) {
        sel->clearSelection();
        sel->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        return;
    }
    const QModelIndex index = m_pModel->index(row, 0);
    sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_pList->scrollTo(index);
}

void CContactsDlg::Refresh() {
    m_book.Select(SelectedRow());
    m_book.Refresh();
    m_pModel->Reset();
    SelectRow(m_book.Selected());
}

void CContactsDlg::SetColumnMode(int mode) {
    m_book.Select(SelectedRow());
    m_book.SetColumnMode(mode);
    m_pModel->Reset();
    SelectRow(m_book.Selected());
}

void CContactsDlg::OnNewContact() {
    CContact c;
    if (m_services.clipboard) c = ContactFromClipText(m_services.clipboard->Text());
    if (!m_fnEditDialog || !m_fnEditDialog(c)) return;
    m_book.Select(SelectedRow());
    m_book.Add(std::move(c));
    m_pModel->Reset();
    SelectRow(m_book.Selected());
}

void CContactsDlg::OnEditContact() {
    const int row = SelectedRow();
    if (row < 0 || !m_fnEditDialog) return;
    CContact c = m_aContacts[static_cast<size_t>(row)];
    if (!m_fnEditDialog(c)) return;
    // The dialog is modal, but the list may have changed under it (an
    // import started from elsewhere): only a row that still exists is written.
    m_book.Select(row);
    if (!m_book.Edit(row, std::move(c))) return;
    m_pModel->Reset();
    SelectRow(m_book.Selected());
}

void CContactsDlg::OnDeleteContact() {
    const int row = SelectedRow();
    if (row < 0) return;
    if (!m_fnAskDelete || !m_fnAskDelete()) return;
    m_book.Select(row);
    if (!m_book.Delete(row)) return;
    m_pModel->Reset();
    SelectRow(m_book.Selected());
}

void CContactsDlg::OnMail() {
    ComposedMail prefill;
    if (const int row = SelectedRow(); row >= 0)
        prefill.m_strTo = m_aContacts[size_t(row)].m_strEmail;
    if (m_services.clipboard) {
        const std::string text = m_services.clipboard->Text();
        if (!text.empty() && m_fnAskClipboardToBody && m_fnAskClipboardToBody())
            prefill.m_strBody = text;
    }
    // The full form sends the message itself (off the interface thread, with
    // its progress dialog and the server's reply on failure) and closes only
    // once the server took it, so there is nothing left to do here.
    if (m_services.composeMail) m_services.composeMail(this, true, prefill, m_mail);
}

void CContactsDlg::OnMailStd() {
    ComposedMail prefill;
    if (const int row = SelectedRow(); row >= 0)
        prefill.m_strTo = m_aContacts[size_t(row)].m_strEmail;
    if (!m_services.composeMail) return;
    const std::optional<ComposedMail> mail = m_services.composeMail(this, false, prefill, m_mail);
    if (!mail || !m_services.launcher) return;
    // Percent-encoded and handed to the desktop, never to a shell.
    const std::string url = FormMailtoUrl(mail->m_strTo, mail->m_strSubject);
    m_services.launcher->openUrl(
        QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode));
}

void CContactsDlg::OnImportVCard() {
    const QString path = m_fnChooseImportFile ? m_fnChooseImportFile() : QString();
    if (path.isEmpty()) return;
    // Only a regular file of a sensible size is read: a FIFO would block
    // opening, a device would never end.
    const QFileInfo info(path);
    if (info.exists() && (!info.isFile() || info.size() > qint64(kMaxVCardFileBytes))) {
        ShowMessage(QMessageBox::Warning,
                    path + QStringLiteral("\n") + FromUtf8(std::string(kMsgVCardUnreadable)));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(QMessageBox::Warning, path + QStringLiteral("\n") + file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        ShowMessage(QMessageBox::Warning, path + QStringLiteral("\n") + file.errorString());
        return;
    }
    VCardImport imported = ReadVCards(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (!imported.ok) {
        ShowMessage(QMessageBox::Warning, path + QStringLiteral("\n") + FromUtf8(imported.error));
        return;
    }
    const size_t n = imported.contacts.size();
    m_book.Select(SelectedRow());
    m_book.AddAll(std::move(imported.contacts));
    m_pModel->Reset();
    SelectRow(m_book.Selected());
    ShowMessage(QMessageBox::Information, FromUtf8(ImportedMessage(n)));
}

void CContactsDlg::OnExportVCard() {
    const QString path = m_fnChooseExportFile ? m_fnChooseExportFile() : QString();
    if (path.isEmpty()) return;
    const std::string bytes = WriteVCards(m_aContacts);
    if (auto reason = WriteFileAtomically(ToUtf8(path), bytes))
        ShowMessage(QMessageBox::Warning, path + QStringLiteral("\n") + FromUtf8(*reason));
}

}  // namespace meru
